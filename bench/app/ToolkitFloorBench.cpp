// What the toolkit alone costs the UI thread for the window's pattern of a poll cycle, with none
// of the program in it: a 500 ms timer on the UI thread wakes a worker, the worker hands calls
// over to the UI thread one at a time and waits for each (as the request thread does), and the
// last of them changes two fixed-size labels of a shown window. The window's own figure
// (bench_window cycle) is read against this one.
//   bench_toolkit_floor [hand-overs per cycle, default 3] [cycles, default 100]
// Run under xvfb-run with QT_QPA_PLATFORM=xcb for the X11 figure; BENCH_HIDDEN=1 leaves the
// window unshown.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class TCallEvent : public QEvent
{
public:
    explicit TCallEvent(std::function<void()> call) : QEvent(QEvent::User), Call(std::move(call)) {}
    std::function<void()> Call;
};

class TCallSink : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        static_cast<TCallEvent*>(event)->Call();
        return true;
    }
};

// Runs the call on the UI thread and returns once it has run.
void HandOver(TCallSink& sink, const std::function<void()>& call)
{
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
    QCoreApplication::postEvent(&sink, new TCallEvent([&] {
        call();
        const std::lock_guard lock(mutex);
        done = true;
        ran.notify_all();
    }));
    std::unique_lock lock(mutex);
    ran.wait(lock, [&] { return done; });
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int handOvers = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const size_t cycles = argc > 2 ? std::max(10, atoi(argv[2])) : 100;

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QLabel* labels[2] = {new QLabel("0"), new QLabel("0")};
    for (QLabel* label : labels) {
        label->setFixedSize(200, 20);
        layout->addWidget(label);
    }
    window.resize(600, 200);
    if (!qEnvironmentVariableIsSet("BENCH_HIDDEN"))
        window.show();

    TCallSink sink;
    std::mutex mutex;
    std::condition_variable tick;
    bool due = false;
    bool stop = false;
    int cycle = 0;
    std::vector<double> perCycle;
    double last = 0;
    std::thread worker([&] {
        for (;;) {
            {
                std::unique_lock lock(mutex);
                tick.wait(lock, [&] { return due || stop; });
                if (stop)
                    return;
                due = false;
            }
            // The answers' line time apart, as the exchanges of a cycle are.
            for (int i = 1; i < handOvers; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(140));
                HandOver(sink, [] {});
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(140));
            HandOver(sink, [&] {
                ++cycle;
                labels[0]->setText(QString::number(cycle));
                labels[1]->setText(QString::number(cycle * 7919 % 100000));
                const double now = ThreadCpuMs();
                if (last > 0)
                    perCycle.push_back(now - last);
                last = now;
                if (perCycle.size() >= cycles)
                    app.quit();
            });
        }
    });
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const std::lock_guard lock(mutex);
        due = true;
        tick.notify_all();
    });
    timer.start(500);
    app.exec();
    {
        const std::lock_guard lock(mutex);
        stop = true;
        tick.notify_all();
    }
    worker.join();
    std::sort(perCycle.begin(), perCycle.end());
    std::printf("toolkit floor, UI thread CPU per cycle, %d hand-overs, two labels changed, %zu cycles: "
                "median %.3f ms, p90 %.3f ms\n",
                handOvers, perCycle.size(), perCycle[perCycle.size() / 2], perCycle[perCycle.size() * 9 / 10]);
    return 0;
}
