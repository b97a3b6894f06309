#pragma once

// Data handed from one thread to another through Qt's event queue: ThreadSanitizer does not see
// Qt's own locks, so the hand-over is announced to it where it really happens.
#if defined(__SANITIZE_THREAD__)
#define ORVELA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVELA_TSAN 1
#endif
#endif

#ifdef ORVELA_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

// In the sending thread, after the data is written and before the event is posted.
inline void HandOverRelease([[maybe_unused]] void* token)
{
#ifdef ORVELA_TSAN
    __tsan_release(token);
#endif
}

// In the receiving thread, before the data is read.
inline void HandOverAcquire([[maybe_unused]] void* token)
{
#ifdef ORVELA_TSAN
    __tsan_acquire(token);
#endif
}
