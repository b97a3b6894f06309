// Poll cycles back to back against the simulator paced at 9600 baud. Prints, per cycle, the time
// beyond the line's own time, the cycle time / line time ratio, and the UI thread's CPU time per
// cycle (parse and notifications).
// The line's own time of an exchange: the request crosses the line at 9600 baud (the simulator
// takes it in at that pace), the controller waits 3.5 characters of silence to see its end,
// sends the answer at 9600 baud, and the read ends 50 ms after the answer's last byte; plus
// ComPauseRead between exchanges. Every one of these silences is prescribed, so they count as
// the line's time, not as ours.
//   bench_poll_cycle [CYCLES] [quiet] [--chunk N]
#include "device/CommandTable.h"
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
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kBaud = 9600;
constexpr double kMsPerByte = 11.0 * 1000 / kBaud;  // 1.15 ms: start, 8 data, parity, stop
constexpr int kReadInterval = 50;
constexpr double kFrameGapMs = 3.5 * kMsPerByte;  // 4.0 ms

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int cycles = 96;
    // "quiet": the port's line events are not handed to the UI thread, which then serves the
    // parse and its notifications only.
    bool quiet = false;
    // Answers handed over N bytes at a time, as a USB adapter does.
    int chunk = 1;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "quiet")
            quiet = true;
        else if (arg == "--chunk" && i + 1 < argc)
            chunk = std::clamp(atoi(argv[++i]), 1, 256);
        else
            cycles = std::max(1, atoi(argv[i]));
    }

    QProcess simulator;
    simulator.start(QCoreApplication::applicationDirPath() + "/../../tools/vantor-sim/vantor-sim",
                    {"--baud", QString::number(kBaud), "--chunk", QString::number(chunk)});
    if (!simulator.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    const QString port = QString::fromLocal8Bit(simulator.readLine()).trimmed();

    QTemporaryDir home;
    qputenv("ORVELA_HOME", home.path().toLocal8Bit());
    QDir(home.path()).mkpath("INI");
    QFile ini(home.path() + "/INI/VANTOR.ini");
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[VANTOR]\r\nSystemAddress=1\r\n");
    ini.close();

    StartUnits();
    Transmitter()->SetPort(port);
    if (quiet)
        Transmitter()->SetEvents({});
    if (!Transmitter()->ActivatePort())
        return 1;

    // Line time of each exchange, from the frames the controller model saw.
    double lineMs = 0;
    int exchanges = 0;
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString&, const QByteArray& request,
                              const QByteArray& answer, bool) {
        lineMs += (request.size() + answer.size()) * kMsPerByte + kFrameGapMs + kReadInterval;
        ++exchanges;
    };
    QEventLoop loop;
    RequestThread()->OnCycle = [&loop](TRequestThread*, const QString&) { loop.quit(); };

    std::vector<double> overhead, ratio, ui;
    double wallTotal = 0, lineTotal = 0;
    for (int i = 0; i < cycles; ++i) {
        lineMs = 0;
        exchanges = 0;
        QElapsedTimer clock;
        clock.start();
        const double cpu = ThreadCpuMs();
        RequestThread()->Resume();
        loop.exec();
        const double elapsed = clock.nsecsElapsed() / 1e6;
        ui.push_back(ThreadCpuMs() - cpu);
        const double line = lineMs + (exchanges - 1) * ComPauseRead;
        overhead.push_back(elapsed - line);
        ratio.push_back(elapsed / line);
        wallTotal += elapsed;
        lineTotal += line;
        while (RequestThread()->Busy())
            QCoreApplication::processEvents();
    }
    RequestThread()->OnCycle = nullptr;
    Vantor()->OnRequest = nullptr;
    StopUnits();
    simulator.terminate();
    simulator.waitForFinished(5000);

    const auto report = [](const char* what, std::vector<double> v, const char* unit) {
        std::sort(v.begin(), v.end());
        std::printf("%-44s median %7.3f%s  p90 %7.3f%s  max %7.3f%s\n", what, v[v.size() / 2], unit,
                    v[v.size() * 9 / 10], unit, v.back(), unit);
    };
    std::printf("%d cycles at %d baud, answers %s%s\n", cycles, kBaud,
                chunk == 1 ? "byte by byte" : qPrintable(QStringLiteral("in chunks of %1 bytes").arg(chunk)),
                quiet ? ", line events not handed over" : "");
    report("cycle time beyond the line's own time", overhead, " ms");
    report("cycle time / line time", ratio, "");
    report("UI thread CPU time per cycle", ui, " ms");
    std::printf("all cycles: %.0f ms against %.0f ms of line time, ratio %.4f (goal: at most 1.02)\n", wallTotal,
                lineTotal, wallTotal / lineTotal);
    return 0;
}
