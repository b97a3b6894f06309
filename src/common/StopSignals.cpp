#include "common/StopSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <csignal>

namespace {

int wakeUp[2] = {-1, -1};
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnSignal(int)
{
    // The interrupted code may be about to read errno: a full pipe must not change it.
    const int saved = errno;
    stopRequested.store(true);
    const char byte = 1;
    [[maybe_unused]] const auto written = write(wakeUp[1], &byte, 1);
    errno = saved;
}

}  // namespace

void WatchStopSignals(QObject* context, std::function<void()> onStop)
{
    if (wakeUp[0] < 0 && pipe2(wakeUp, O_CLOEXEC | O_NONBLOCK) != 0)
        return;  // without the pipe the signals keep their default: the process ends at once
    auto* notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onStop = std::move(onStop)] {
        char bytes[16];
        while (read(wakeUp[0], bytes, sizeof bytes) > 0) {
        }
        onStop();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal or session: the same orderly end, not the default instant death.
    sigaction(SIGHUP, &action, nullptr);
}

bool StopRequested()
{
    return stopRequested.load();
}
