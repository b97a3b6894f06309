// What an unplugged adapter costs: the units poll the simulator behind a link at the stored
// interval (500 ms), the simulator is killed, and the whole process's CPU time is taken over the
// following S seconds (default 10) while the device is away; then the simulator comes back on
// the same link and the time until the port is open again and the next cycle has run is taken.
//   bench_port_away [S] [interval ms]
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/PortWatch.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

namespace {

double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs the event loop until done() holds, looking every 10 ms, or until the deadline.
bool WaitFor(const std::function<bool()>& done, int ms)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(10);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

bool StartSimulator(QProcess& simulator, const QString& link)
{
    simulator.start(QCoreApplication::applicationDirPath() + "/../../tools/vantor-sim/vantor-sim", {"--link", link});
    return simulator.waitForReadyRead(5000);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const int interval = argc > 2 ? std::max(1, atoi(argv[2])) : 500;

    QTemporaryDir home;
    const QString link = home.path() + "/tty";
    QProcess simulator;
    if (!StartSimulator(simulator, link)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    qputenv("ORVELA_HOME", home.path().toLocal8Bit());
    QDir(home.path()).mkpath("INI");
    QFile ini(home.path() + "/INI/VANTOR.ini");
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[VANTOR]\r\nSystemAddress=1\r\n");
    ini.close();

    StartUnits();
    LogRadix = 10;
    Transmitter()->SetPort(link);
    if (!Transmitter()->ActivatePort())
        return 1;
    int cycles = 0, exchanges = 0, vanished = 0, returned = 0;
    RequestThread()->OnCycle = [&](TRequestThread*, const QString&) { ++cycles; };
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString&, const QByteArray&, const QByteArray&, bool) {
        ++exchanges;
    };
    PortWatch()->OnVanish = [&](TCustomComPort*) { ++vanished; };
    PortWatch()->OnReturn = [&](TCustomComPort*) { ++returned; };
    PollTimer()->OnTimer = PollTick;
    PollTimer()->SetInterval(interval);
    ResumePolling();
    if (!WaitFor([&] { return cycles >= 4; }, 30000))
        return 1;

    simulator.kill();
    simulator.waitForFinished(5000);
    QElapsedTimer noticed;
    noticed.start();
    if (!WaitFor([&] { return vanished == 1; }, 5000))
        return 1;
    const double noticeMs = noticed.nsecsElapsed() / 1e6;

    const int cyclesAway = cycles, exchangesAway = exchanges, attemptsAway = PortWatch()->Attempts();
    QElapsedTimer wall;
    wall.start();
    const double cpu = ProcessCpuMs();
    {
        // Nothing of the bench's own wakes the process meanwhile.
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double cpuMs = ProcessCpuMs() - cpu;
    const double wallMs = wall.nsecsElapsed() / 1e6;

    QProcess again;
    if (!StartSimulator(again, link))
        return 1;
    QElapsedTimer back;
    back.start();
    const int cyclesBack = cycles;
    const bool resumed = WaitFor([&] { return returned == 1 && cycles > cyclesBack; }, 10000);
    const double backMs = back.nsecsElapsed() / 1e6;

    std::printf("poll interval %d ms; loss noticed after %.1f ms\n", interval, noticeMs);
    std::printf("away %.1f s: process CPU %.1f ms = %.3f %% of one core; cycles %d, exchanges %d, reopen attempts %d\n",
                wallMs / 1e3, cpuMs, 100 * cpuMs / wallMs, cycles - cyclesAway, exchanges - exchangesAway,
                PortWatch()->Attempts() - attemptsAway);
    std::printf("back: %s %.0f ms after the simulator started\n", resumed ? "port open and a cycle polled" : "NOT resumed", backMs);

    RequestThread()->OnCycle = nullptr;
    Vantor()->OnRequest = nullptr;
    PortWatch()->OnVanish = nullptr;
    PortWatch()->OnReturn = nullptr;
    StopUnits();
    again.terminate();
    again.waitForFinished(5000);
    return resumed ? 0 : 1;
}
