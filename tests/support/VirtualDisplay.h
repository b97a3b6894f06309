#pragma once

#include <string>

#include <sys/types.h>

// An X server of our own (Xvfb), for what must be seen on the X11 platform: window titles as the
// window manager gets them, the fonts installed. Usable before any application object exists.
// The destructor stops it.
class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    ~VirtualDisplay();

    // Starts the server and waits until it accepts clients; false with the reason in Error().
    bool Start();
    // ":N" once started.
    const std::string& Name() const { return Name_; }
    const std::string& Error() const { return Error_; }

private:
    pid_t Pid_ = -1;
    std::string Name_;
    std::string Error_;
};
