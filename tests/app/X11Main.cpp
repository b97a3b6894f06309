#include "X11Display.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const VirtualDisplay* Server = nullptr;

}  // namespace

const VirtualDisplay& TestDisplay()
{
    return *Server;
}

// The window's tests on the X11 platform: one X server and one application for all, in the
// operator's locale. Without a server the application runs offscreen and the tests skip.
int main(int argc, char** argv)
{
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    VirtualDisplay display;
    Server = &display;
    if (display.Start()) {
        setenv("DISPLAY", display.Name().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
