#pragma once

#include <QObject>

#include <functional>

// SIGINT, SIGTERM and SIGHUP call onStop in the thread of context, from its event loop; the signal
// handler itself only wakes that loop.
void WatchStopSignals(QObject* context, std::function<void()> onStop);
