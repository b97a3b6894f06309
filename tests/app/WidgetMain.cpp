#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The window's tests: one application for all, in the operator's locale ("21,5"), which Qt takes
// from the environment at its first use.
int main(int argc, char** argv)
{
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
