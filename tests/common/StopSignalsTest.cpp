#include "common/StopSignals.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

// The handler interrupts code that may be about to read errno. Enough signals fill the wake-up
// pipe, so that the handler's own write fails too.
TEST(StopSignals, TheHandlerLeavesErrnoAsItFoundIt)
{
    int argc = 1;
    char name[] = "common_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QObject context;
    int stops = 0;
    WatchStopSignals(&context, [&stops] { ++stops; });
    for (int i = 0; i < 100'000; ++i) {
        errno = EDOM;
        raise(SIGTERM);
        ASSERT_EQ(errno, EDOM) << "signal " << i;
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(stops, 1);
}
