#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

class TIOData;

// A notification with one subscriber, called with the sending value. One pointer wide, since
// every value carries four of them and most stay empty: the callable lives on the heap, shared by
// copies (so they share its state), and is held alive while it runs, so the subscriber may
// destroy the value or reassign the notification from inside the call. An empty notification
// does nothing when called. Like the values, used on the main thread only.
class TNotifyEvent
{
public:
    TNotifyEvent() noexcept = default;
    TNotifyEvent(std::nullptr_t) noexcept {}

    template <class F>
        requires(!std::is_same_v<std::decay_t<F>, TNotifyEvent> &&
                 std::is_invocable_v<std::decay_t<F>&, TIOData*>)
    TNotifyEvent(F&& f)
    {
        using D = std::decay_t<F>;
        if constexpr (std::is_pointer_v<D> || std::is_member_pointer_v<D>) {
            if (!f)
                return;
        }
        Block_ = new TBlock<D>(std::forward<F>(f));
    }

    TNotifyEvent(const TNotifyEvent& other) noexcept : Block_(other.Block_)
    {
        if (Block_)
            ++Block_->Refs;
    }
    TNotifyEvent(TNotifyEvent&& other) noexcept : Block_(std::exchange(other.Block_, nullptr)) {}
    TNotifyEvent& operator=(TNotifyEvent other) noexcept
    {
        std::swap(Block_, other.Block_);
        return *this;
    }
    ~TNotifyEvent() { Release(Block_); }

    explicit operator bool() const noexcept { return Block_ != nullptr; }

    void operator()(TIOData* sender) const
    {
        if (!Block_)
            return;
        TBlockBase* block = Block_;
        ++block->Refs;
        struct THold
        {
            TBlockBase* Block;
            ~THold() { Release(Block); }
        } hold{block};
        block->Invoke(block, sender);
    }

private:
    struct TBlockBase
    {
        std::size_t Refs = 1;
        void (*Invoke)(TBlockBase*, TIOData*);
        void (*Destroy)(TBlockBase*);
    };
    template <class D>
    struct TBlock : TBlockBase
    {
        template <class F>
        explicit TBlock(F&& f) : TBlockBase{1, &CallIt, &DestroyIt}, Callable(std::forward<F>(f))
        {
        }
        static void CallIt(TBlockBase* block, TIOData* sender)
        {
            std::invoke(static_cast<TBlock*>(block)->Callable, sender);
        }
        static void DestroyIt(TBlockBase* block) { delete static_cast<TBlock*>(block); }

        D Callable;
    };

    static void Release(TBlockBase* block) noexcept
    {
        if (block && --block->Refs == 0)
            block->Destroy(block);
    }

    TBlockBase* Block_ = nullptr;
};
