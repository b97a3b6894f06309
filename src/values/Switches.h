#pragma once

#include <QStringList>

#include <atomic>

// The full (service) layout of the main window: "/full" at start, Ctrl+F at run time.
extern std::atomic<bool> FullMode;

// "/design" clears QuietErrors, "/full" sets FullMode. Every argument, the program path included,
// is compared exactly and case-sensitively; anything else is ignored.
void ReadSwitches(const QStringList& arguments);
