#pragma once

#include <QObject>

#include <functional>

// SIGINT, SIGTERM and SIGHUP call onStop in the thread of context, from its event loop; the signal
// handler itself only wakes that loop.
void WatchStopSignals(QObject* context, std::function<void()> onStop);

// True from the moment a stop signal arrived. Work that runs inside a nested event loop asks
// this: once the stop has ended the application's loop, no nested loop waits any more.
bool StopRequested();
