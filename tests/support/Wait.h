#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

using namespace std::chrono_literals;

// Waits for done() until the limit, never for a fixed time: false at the limit. With an
// application object its event loop runs meanwhile, so that hand-overs to this thread arrive.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // The tick only bounds each wait for events; the loop ends on the condition.
    std::optional<QTimer> tick;
    if (QCoreApplication::instance()) {
        tick.emplace();
        tick->start(5);
    }
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (tick)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        else
            std::this_thread::sleep_for(1ms);
    }
    return true;
}

// The same without running the event loop: hand-overs to this thread stay waiting.
inline bool WaitWithoutEvents(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}
