#pragma once

#include <QCoreApplication>

// The UI thread of these tests: the worker hands its answers over to it. One for the whole run.
inline void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "device_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}
