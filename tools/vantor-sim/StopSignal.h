#pragma once

#include <chrono>

#include <poll.h>

// SIGINT and SIGTERM are blocked except inside the waits below, so a stop request always ends
// a wait at once and never interrupts anything else.
namespace stop_signal {

using Clock = std::chrono::steady_clock;

void Install();
bool Requested();

// Waits for events on the descriptors until the deadline. Returns poll's count (0 at the
// deadline), or -1 when a stop was requested (or the wait itself failed).
int WaitUntil(pollfd* fds, nfds_t count, Clock::time_point deadline);
// Waits without a deadline.
int WaitForever(pollfd* fds, nfds_t count);
// False when a stop was requested first.
bool SleepUntil(Clock::time_point deadline);

}  // namespace stop_signal
