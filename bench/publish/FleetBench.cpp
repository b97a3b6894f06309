// bench_mqtt_fleet [stations (100)] [minutes (10)] [backlog hours (1)]
//
// Each station is a real orvela-cli poll against a simulator of its own, at the default poll rate
// (a cycle every 500 ms), publishing into one mosquitto started here on 127.0.0.1. One more
// station polls without publishing: the difference of the two is what publishing costs. A
// subscriber in this process takes every message; the latency is from a state's poll time to its
// arrival. Last, one publisher drains an hour's backlog of one station.

#include "history/HistoryStore.h"
#include "publish/Publisher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

// CPU seconds (user + system) and resident memory in kB of a process.
double CpuSeconds(qint64 pid)
{
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(')').last().split(' ');
    // After the name: state is field 3, utime 14 and stime 15 (1-based over the whole line).
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

long RssKb(qint64 pid)
{
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

struct Collector {
    std::mutex Mutex;
    qint64 Messages = 0;
    std::vector<double> LatencyMs;
    bool Measuring = false;
};

void Write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

struct Station {
    std::unique_ptr<QProcess> Simulator;
    std::unique_ptr<QProcess> Poll;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int stations = argc > 1 ? atoi(argv[1]) : 100;
    const double minutes = argc > 2 ? atof(argv[2]) : 10;
    const double backlogHours = argc > 3 ? atof(argv[3]) : 1;
    const QString tools = ORVELA_TOOLS;
    QTemporaryDir dir;
    const int port = FreePort();
    Write(dir.path() + "/mosquitto.conf", "listener " + QByteArray::number(port) + " 127.0.0.1\nallow_anonymous true\n"
                                          "max_queued_messages 0\nlog_dest none\n");
    QProcess broker;
    broker.start("mosquitto", {"-c", dir.path() + "/mosquitto.conf"});
    if (!broker.waitForStarted(10000))
        return std::fprintf(stderr, "mosquitto did not start\n"), 1;
    QThread::msleep(500);

    Collector collector;
    mosquitto_lib_init();
    mosquitto* sub = mosquitto_new("bench-subscriber", true, &collector);
    mosquitto_connect_callback_set(sub, [](mosquitto* m, void*, int) { mosquitto_subscribe(m, nullptr, "orvela/#", 0); });
    mosquitto_message_callback_set(sub, [](mosquitto*, void* p, const mosquitto_message* m) {
        auto* c = static_cast<Collector*>(p);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        std::lock_guard lock(c->Mutex);
        if (!c->Measuring || m->retain)
            return;
        ++c->Messages;
        if (QByteArray(m->topic).contains("/input/")) {
            const QJsonObject o = QJsonDocument::fromJson(QByteArray(static_cast<const char*>(m->payload), m->payloadlen)).object();
            c->LatencyMs.push_back(double(now - QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch()));
        }
    });
    mosquitto_connect(sub, "127.0.0.1", port, 30);
    mosquitto_loop_start(sub);

    // Stations 0..n-1 publish; station n is the control without publishing.
    std::vector<Station> fleet(stations + 1);
    for (int i = 0; i <= stations; ++i) {
        const QString home = dir.path() + QString("/station%1").arg(i);
        Write(home + "/INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n");
        Write(home + "/INI/MQTT.ini", i < stations ? QString("[MQTT]\r\nEnabled=1\r\nHost=127.0.0.1\r\nPort=%1\r\nStation=s%2\r\n")
                                                         .arg(port).arg(i).toUtf8()
                                                   : QByteArray("[MQTT]\r\nEnabled=0\r\n"));
        Station& s = fleet[i];
        s.Simulator = std::make_unique<QProcess>();
        s.Simulator->setStandardErrorFile(QProcess::nullDevice());
        s.Simulator->start(tools + "/vantor-sim/vantor-sim", {"--seed", QString::number(i + 1)});
        if (!s.Simulator->waitForReadyRead(10000))
            return std::fprintf(stderr, "simulator %d did not start\n", i), 1;
        const QString path = QString::fromUtf8(s.Simulator->readLine()).trimmed();
        s.Poll = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVELA_HOME", home);
        s.Poll->setProcessEnvironment(env);
        s.Poll->setStandardOutputFile(QProcess::nullDevice());
        s.Poll->setStandardErrorFile(home + "/stderr.txt");
        s.Poll->start(tools + "/orvela-cli/orvela-cli", {"poll", "--port", path});
    }
    // A first round fills the histories; then the measured span.
    const int warmUpSeconds = 30;
    std::printf("%d stations started; %d s warm-up, then %.1f min measured\n", stations, warmUpSeconds, minutes);
    std::fflush(stdout);
    QThread::sleep(warmUpSeconds);
    const qint64 station0 = fleet[0].Poll->processId(), control = fleet[stations].Poll->processId();
    const double cpu0 = CpuSeconds(station0), cpuControl = CpuSeconds(control), cpuBroker = CpuSeconds(broker.processId());
    {
        std::lock_guard lock(collector.Mutex);
        collector.Measuring = true;
    }
    const auto start = Clock::now();
    QThread::msleep(static_cast<unsigned long>(minutes * 60000));
    const double span = std::chrono::duration<double>(Clock::now() - start).count();
    qint64 messages;
    std::vector<double> latency;
    {
        std::lock_guard lock(collector.Mutex);
        collector.Measuring = false;
        messages = collector.Messages;
        latency = collector.LatencyMs;
    }
    const double station0Cpu = (CpuSeconds(station0) - cpu0) / span * 100;
    const double controlCpu = (CpuSeconds(control) - cpuControl) / span * 100;
    std::printf("broker: %.0f messages/s, CPU %.2f %% of a core, memory %ld kB\n", double(messages) / span,
                (CpuSeconds(broker.processId()) - cpuBroker) / span * 100, RssKb(broker.processId()));
    std::printf("latency from poll to subscriber: median %.0f ms, p99 %.0f ms (%zu states)\n", Percentile(latency, 0.5),
                Percentile(latency, 0.99), latency.size());
    std::printf("one station: CPU %.2f %% of a core, memory %ld kB; without publishing: CPU %.2f %%, memory %ld kB\n",
                station0Cpu, RssKb(station0), controlCpu, RssKb(control));
    std::fflush(stdout);
    for (Station& s : fleet) {
        s.Poll->terminate();
        s.Poll->waitForFinished(30000);
        s.Simulator->terminate();
        s.Simulator->waitForFinished(10000);
    }

    // An hour of one station's readings at the default rate: 192 inputs every round of 24 s.
    const QString history = dir.path() + "/backlog/DATA/history.sqlite";
    const int rounds = int(backlogHours * 3600 / 24);
    {
        THistoryStore store;
        store.KeepOutbox(true);
        store.Open(history);
        const qint64 t0 = QDateTime::currentMSecsSinceEpoch() - qint64(backlogHours * 3600 * 1000);
        for (int r = 0; r < rounds; ++r) {
            QVector<THistoryReading> batch;
            for (int n = 1; n <= 192; ++n) {
                THistoryReading reading;
                reading.Time = t0 + r * 24000;
                reading.Input = n;
                reading.Battery = 90;
                for (int i = 0; i < 6; ++i) {
                    reading.Temper[i] = 15 + (r + n + i) % 32 / 16.0;
                    reading.TemperState[i] = 1;
                }
                batch << reading;
            }
            store.Append(batch);
        }
    }
    TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = "127.0.0.1";
    settings.Port = port;
    settings.Station = "backlog";
    const auto drainStart = Clock::now();
    {
        TPublisher publisher(settings, history);
        while (publisher.Counters().ReadingsAcknowledged < qint64(rounds) * 192)
            QThread::msleep(20);
    }
    std::printf("backlog of %.1f h (%d readings) drained in %.1f s\n", backlogHours, rounds * 192,
                std::chrono::duration<double>(Clock::now() - drainStart).count());
    mosquitto_disconnect(sub);
    mosquitto_loop_stop(sub, true);
    mosquitto_destroy(sub);
    broker.terminate();
    broker.waitForFinished(10000);
    return 0;
}
