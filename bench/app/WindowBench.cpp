// The main window polling the simulator, measured. One mode per run:
//   cycle [N]     UI thread CPU time per cycle, answers paced at 9600 baud: parse, notifications,
//                 alarm handlers, the four rows and their repaint, and any line events the UI
//                 thread is woken for (median and 90th percentile over N cycles, default 100)
//   memory        resident memory after 100 and after 1000 cycles (unpaced, back to back)
//   startup [N]   from the start of the program (a process of its own) to its first request byte
//                 on the line, over N starts (default 10)
//   cpu [S]       processor time of the whole process over S seconds (default 30) of polling at
//                 the default interval with answers paced at 9600 baud, in % of one core
//   parts         the UI thread's parts of a cycle, each repeated on a filled window
// BENCH_HIDDEN=1 leaves the window unshown (no painting); BENCH_QUIET=1 opens the port with no
// line events at all; BENCH_EVENTS=1 adds to cycle where the UI thread's time goes, by event and
// by widget painted. Run under xvfb-run with QT_QPA_PLATFORM=xcb for the X11 figures.
#include "app/FormMain.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>

#include <cxxabi.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

namespace {

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double ResidentMb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// Times this thread went to sleep and was woken again.
double ThreadWakeUps()
{
    QFile status("/proc/thread-self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(24).trimmed().toDouble();
    return 0;
}

std::string ClassName(const QObject* object);

// With BENCH_EVENTS=1: the UI thread's time in each kind of event it handles, by receiver's
// class and event type; what is left of a cycle is the event loop itself and being woken.
class TTimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool Timing = false;
    std::map<std::string, double> Costs;
    std::map<std::string, int> Counts;

    bool notify(QObject* receiver, QEvent* event) override
    {
        // Paint events come inside the window's update request: each widget's own share apart.
        const bool paint = event->type() == QEvent::Paint;
        const bool timed = Timing && (Depth_ == 0 || paint);
        // Named before: a deferred delete ends the receiver.
        const std::string key = !timed ? std::string()
                                : paint ? "  paint " + ClassName(receiver) + ' ' + receiver->objectName().toStdString() + ' ' +
                                              (receiver->parent() ? receiver->parent()->objectName().toStdString() : "")
                                        : ClassName(receiver) + " event " + std::to_string(event->type());
        const double cpu0 = timed ? ThreadCpuMs() : 0;
        ++Depth_;
        const bool done = QApplication::notify(receiver, event);
        --Depth_;
        if (timed) {
            Costs[key] += ThreadCpuMs() - cpu0;
            ++Counts[key];
        }
        return done;
    }

private:
    int Depth_ = 0;
};

std::string ClassName(const QObject* object)
{
    const char* mangled = typeid(*object).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 ? name.get() : mangled;
}

TTimedApplication* TimedApp()
{
    return static_cast<TTimedApplication*>(QCoreApplication::instance());
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

// The simulator, a program folder pointing at it and the units with the window on top.
class TRun
{
public:
    TRun(bool paced, int interval) : Interval_(interval)
    {
        QStringList options;
        if (paced)
            options << "--baud" << "9600";
        Simulator_.start(QCoreApplication::applicationDirPath() + "/../../tools/vantor-sim/vantor-sim", options);
        if (!Simulator_.waitForReadyRead(5000))
            return;
        const QByteArray port = Simulator_.readLine().trimmed();
        qputenv("ORVELA_HOME", Home_.path().toLocal8Bit());
        QDir(Home_.path()).mkpath("INI");
        Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n");
        Write("INI/ComPort.ini", "[Transmitter]\r\nPort=" + port + "\r\n");
        Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=" + QByteArray::number(interval) + "\r\n");
        Ready = true;
    }
    ~TRun()
    {
        Close();
        Simulator_.terminate();
        Simulator_.waitForFinished(5000);
    }

    void Open()
    {
        StartUnits();
        // Shorter than the file may hold: cycles back to back.
        PollTimer()->SetInterval(Interval_);
        HistoryStartup();  // the program records every cycle's readings
        if (qEnvironmentVariableIsSet("BENCH_QUIET"))
            Transmitter()->SetEvents({});
        Form = std::make_unique<TFormMain>();
        auto cycle = RequestThread()->OnCycle;
        RequestThread()->OnCycle = [this, cycle](TRequestThread* sender, const QString& title) {
            const double cpu0 = ThreadCpuMs();
            cycle(sender, title);
            if (TimedApp()->Timing)
                TimedApp()->Costs["  the window's OnCycle"] += ThreadCpuMs() - cpu0;
            ++Cycles;
            if (OnCycle)
                OnCycle();
            if (Check_)
                Check_();
        };
        if (!qEnvironmentVariableIsSet("BENCH_HIDDEN"))
            Form->show();
    }
    void Close()
    {
        if (!Form)
            return;
        Form->close();
        Form.reset();
        HistoryShutdown();
        StopUnits();
    }
    // Runs the event loop as the program does (no polling of the condition): until the cycle.
    bool WaitCycles(int cycles, int ms)
    {
        return Wait([&] { return Cycles >= cycles; }, ms);
    }
    // The worker leaves its cycle without telling the UI thread: looked at between event loop turns.
    static bool WaitIdle(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (RequestThread()->Busy()) {
            if (clock.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
    bool Wait(const std::function<bool()>& done, int ms)
    {
        if (done())
            return true;
        QEventLoop loop;
        Check_ = [&] {
            if (done())
                loop.quit();
        };
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        Check_ = nullptr;
        return done();
    }

    bool Ready = false;
    std::unique_ptr<TFormMain> Form;
    int Cycles = 0;
    std::function<void()> OnCycle;

private:
    std::function<void()> Check_;

    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(Home_.path() + '/' + name);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    QProcess Simulator_;
    QTemporaryDir Home_;
    int Interval_ = 500;
};

int CycleMode(int cycles)
{
    TRun run(true, 500);
    if (!run.Ready)
        return 1;
    std::vector<double> perCycle, wakeUps;
    double last = 0, lastWakeUps = 0;
    run.OnCycle = [&] {
        const double now = ThreadCpuMs();
        const double woken = ThreadWakeUps();
        if (last > 0) {
            perCycle.push_back(now - last);
            wakeUps.push_back(woken - lastWakeUps);
        }
        if (perCycle.size() == 48) {
            TimedApp()->Costs.clear();  // the first round apart here too
            TimedApp()->Counts.clear();
        }
        // The measurement's own reading of /proc is not the window's time.
        last = ThreadCpuMs();
        lastWakeUps = woken;
    };
    run.Open();
    // The first round fills the grid and writes the alarm lines of every input: measured apart.
    if (!run.WaitCycles(cycles + 49, 600000))
        return 1;
    const std::vector<double> steady(perCycle.begin() + 48, perCycle.end());
    if (TimedApp()->Timing) {
        std::vector<std::pair<double, std::string>> costs;
        for (const auto& [key, ms] : TimedApp()->Costs)
            costs.emplace_back(ms / steady.size(), key);
        std::sort(costs.rbegin(), costs.rend());
        for (const auto& [ms, key] : costs)
            std::printf("  %8.3f ms per cycle, %5.2f times  %s\n", ms,
                        static_cast<double>(TimedApp()->Counts[key]) / steady.size(), key.c_str());
    }
    std::printf("UI thread CPU per cycle, paced at 9600 baud, %zu cycles: median %.3f ms, p90 %.3f ms"
                " (first round: median %.3f ms); the UI thread woke %.0f times per cycle (median)\n",
                steady.size(), Percentile(steady, 0.5), Percentile(steady, 0.9),
                Percentile({perCycle.begin(), perCycle.begin() + 48}, 0.5),
                Percentile({wakeUps.begin() + 48, wakeUps.end()}, 0.5));
    return 0;
}

// The UI thread's parts of a cycle, each repeated on a filled window: where the time goes.
int PartsMode()
{
    TRun run(false, 20000);
    if (!run.Ready)
        return 1;
    run.Open();
    // Stopped once the start-up has opened the port and polled its first cycle.
    if (!run.WaitCycles(1, 10000))
        return 1;
    run.Form->findChild<QAction*>("actOprosStop")->trigger();
    for (int group = 0; group < 48; ++group) {
        // OnCycle runs while the worker still counts as busy, and a resume then is dropped as a
        // tick would be: each cycle is resumed once the last has ended.
        if (!run.WaitIdle(10000))
            return 1;
        const int before = run.Cycles;
        RequestThread()->Resume();
        if (!run.WaitCycles(before + 1, 10000))
            return 1;
    }
    if (!run.WaitIdle(10000))
        return 1;
    const auto measure = [](const char* name, const std::function<void()>& part) {
        constexpr int kRepeats = 300;
        const double cpu0 = ThreadCpuMs();
        for (int i = 0; i < kRepeats; ++i) {
            part();
            QCoreApplication::processEvents();
        }
        std::printf("%-40s %.3f ms\n", name, (ThreadCpuMs() - cpu0) / kRepeats);
    };
    TVantor* vantor = Vantor();
    const QByteArray request = vantor->BuildReadRequest(1);
    const QByteArray answer(133, '\x01');
    measure("event loop turn", [] {});
    QByteArray req1, ans1;
    TExchangeMark mark;
    PollExchange(1, vantor->CurrentInput, req1, ans1, mark);
    measure("ParseAnswer of a group's readings", [&] { vantor->ParseAnswer(1, req1, ans1); });
    measure("whole window repaint", [&] { run.Form->repaint(); });
    int turn = 0;
    measure("DeviceRequest, new texts each time", [&] {
        ++turn;
        vantor->OnRequest(vantor, vantor->Title, QStringLiteral("Считать показания %1").arg(turn), req1,
                          ans1 + char(turn), true);
    });
    measure("RefreshPolledGroup of the same group", [&] { run.Form->RefreshPolledGroup(); });
    int g = 1;
    measure("RefreshPolledGroup, another group each time", [&] {
        vantor->CurrentInput = static_cast<quint8>(g);
        g = g >= 185 ? 5 : g + 4;
        run.Form->RefreshPolledGroup();
    });
    return 0;
}

int MemoryMode()
{
    TRun run(false, 0);
    if (!run.Ready)
        return 1;
    run.Open();
    if (!run.WaitCycles(100, 600000))
        return 1;
    const double at100 = ResidentMb();
    if (!run.WaitCycles(1000, 600000))
        return 1;
    const double at1000 = ResidentMb();
    std::printf("resident memory: %.1f MB after 100 cycles, %.1f MB after 1000 cycles (growth %.2f MB)\n", at100,
                at1000, at1000 - at100);
    return 0;
}

// The program as the operator starts it, on a pseudo-terminal of the bench's own: the first byte
// the program writes to its port shows on the master side.
double FirstRequestByteMs()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    const QByteArray port = ptsname(master);
    // Held open, so that the master sees no hang-up before the program opens the port.
    const int slave = open(port.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QTemporaryDir home;
    QDir(home.path()).mkpath("INI");
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(home.path() + '/' + name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    double ms = -1;
    if (slave >= 0 && write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n") &&
        write("INI/ComPort.ini", "[Transmitter]\r\nPort=" + port + "\r\n")) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ORVELA_HOME", home.path());
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        program.start(QCoreApplication::applicationDirPath() + "/../../src/app/orvela", {});
        pollfd line{master, POLLIN, 0};
        if (program.waitForStarted(10000) && poll(&line, 1, 10000) == 1 && (line.revents & POLLIN))
            ms = clock.nsecsElapsed() / 1e6;
        // SIGTERM ends the program as its exit command does.
        program.terminate();
        if (!program.waitForFinished(10000))
            program.kill();
        program.waitForFinished(5000);
    }
    if (slave >= 0)
        close(slave);
    close(master);
    return ms;
}

int StartupMode(int starts)
{
    std::vector<double> ms;
    for (int i = 0; i < starts; ++i) {
        const double one = FirstRequestByteMs();
        if (one < 0)
            return 1;
        ms.push_back(one);
    }
    std::printf("start of the program to its first request byte on the line, %d starts: median %.1f ms, "
                "min %.1f ms, max %.1f ms (200 ms of it the start delay)\n",
                starts, Percentile(ms, 0.5), Percentile(ms, 0.0), Percentile(ms, 1.0));
    return 0;
}

int CpuMode(int seconds)
{
    TRun run(true, 500);
    if (!run.Ready)
        return 1;
    run.Open();
    // Past the start-up and the first cycle.
    if (!run.WaitCycles(2, 20000))
        return 1;
    const double cpu0 = ProcessCpuMs();
    QElapsedTimer clock;
    clock.start();
    run.Wait([] { return false; }, seconds * 1000);
    const double cpu = ProcessCpuMs() - cpu0;
    std::printf("process CPU while polling every 500 ms at 9600 baud: %.2f %% of one core over %d s (%d cycles)\n",
                100.0 * cpu / clock.elapsed(), seconds, run.Cycles);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TTimedApplication app(argc, argv);
    app.Timing = qEnvironmentVariableIsSet("BENCH_EVENTS");
    app.setQuitOnLastWindowClosed(false);
    const QByteArray mode = argc > 1 ? argv[1] : "cycle";
    const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 0;
    if (mode == "cycle")
        return CycleMode(count ? count : 100);
    if (mode == "parts")
        return PartsMode();
    if (mode == "memory")
        return MemoryMode();
    if (mode == "startup")
        return StartupMode(count ? count : 10);
    if (mode == "cpu")
        return CpuMode(count ? count : 30);
    std::fprintf(stderr, "usage: bench_window cycle [N] | memory | startup [N] | cpu [seconds] | parts\n");
    return 2;
}
