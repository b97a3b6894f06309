#include "common/PostedCalls.h"

#include <QCoreApplication>
#include <QEvent>

#if defined(__SANITIZE_THREAD__)
#define ORVELA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVELA_TSAN 1
#endif
#endif

#ifdef ORVELA_TSAN
#include <mutex>

extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace {

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TCallEvent : public QEvent
{
public:
    explicit TCallEvent(std::function<void()> call) : QEvent(kCallEvent), Call(std::move(call)) {}
    const std::function<void()> Call;
};

}  // namespace

void TPostedCalls::Post(std::function<void()> call)
{
    auto* event = new TCallEvent(std::move(call));
#ifdef ORVELA_TSAN
    __tsan_release(event);
    // Two threads posting at once grow Qt's queue under Qt's own lock, which the sanitizer does
    // not see: ours, around it, it does.
    static std::mutex posting;
    const std::lock_guard lock(posting);
#endif
    QCoreApplication::postEvent(this, event);
}

bool TPostedCalls::event(QEvent* event)
{
#ifdef ORVELA_TSAN
    // Before anything of the event is read, its type included.
    __tsan_acquire(event);
#endif
    if (event->type() != kCallEvent)
        return QObject::event(event);
    static_cast<TCallEvent*>(event)->Call();
    return true;
}
