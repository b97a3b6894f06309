// Polls the simulator for many cycles at a short interval while it spoils 5 % of its answers'
// CRCs and loses 1 % of the requests. Prints the resident memory after warm-up and at the end,
// the exchanges seen against the event log's records, and the outcomes; exits 1 when memory grew
// by 1 MB or more, or when an exchange is missing from the log or logged twice.
//
//   bench_soak [cycles (100000)] [interval ms (10)]
//
// The read limits are cut down so that a lost request costs 40 ms rather than 640 ms, and the
// pause between a cycle's requests to 1 ms; the cycle rather than the line sets the pace.
#include "device/Exchange.h"
#include "device/Frames.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include <unistd.h>

namespace {

long ResidentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Exchange records of every event log in the folder (a run past midnight writes two files).
qint64 LoggedExchanges(const QString& folder, qint64& torn)
{
    qint64 records = 0;
    for (const QFileInfo& info : QDir(folder).entryInfoList({QStringLiteral("log_*.txt")}, QDir::Files)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine(1 << 16);
            if (line.startsWith('[') && line.contains("] -> ["))
                ++records;
            if (!line.endsWith("\r\n"))
                ++torn;
        }
    }
    return records;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const int interval = argc > 2 ? std::max(0, std::atoi(argv[2])) : 10;
    // Warm-up: allocator pools, the log file's first blocks, the grid of every input once.
    const int warmUp = std::clamp(cycles / 20, 1, 2000);

    QProcess simulator;
    simulator.start(QCoreApplication::applicationDirPath() + "/../../tools/vantor-sim/vantor-sim",
                    {"--bad-crc", "0.05", "--silent-rate", "0.01", "--seed", "1"});
    if (!simulator.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    const QByteArray port = simulator.readLine().trimmed();

    QTemporaryDir home;
    qputenv("ORVELA_HOME", home.path().toLocal8Bit());
    if (!WriteFile(home.path() + "/INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=0\r\n")
        || !WriteFile(home.path() + "/INI/ComPort.ini", "[Transmitter]\r\nPort=" + port
                                                            + "\r\nReadInterval=1\r\nReadTotalConstant=40\r\n"
                                                              "ReadTotalMultiplier=0\r\n"))
        return 1;

    StartUnits();
    if (!Transmitter()->ActivatePort())
        return 1;
    LogRadix = 10;

    qint64 exchanges = 0;
    std::map<std::string, qint64> outcomes;
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString&, const QByteArray&, const QByteArray& answer,
                              bool result) {
        ++exchanges;
        ++outcomes[result ? "accepted" : answer.isEmpty() ? "no answer" : !CheckCrc(answer) ? "bad CRC" : "other failure"];
    };
    int done = 0;
    long warmKiB = 0;
    long peakKiB = 0;
    QElapsedTimer clock;
    RequestThread()->OnCycle = [&](TRequestThread*, const QString&) {
        ++done;
        if (done == warmUp) {
            warmKiB = ResidentKiB();
            clock.start();
        }
        if (done > warmUp)
            peakKiB = std::max(peakKiB, ResidentKiB());
        if (done % 5000 == 0)
            std::fprintf(stderr, "%d cycles, %ld KiB resident\n", done, ResidentKiB());
        if (done >= cycles) {
            PollTimer()->Stop();
            QCoreApplication::quit();
        }
    };
    PollTimer()->SetInterval(interval);
    PollTimer()->OnTimer = PollTick;
    ResumePolling();
    app.exec();
    while (RequestThread()->Busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
    const double seconds = clock.isValid() ? clock.nsecsElapsed() / 1e9 : 0;
    const long endKiB = ResidentKiB();
    RequestThread()->OnCycle = nullptr;
    Vantor()->OnRequest = nullptr;
    StopUnits();
    const bool simulatorAlive = simulator.state() == QProcess::Running;
    simulator.terminate();
    simulator.waitForFinished(5000);

    qint64 torn = 0;
    const qint64 records = LoggedExchanges(home.path() + "/LOG", torn);
    const long growth = endKiB - warmKiB;
    std::printf("%d cycles at %d ms, simulator: 5 %% bad CRC, 1 %% silent\n", done, interval);
    std::printf("period after warm-up               %8.2f ms a cycle\n",
                done > warmUp ? seconds * 1000 / (done - warmUp) : 0.0);
    std::printf("exchanges parsed                   %8lld\n", static_cast<long long>(exchanges));
    std::printf("event-log exchange records         %8lld\n", static_cast<long long>(records));
    std::printf("lines without CR LF                %8lld\n", static_cast<long long>(torn));
    for (const auto& [outcome, count] : outcomes)
        std::printf("  %-32s  %8lld\n", outcome.c_str(), static_cast<long long>(count));
    std::printf("resident after %5d cycles         %8ld KiB\n", warmUp, warmKiB);
    std::printf("resident at the end                %8ld KiB (peak %ld KiB)\n", endKiB, peakKiB);
    std::printf("growth after warm-up               %8ld KiB (target < 1024)\n", growth);
    std::printf("simulator still running            %8s\n", simulatorAlive ? "yes" : "NO");
    const bool ok = growth < 1024 && records == exchanges && torn == 0 && simulatorAlive;
    std::printf("%s\n", ok ? "soak: PASS" : "soak: FAIL");
    return ok ? 0 : 1;
}
