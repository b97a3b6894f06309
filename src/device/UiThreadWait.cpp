#include "device/UiThreadWait.h"

#include "common/PostedCalls.h"
#include "device/Exchange.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <system_error>
#include <thread>

namespace {

// UI thread: the waits in progress, one inside another when a command runs from a notification.
int waits = 0;

bool InUiThread()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

}  // namespace

void WaitOffUiThread(const std::function<void()>& work)
{
    if (!InUiThread()) {
        work();
        return;
    }
    QEventLoop loop;
    TPostedCalls wake;
    std::exception_ptr failure;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            wake.Post([&loop] { loop.quit(); });
        });
    } catch (const std::system_error&) {
        // No thread to be had: the window stops for the exchange rather than the command failing.
        work();
        return;
    }
    // However the loop ends (it returns at once when the application is told to exit), the
    // exchange is waited for here.
    struct TEnd {
        std::thread& Helper;
        ~TEnd()
        {
            --waits;
            Helper.join();
        }
    };
    {
        ++waits;
        const TEnd end{helper};
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (failure)
        std::rethrow_exception(failure);
}

bool UiThreadWaiting()
{
    return waits > 0;
}

std::unique_lock<std::recursive_mutex> TakeExchangeLock()
{
    if (!InUiThread())
        return std::unique_lock(ExchangeLock);
    std::unique_lock lock(ExchangeLock, std::try_to_lock);
    // The helper gets the lock once the poll exchange lets go of it; the UI thread then tries
    // again, and another poll exchange may have come first.
    while (!lock.owns_lock()) {
        WaitOffUiThread([] { const std::lock_guard held(ExchangeLock); });
        lock.try_lock();
    }
    return lock;
}
