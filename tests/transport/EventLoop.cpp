#include "EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// Hand-overs from the ports' event threads arrive through the application's event loop.
class TApplicationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { Application_ = std::make_unique<QCoreApplication>(Argc_, Argv_); }
    void TearDown() override { Application_.reset(); }

private:
    int Argc_ = 1;
    char Name_[16] = "transport_tests";
    char* Argv_[2] = {Name_, nullptr};
    std::unique_ptr<QCoreApplication> Application_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

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
