#pragma once

#include <functional>

// The test binary's application object lives for the whole run (see EventLoop.cpp). Runs the
// event loop until done() holds or the deadline passes; false on the deadline.
bool WaitUntil(const std::function<bool()>& done, int deadlineMs = 5000);
