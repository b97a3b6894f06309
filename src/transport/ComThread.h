#pragma once

#include "common/PostedCalls.h"
#include "transport/ComTypes.h"
#include "transport/SerialLine.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class TCustomComPort;

// Watches the open port's line for events and hands them to the port's thread. It never reads
// data, so it does not compete with an exchange. It sleeps in the kernel: data and output
// readiness wake it edge-triggered, so bytes left in the queue do not wake it again; once the
// device is gone it watches only its stop event. Line-status changes have no wake-up of their own
// on Linux; on a device that keeps the driver's interrupt counters they are sampled a few times a
// second.
class TComThread
{
public:
    // Raises EComPort number 1 when the thread's own events cannot be made.
    TComThread(TCustomComPort& port, TSerialLine& line, TComEvents events, TSyncMethod sync);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Ends the thread and waits for it. A hand-over waiting for the port's thread is given up, so
    // this may be called from that thread without the two waiting on each other.
    void Stop();
    // The port's listened events changed: the thread watches for what is listened to now.
    void Relisten();

private:
    struct THandOver;

    void Execute();
    // The events one wake-up amounts to.
    TComEvents Collect(std::uint32_t ready);
    TComEvents CollectLineChanges();
    // Watches the line for the listened events only: a byte nobody listens for wakes no one.
    void Watch();
    // False once the thread is to stop.
    bool Deliver(TComEvents events);

    TCustomComPort& Port_;
    TSerialLine& Line_;
    TComEvents Events_;
    TSyncMethod Sync_;
    int StopEvent_ = -1;
    int RelistenEvent_ = -1;
    // Events_ narrowed to those with a handler; the event thread's own.
    TComEvents Listened_;
    bool Sampling_ = false;
    int Poll_ = -1;
    bool Watching_ = true;
    bool HasCounters_ = false;
    TLineCounters Counters_;
    std::uint64_t WrittenSeen_ = 0;
    std::mutex Mutex_;
    bool Stopping_ = false;
    std::shared_ptr<THandOver> Pending_;
    // Lives in the port's thread; hand-overs still queued when the thread ends are dropped.
    TPostedCalls Calls_;
    std::thread Thread_;
};
