#pragma once

#include "common/PostedCalls.h"
#include "device/Exchange.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The polling worker. Each Resume runs exactly one cycle: one group of four inputs (and the
// controller's general information once a round). Answers are parsed in the UI thread, the thread
// that created this object, while the worker waits. Terminate ends the worker whatever it is
// waiting for: the line, a pause or the UI thread.
class TRequestThread : public QObject
{
public:
    using TCycleEvent = std::function<void(TRequestThread* sender, const QString& title)>;

    TRequestThread();
    ~TRequestThread() override;

    // Raised in the UI thread after every cycle, with the controller's Title. Only the UI thread
    // reads or assigns it.
    TCycleEvent OnCycle;

    // The last poll exchange: written by the worker before it hands the answer over, read while
    // the worker waits.
    QByteArray Request;
    QByteArray Answer;
    quint8 Command = 0;
    // The cycle's group, fixed when the cycle starts: its first input (0 before the first cycle),
    // and whether its readings were read and decoded in this cycle. Read in OnCycle.
    int Group = 0;
    bool GroupRead = false;

    // Starts one cycle when the worker is idle; no effect while a cycle runs.
    void Resume();
    // Tells the worker to end: it leaves any wait for a pause or the UI thread at once.
    void RequestStop();
    // Ends the worker and waits for it: at most one exchange on the line.
    void Terminate();
    bool Busy() const;

    // One cycle with its OnCycle; never throws. While the port's device is away there is no
    // cycle: nothing is sent and the round stays where it is.
    bool RunCycle();
    // The exchanges of one cycle. A cycle that finds the device gone is undone: its group is the
    // next one polled once the device is back.
    bool RunPoll();
    // Parses the last poll exchange; runs in the UI thread.
    void ParseReceived();

private:
    void Execute();
    bool Stopping() const;
    // Runs call in the UI thread and waits for it; false when terminated meanwhile. Rethrows what
    // the call threw.
    bool Synchronize(std::function<void()> call);
    // False when terminated meanwhile.
    bool Pause(int ms);
    void PollAndParse(int command, bool& ok);

    // The worker's own: the cycle running met a device that went away.
    bool Lost_ = false;
    // Which exchange the last poll answer came from and how far it is known to be its own; read
    // with Request.
    TExchangeMark Mark_;
    // ParseAnswer's result for the last poll exchange, and whether it refused the answer as another
    // request's; written in the UI thread while the worker waits.
    bool Parsed_ = false;
    bool Refused_ = false;

    mutable std::mutex Mutex_;
    std::condition_variable Wake_;
    bool Resumed_ = false;
    bool Running_ = false;
    bool Terminated_ = false;
    // Lives in the UI thread: the worker's hand-overs run there.
    TPostedCalls Calls_;
    std::thread Worker_;
};
