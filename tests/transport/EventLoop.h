#pragma once

#include <functional>

// The test binary's application object lives for the whole run (see EventLoop.cpp). Runs the
// event loop until done() holds or the deadline passes; false on the deadline.
bool WaitUntil(const std::function<bool()>& done, int deadlineMs = 5000);

// The same without running the event loop: hand-overs to this thread stay waiting.
bool WaitWithoutEvents(const std::function<bool()>& done, int deadlineMs = 5000);
