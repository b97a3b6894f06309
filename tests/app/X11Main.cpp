#include "X11Display.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

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
    // In a sanitizer build: the X keyboard library passes strndup names without a terminator,
    // which strict string checks take for an overflow, and the desktop bus library never frees
    // its connection. This process and the program it starts run with those two relaxed.
    if (const char* asan = std::getenv("ASAN_OPTIONS"); asan && !std::strstr(asan, "strict_string_checks=0")) {
        setenv("ASAN_OPTIONS", (std::string(asan) + ":strict_string_checks=0").c_str(), 1);
        setenv("LSAN_OPTIONS", "suppressions=" ORVELA_LSAN_SUPPRESSIONS, 1);
        execv("/proc/self/exe", argv);
    }
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
