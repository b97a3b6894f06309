#include "transport/ComThread.h"

#include "transport/ComPort.h"
#include "transport/EComPort.h"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

constexpr std::uint32_t kStopKey = 0;
constexpr std::uint32_t kLineKey = 1;
constexpr std::uint32_t kRelistenKey = 2;
// How often line-status counters are sampled when nothing else wakes the thread.
constexpr int kSampleMs = 100;

void CloseDescriptor(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

}  // namespace

struct TComThread::THandOver
{
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Done = false;
    bool Cancelled = false;
};

TComThread::TComThread(TCustomComPort& port, TSerialLine& line, TComEvents events, TSyncMethod sync)
    : Port_(port), Line_(line), Events_(events), Sync_(sync)
{
    StopEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    RelistenEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    Poll_ = epoll_create1(EPOLL_CLOEXEC);
    epoll_event stop{};
    stop.events = EPOLLIN;
    stop.data.u32 = kStopKey;
    epoll_event relisten{};
    relisten.events = EPOLLIN;
    relisten.data.u32 = kRelistenKey;
    if (StopEvent_ < 0 || RelistenEvent_ < 0 || Poll_ < 0 || epoll_ctl(Poll_, EPOLL_CTL_ADD, StopEvent_, &stop) != 0 ||
        epoll_ctl(Poll_, EPOLL_CTL_ADD, RelistenEvent_, &relisten) != 0) {
        const int error = errno;
        CloseDescriptor(StopEvent_);
        CloseDescriptor(RelistenEvent_);
        CloseDescriptor(Poll_);
        throw EComPort(ecOpen, error);
    }
    // Hang-up and errors are always reported; data and output readiness only when listened to.
    epoll_event watch{};
    watch.events = EPOLLET;
    watch.data.u32 = kLineKey;
    Watching_ = epoll_ctl(Poll_, EPOLL_CTL_ADD, Line_.Handle(), &watch) == 0;
    HasCounters_ = Line_.ReadCounters(Counters_) == 0;
    WrittenSeen_ = Line_.Written();
    Watch();
    try {
        Thread_ = std::thread(&TComThread::Execute, this);
    } catch (const std::system_error& error) {
        CloseDescriptor(StopEvent_);
        CloseDescriptor(RelistenEvent_);
        CloseDescriptor(Poll_);
        throw EComPort(ecOpen, error.code().value());
    }
}

TComThread::~TComThread()
{
    Stop();
    CloseDescriptor(StopEvent_);
    CloseDescriptor(RelistenEvent_);
    CloseDescriptor(Poll_);
}

void TComThread::Relisten()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(RelistenEvent_, &one, sizeof one);
}

void TComThread::Watch()
{
    Listened_ = TComEvents::FromBits(Port_.ListenedEvents().Bits() & Events_.Bits());
    Sampling_ = HasCounters_
        && (Listened_.Contains(evCTS) || Listened_.Contains(evDSR) || Listened_.Contains(evRLSD)
            || Listened_.Contains(evRing) || Listened_.Contains(evBreak) || Listened_.Contains(evError));
    if (!Watching_)
        return;
    epoll_event watch{};
    watch.events = EPOLLET;
    // A pseudo-terminal signals no output readiness after a write that found room: a finished
    // write is seen at the next wake-up of any kind, so a listener of it watches the input too.
    if (Listened_.Contains(evRxChar) || Listened_.Contains(evRx80Full) || Listened_.Contains(evTxEmpty))
        watch.events |= EPOLLIN;
    if (Listened_.Contains(evTxEmpty))
        watch.events |= EPOLLOUT;
    watch.data.u32 = kLineKey;
    // A write made just before a listener came is reported to it.
    epoll_ctl(Poll_, EPOLL_CTL_MOD, Line_.Handle(), &watch);
}

void TComThread::Stop()
{
    std::shared_ptr<THandOver> pending;
    {
        const std::lock_guard lock(Mutex_);
        if (!Thread_.joinable())
            return;
        Stopping_ = true;
        pending = Pending_;
    }
    if (pending) {
        const std::lock_guard lock(pending->Mutex);
        pending->Cancelled = true;
        pending->Changed.notify_all();
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(StopEvent_, &one, sizeof one);
    Thread_.join();
}

void TComThread::Execute()
{
    pthread_setname_np(pthread_self(), "line-events");
    for (;;) {
        epoll_event ready[3];
        const int count = epoll_wait(Poll_, ready, 3, Watching_ && Sampling_ ? kSampleMs : -1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            break;
        bool stop = false;
        std::uint32_t line = 0;
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.u32 == kStopKey) {
                stop = true;
            } else if (ready[i].data.u32 == kRelistenKey) {
                std::uint64_t value = 0;
                [[maybe_unused]] const auto got = read(RelistenEvent_, &value, sizeof value);
                Watch();
            } else {
                line = ready[i].events;
            }
        }
        if (stop)
            break;
        const TComEvents events = TComEvents::FromBits(Collect(line).Bits() & Listened_.Bits());
        if (!events.Empty() && !Deliver(events))
            break;
    }
    Line_.Purge(true, true);
}

TComEvents TComThread::Collect(std::uint32_t ready)
{
    TComEvents events;
    if (!Watching_)
        return events;
    if (ready & (EPOLLHUP | EPOLLERR)) {
        // The device is gone: a pseudo-terminal whose other side closed reports hang-up for
        // ever, so the line leaves the wait set and only the stop event remains.
        epoll_ctl(Poll_, EPOLL_CTL_DEL, Line_.Handle(), nullptr);
        Watching_ = false;
        Line_.MarkGone();
        events.Include(evError);
        return events;
    }
    if (ready & EPOLLIN) {
        events.Include(evRxChar);
        int pending = 0;
        const int size = Line_.InputQueueSize();
        if (Line_.PendingInput(pending) == 0 && size > 0 && std::int64_t{pending} * 10 >= std::int64_t{size} * 8)
            events.Include(evRx80Full);
    }
    // Output readiness after a write: the driver has taken everything written.
    if ((ready & EPOLLOUT) && Line_.Written() != WrittenSeen_) {
        WrittenSeen_ = Line_.Written();
        events.Include(evTxEmpty);
    }
    if (HasCounters_)
        events = TComEvents::FromBits(events.Bits() | CollectLineChanges().Bits());
    return events;
}

TComEvents TComThread::CollectLineChanges()
{
    TComEvents events;
    TLineCounters now;
    if (Line_.ReadCounters(now) != 0)
        return events;
    if (now.Cts != Counters_.Cts)
        events.Include(evCTS);
    if (now.Dsr != Counters_.Dsr)
        events.Include(evDSR);
    if (now.Carrier != Counters_.Carrier)
        events.Include(evRLSD);
    if (now.Ring != Counters_.Ring)
        events.Include(evRing);
    if (now.Break != Counters_.Break)
        events.Include(evBreak);
    if (now.Frame != Counters_.Frame || now.Parity != Counters_.Parity || now.Overrun != Counters_.Overrun
        || now.BufferOverrun != Counters_.BufferOverrun)
        events.Include(evError);
    Counters_ = now;
    return events;
}

bool TComThread::Deliver(TComEvents events)
{
    TCustomComPort* port = &Port_;
    if (Sync_ == smNone) {
        port->HandleEvents(events);
        return true;
    }
    if (Sync_ == smWindowSync) {
        Calls_.Post([port, events] { port->HandleEvents(events); });
        return true;
    }
    // The port's thread handles the set while this one waits; closing gives the wait up.
    const auto handOver = std::make_shared<THandOver>();
    {
        const std::lock_guard lock(Mutex_);
        if (Stopping_)
            return false;
        Pending_ = handOver;
    }
    Calls_.Post([port, events, handOver] {
        {
            const std::lock_guard lock(handOver->Mutex);
            if (handOver->Cancelled)
                return;
        }
        port->HandleEvents(events);
        const std::lock_guard lock(handOver->Mutex);
        handOver->Done = true;
        handOver->Changed.notify_all();
    });
    std::unique_lock lock(handOver->Mutex);
    handOver->Changed.wait(lock, [&] { return handOver->Done || handOver->Cancelled; });
    return !handOver->Cancelled;
}
