#pragma once

#include <functional>
#include <mutex>
#include <utility>

// A notification that one thread raises while another may reassign it. The call runs under the
// guard, so once an assignment returns the old handler is neither running nor called again; the
// guard is re-entrant, so a handler may reassign itself.
template <class Signature>
class TGuardedHandler
{
public:
    using THandler = std::function<Signature>;

    TGuardedHandler& operator=(THandler handler)
    {
        const std::lock_guard lock(Mutex_);
        Handler_ = std::move(handler);
        return *this;
    }

    explicit operator bool() const
    {
        const std::lock_guard lock(Mutex_);
        return static_cast<bool>(Handler_);
    }

    // Calls the handler when one is assigned.
    template <class... Args>
    void operator()(Args&&... args) const
    {
        const std::lock_guard lock(Mutex_);
        if (Handler_)
            Handler_(std::forward<Args>(args)...);
    }

private:
    mutable std::recursive_mutex Mutex_;
    THandler Handler_;
};
