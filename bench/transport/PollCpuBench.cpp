// What polling costs the processor, side by side with mbpoll (a libmodbus master) on the same
// 9600-baud paced simulator: once with the answers byte by byte, once handed over in chunks as a
// USB adapter does. For each client, after a warm-up, over S seconds: CPU in % of one core, CPU
// per byte on the line (requests and answers, from the simulator's journal), the voluntary
// wake-ups of the thread that waits on the line, per second and per byte, and each thread's
// share.
//   bench_poll_cpu [--seconds S] [--warm-up S] [--chunk N] [--programs DIR] [--no-window]
// The warm-up defaults to a round of 48 cycles and a little: in the first round the history
// writer finds each input's block once, which a station that polls all day does not pay again.
// --programs takes orvela-cli and orvela from another build tree (DIR/tools/orvela-cli/orvela-cli,
// DIR/src/app/orvela), to compare with an earlier build. The window runs under Xvfb when it is
// installed, else on the offscreen platform.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace {

using TClock = std::chrono::system_clock;

struct TThreadSample
{
    QString Name;
    double CpuSeconds = 0;
    long WakeUps = 0;
};

struct TSample
{
    double CpuSeconds = 0;
    std::map<int, TThreadSample> Threads;  // by thread id
    std::int64_t Ms = 0;                   // since the epoch, as the journal writes it
};

// The thread's name, and its time on a processor: schedstat's nanoseconds, finer than the
// 10 ms ticks of stat.
std::optional<double> ThreadCpu(const QString& task, QString& name)
{
    QFile comm(task + "/comm"), schedstat(task + "/schedstat");
    if (!comm.open(QIODevice::ReadOnly) || !schedstat.open(QIODevice::ReadOnly))
        return std::nullopt;
    name = QString::fromUtf8(comm.readAll().trimmed());
    bool ok = false;
    const double ns = schedstat.readAll().split(' ').value(0).toDouble(&ok);
    return ok ? std::optional(ns / 1e9) : std::nullopt;
}

long VoluntaryWakeUps(const QString& statusPath)
{
    QFile file(statusPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLong();
    return 0;
}

TSample Sample(qint64 pid)
{
    TSample sample;
    sample.Ms = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch()).count();
    const QString base = QStringLiteral("/proc/%1").arg(pid);
    for (const QString& tid : QDir(base + "/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        TThreadSample thread;
        const auto cpu = ThreadCpu(base + "/task/" + tid, thread.Name);
        if (!cpu)
            continue;
        thread.CpuSeconds = *cpu;
        sample.CpuSeconds += *cpu;
        thread.WakeUps = VoluntaryWakeUps(base + "/task/" + tid + "/status");
        sample.Threads[tid.toInt()] = thread;
    }
    return sample;
}

// Bytes on the line between two times: each journal line holds the request and the answer in
// hex, pairs separated by blanks.
long LineBytes(const QString& journal, std::int64_t fromMs, std::int64_t toMs)
{
    QFile file(journal);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    long bytes = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 3 || fields[1] == "control")
            continue;
        const std::int64_t ms = fields[0].toLongLong();
        if (ms < fromMs || ms >= toMs)
            continue;
        for (int i : {1, 2})
            if (fields[i] != "-")
                bytes += fields[i].count(' ') + 1;
    }
    return bytes;
}

void Pause(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms));
}

struct TClient
{
    QString Name;
    QString Program;
    QStringList Arguments;
    QProcessEnvironment Environment;
    int StopSignal = SIGINT;
};

struct TFigures
{
    double CpuPercent = 0;
    double CpuPerByteUs = 0;
    double WakeUpsPerSecond = 0;
    double BytesPerWakeUp = 0;
};

// Runs the client against the simulator and measures it over the window after the warm-up.
std::optional<TFigures> Measure(const TClient& client, const QString& journal, int warmUpMs, int seconds)
{
    QProcess process;
    process.setProcessEnvironment(client.Environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(client.Program, client.Arguments);
    if (!process.waitForStarted(5000)) {
        std::printf("  %s: does not start\n", qPrintable(client.Name));
        return std::nullopt;
    }
    const qint64 pid = process.processId();
    Pause(warmUpMs);
    const TSample first = Sample(pid);
    Pause(seconds * 1000);
    const TSample last = Sample(pid);
    kill(static_cast<pid_t>(pid), client.StopSignal);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    const double wall = static_cast<double>(last.Ms - first.Ms) / 1000.0;
    const long bytes = LineBytes(journal, first.Ms, last.Ms);
    if (bytes == 0 || wall <= 0) {
        std::printf("  %s: nothing went over the line\n", qPrintable(client.Name));
        return std::nullopt;
    }
    const double cpu = last.CpuSeconds - first.CpuSeconds;
    // The thread that waits on the line: named "request" in ours, the only one in mbpoll; in a
    // build whose threads have no names, the one that wakes most.
    int waiter = static_cast<int>(pid);
    long waiterWakeUps = -1;
    for (const auto& [tid, thread] : last.Threads) {
        const auto before = first.Threads.find(tid);
        const long wakeUps = thread.WakeUps - (before == first.Threads.end() ? 0 : before->second.WakeUps);
        if (thread.Name == QLatin1String("request")) {
            waiter = tid;
            waiterWakeUps = wakeUps;
            break;
        }
        if (tid != pid && wakeUps > waiterWakeUps) {
            waiter = tid;
            waiterWakeUps = wakeUps;
        }
    }
    if (last.Threads.size() == 1)
        waiterWakeUps = last.Threads.begin()->second.WakeUps - first.Threads.begin()->second.WakeUps;

    TFigures figures;
    figures.CpuPercent = 100 * cpu / wall;
    figures.CpuPerByteUs = 1e6 * cpu / static_cast<double>(bytes);
    figures.WakeUpsPerSecond = static_cast<double>(waiterWakeUps) / wall;
    figures.BytesPerWakeUp = waiterWakeUps > 0 ? static_cast<double>(bytes) / static_cast<double>(waiterWakeUps) : 0;
    std::printf("  %-14s %6.3f %% of a core  %6.2f us CPU a byte  line thread %6.1f wake-ups/s = one per %4.1f bytes"
                "  (%ld bytes in %.1f s)\n",
                qPrintable(client.Name), figures.CpuPercent, figures.CpuPerByteUs, figures.WakeUpsPerSecond,
                figures.BytesPerWakeUp, bytes, wall);
    // The split by thread, busiest first.
    std::vector<std::pair<double, QString>> split;
    for (const auto& [tid, thread] : last.Threads) {
        const auto before = first.Threads.find(tid);
        if (before == first.Threads.end())
            continue;
        const double share = 100 * (thread.CpuSeconds - before->second.CpuSeconds) / wall;
        const long wakeUps = thread.WakeUps - before->second.WakeUps;
        split.emplace_back(share, QStringLiteral("%1%2 %3 %, %4 wake-ups/s")
                                      .arg(thread.Name, tid == waiter ? QStringLiteral(" (line)") : QString())
                                      .arg(share, 0, 'f', 3)
                                      .arg(static_cast<double>(wakeUps) / wall, 0, 'f', 1));
    }
    std::sort(split.begin(), split.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList parts;
    for (const auto& [share, text] : split)
        if (share > 0.0005 || parts.size() < 3)
            parts << text;
    std::printf("  %-14s threads: %s\n", "", qPrintable(parts.join(QStringLiteral("; "))));
    return figures;
}

// A virtual display of our own; empty when Xvfb is not installed.
QString StartDisplay(QProcess& xvfb)
{
    xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000) || !xvfb.waitForReadyRead(10000))
        return {};
    return QStringLiteral(":") + QString::fromLatin1(xvfb.readLine().trimmed());
}

bool WriteFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    int warmUpMs = 26000;
    int chunk = 16;
    bool window = true;
    QString programs = QStringLiteral(ORVELA_BUILD);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--warm-up") && i + 1 < args.size())
            warmUpMs = 1000 * std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--chunk") && i + 1 < args.size())
            chunk = std::clamp(args[++i].toInt(), 1, 256);
        else if (args[i] == QLatin1String("--programs") && i + 1 < args.size())
            programs = args[++i];
        else if (args[i] == QLatin1String("--no-window"))
            window = false;
        else {
            std::fprintf(stderr, "usage: bench_poll_cpu [--seconds S] [--warm-up S] [--chunk N] [--programs DIR] "
                                 "[--no-window]\n");
            return 2;
        }
    }
    const QString simulator = QStringLiteral(ORVELA_BUILD "/tools/vantor-sim/vantor-sim");
    const QString cli = programs + "/tools/orvela-cli/orvela-cli";
    const QString orvela = programs + "/src/app/orvela";

    QProcess xvfb;
    QString display;
    if (window)
        display = StartDisplay(xvfb);
    std::printf("programs from %s; %d s per client after %d ms; window on %s\n", qPrintable(programs), seconds,
                warmUpMs, window ? (display.isEmpty() ? "the offscreen platform" : qPrintable("Xvfb " + display)) : "-");

    bool met = true;
    for (const int delivery : {1, chunk}) {
        std::printf("\n9600 baud, answers %s\n",
                    delivery == 1 ? "byte by byte" : qPrintable(QStringLiteral("in chunks of %1 bytes").arg(delivery)));
        QTemporaryDir home;
        const QString journal = home.filePath("journal");
        const QString link = home.filePath("tty");
        QProcess sim;
        sim.setStandardErrorFile(QProcess::nullDevice());
        sim.start(simulator, {"--baud", "9600", "--chunk", QString::number(delivery), "--link", link, "--journal", journal});
        if (!sim.waitForReadyRead(10000)) {
            std::fprintf(stderr, "the simulator did not start\n");
            return 1;
        }
        QDir(home.path()).mkpath("INI");
        WriteFile(home.filePath("INI/VANTOR.ini"), "[VANTOR]\r\nSystemAddress=1\r\n");
        WriteFile(home.filePath("INI/ComPort.ini"), "[Transmitter]\r\nPort=" + QFile::encodeName(link) + "\r\n");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ORVELA_HOME", home.path());

        std::vector<TClient> clients;
        clients.push_back({"orvela-cli poll", cli, {"poll", "--rounds", "1000"}, environment, SIGINT});
        // One request every 500 ms for input group 1's 64 registers, as our cycle's first.
        clients.push_back({"mbpoll", "mbpoll",
                           {"-m", "rtu", "-a", "1", "-b", "9600", "-P", "even", "-0", "-t", "3", "-r", "10", "-c", "64",
                            "-l", "500", "-o", "1", link},
                           environment, SIGINT});
        if (window) {
            QProcessEnvironment shown = environment;
            if (display.isEmpty()) {
                shown.insert("QT_QPA_PLATFORM", "offscreen");
            } else {
                shown.insert("DISPLAY", display);
                shown.insert("QT_QPA_PLATFORM", "xcb");
            }
            clients.push_back({"orvela window", orvela, {}, shown, SIGTERM});
        }
        std::map<QString, TFigures> figures;
        for (const TClient& client : clients)
            if (const auto measured = Measure(client, journal, warmUpMs, seconds))
                figures[client.Name] = *measured;
        const auto ours = figures.find("orvela-cli poll");
        const auto theirs = figures.find("mbpoll");
        if (ours != figures.end() && theirs != figures.end() && theirs->second.CpuPerByteUs > 0)
            std::printf("  CPU a byte, orvela-cli / mbpoll: %.2f\n", ours->second.CpuPerByteUs / theirs->second.CpuPerByteUs);
        if (delivery == 1 && ours != figures.end())
            met = met && ours->second.CpuPercent < 0.4 && ours->second.BytesPerWakeUp >= 10
               && (theirs == figures.end() || ours->second.CpuPerByteUs <= theirs->second.CpuPerByteUs);
        sim.terminate();
        sim.waitForFinished(5000);
    }
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    std::printf("\norvela-cli poll on the byte-by-byte line: %s (under 0.4 %% of a core, no more CPU a byte than mbpoll, "
                "one wake-up per 10 bytes at most)\n",
                met ? "targets met" : "targets NOT met");
    return 0;
}
