#pragma once

#include <cstddef>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>

class TIOData;

// A notification with one subscriber, called with the sending value. 16 bytes, half the size of
// a std::function, since every value carries four of them. A callable of one pointer's size
// (a lambda capturing `this`, a function pointer) is kept inline and called on a copy, so the
// subscriber may destroy the value or reassign the notification from inside the call; a larger
// one is kept on the heap, shared by copies (so they share its state), and held alive while it
// runs. Like the values, used on the main thread only. An empty notification
// does nothing when called.
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
        if constexpr (IsInline<D>) {
            ::new (static_cast<void*>(Storage_.Bytes)) D(std::forward<F>(f));
            Ops_ = &InlineOps<D>;
        } else {
            Storage_.Heap = new THeap<D>{{1}, D(std::forward<F>(f))};
            Ops_ = &HeapOps<D>;
        }
    }

    TNotifyEvent(const TNotifyEvent& other) noexcept : Storage_(other.Storage_), Ops_(other.Ops_)
    {
        if (Ops_ && Ops_->Share)
            Ops_->Share(Storage_);
    }
    TNotifyEvent(TNotifyEvent&& other) noexcept : Storage_(other.Storage_), Ops_(other.Ops_)
    {
        other.Ops_ = nullptr;
    }
    TNotifyEvent& operator=(TNotifyEvent other) noexcept
    {
        std::swap(Storage_, other.Storage_);
        std::swap(Ops_, other.Ops_);
        return *this;
    }
    ~TNotifyEvent()
    {
        if (Ops_ && Ops_->Release)
            Ops_->Release(Storage_);
    }

    explicit operator bool() const noexcept { return Ops_ != nullptr; }

    void operator()(TIOData* sender) const
    {
        if (Ops_)
            Ops_->Invoke(Storage_, sender);
    }

private:
    struct THeapBase
    {
        std::size_t Refs;
    };
    template <class D>
    struct THeap : THeapBase
    {
        D Callable;
    };
    union TStorage
    {
        void* Heap;
        alignas(void*) unsigned char Bytes[sizeof(void*)];
    };
    struct TOps
    {
        void (*Invoke)(TStorage, TIOData*);
        void (*Share)(TStorage&);
        void (*Release)(TStorage&);
    };

    // Called on a copy, so the callable must be usable as const and copyable bytewise.
    template <class D>
    static constexpr bool IsInline = sizeof(D) <= sizeof(void*) && alignof(D) <= alignof(void*) &&
                                     std::is_trivially_copyable_v<D> &&
                                     std::is_trivially_destructible_v<D> &&
                                     std::is_invocable_v<const D&, TIOData*>;

    template <class D>
    static void InvokeInline(TStorage storage, TIOData* sender)
    {
        // The argument is a private copy of the stored bytes.
        const D& callable = *std::launder(reinterpret_cast<const D*>(storage.Bytes));
        std::invoke(callable, sender);
    }

    template <class D>
    static void InvokeHeap(TStorage storage, TIOData* sender)
    {
        auto* heap = static_cast<THeap<D>*>(storage.Heap);
        // Held for the call: the subscriber may drop the last other reference meanwhile.
        ++heap->Refs;
        struct THold
        {
            TStorage S;
            ~THold() { ReleaseHeap<D>(S); }
        } hold{storage};
        std::invoke(heap->Callable, sender);
    }

    static void ShareHeap(TStorage& storage) { ++static_cast<THeapBase*>(storage.Heap)->Refs; }

    template <class D>
    static void ReleaseHeap(TStorage& storage)
    {
        auto* heap = static_cast<THeap<D>*>(storage.Heap);
        if (--heap->Refs == 0)
            delete heap;
    }

    template <class D>
    static constexpr TOps InlineOps{&InvokeInline<D>, nullptr, nullptr};
    template <class D>
    static constexpr TOps HeapOps{&InvokeHeap<D>, &ShareHeap, &ReleaseHeap<D>};

    TStorage Storage_{};
    const TOps* Ops_ = nullptr;
};
