#include "StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace stop_signal {
namespace {

volatile std::sig_atomic_t gStop = 0;
sigset_t gWaitMask;  // the mask while waiting: everything but the stop signals as before

void OnStop(int)
{
    gStop = 1;
}

int Wait(pollfd* fds, nfds_t count, const timespec* timeout)
{
    for (;;) {
        if (gStop)
            return -1;
        const int n = ppoll(fds, count, timeout, &gWaitMask);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return -1;  // cannot happen with valid arguments; ending beats spinning
    }
}

timespec Remaining(Clock::time_point deadline)
{
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

void Install()
{
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A client that goes away must not kill the simulator through a write.
    signal(SIGPIPE, SIG_IGN);

    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &gWaitMask);
    sigdelset(&gWaitMask, SIGINT);
    sigdelset(&gWaitMask, SIGTERM);
}

bool Requested()
{
    return gStop != 0;
}

int WaitUntil(pollfd* fds, nfds_t count, Clock::time_point deadline)
{
    // Recomputed after every interruption, so the deadline holds.
    for (;;) {
        const timespec timeout = Remaining(deadline);
        const int n = Wait(fds, count, &timeout);
        if (n != 0 || Clock::now() >= deadline)
            return n;
    }
}

int WaitForever(pollfd* fds, nfds_t count)
{
    return Wait(fds, count, nullptr);
}

bool SleepUntil(Clock::time_point deadline)
{
    return WaitUntil(nullptr, 0, deadline) != -1;
}

}  // namespace stop_signal
