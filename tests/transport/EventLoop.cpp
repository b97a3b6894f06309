#include "EventLoop.h"
#include "TestApplication.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <thread>

namespace {

// Hand-overs from the ports' event threads arrive through the application's event loop.
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new TestApplication<QCoreApplication>("transport_tests"));

}  // namespace

bool WaitUntil(const std::function<bool()>& done, int deadlineMs)
{
    QElapsedTimer clock;
    clock.start();
    // The tick only bounds each wait for events; the loop ends on the condition.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (clock.hasExpired(deadlineMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool WaitWithoutEvents(const std::function<bool()>& done, int deadlineMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.hasExpired(deadlineMs))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
