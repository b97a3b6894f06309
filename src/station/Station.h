#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class TAlarmTracker;
class TCustomComPort;
class TCustomTimer;
class TPublisher;
class TRequestThread;
class TRiseMonitor;
class TVantor;
enum class TBrokerState;

// One station, whatever face it shows. While it lives it holds the units' notifications (the units
// must run, StationUnits.h): it routes every finished cycle to the history, the rise watch and the
// broker, writes every alarm-log line, and then tells its face what changed. The window draws
// what it is told; orvela-cli poll prints it. Lives in the UI thread.
class TStation
{
public:
    struct TOptions
    {
        // A station without a screen reads the controller's signature when polling starts (again
        // later while it goes unanswered): without it another controller found behind a returning
        // adapter would go unnoticed.
        bool ReadSignature = false;
    };

    TStation();
    explicit TStation(TOptions options);
    ~TStation();
    TStation(const TStation&) = delete;
    TStation& operator=(const TStation&) = delete;

    // Notifications of the face, one subscriber each, raised once the station has done its part.
    // A cycle ended and was routed.
    std::function<void(const TRequestThread& thread)> OnCycle;
    // The port's device went away or came back.
    std::function<void()> OnPortChange;
    // Another adapter sits under the port's name.
    std::function<void(const QString& why)> OnPortWait;
    // Another controller answers behind the returned port: polling has stopped.
    std::function<void()> OnOtherController;
    // Polling cannot go on, and why.
    std::function<void(const QString& reason)> OnPollHeld;
    std::function<void(TBrokerState state, const QString& reason)> OnBrokerState;
    // A sensor began (rising) or stopped rising.
    std::function<void(int input, int sensor, bool rising)> OnRise;
    // Each alarm line the operator must hear at once, as it is written: the port away, back or
    // waiting, another controller, the poll held, the broker lost or back.
    std::function<void(const QString& line)> OnNotice;

    // Polling from group 1, its first cycle at once (the signature first, when asked for); the
    // poll-held line when it cannot go on.
    void ResumePolling();
    // The publication was started again with other settings: its alarms are followed anew.
    void PublishingRestarted();
    // The alarm-log line of an operator command that failed.
    void CommandFailed(int command);
    // Watches the polled inputs for rising sensors.
    TRiseMonitor* RiseMonitor() const { return RiseMonitor_.get(); }

private:
    // Model notifications that write an alarm line: one handler each, attached while the station
    // lives. A new notification of the controller model is bound here and unbound in DetachModel.
    void AttachModel(TVantor& vantor);
    void DetachModel(TVantor& vantor);
    void AttachUnits();
    void DetachUnits();
    void BindPublisher();

    void CycleDone(const TRequestThread& thread);
    void PublishAlarms(const TVantor& vantor, int first, bool groupRead, qint64 time);
    // The list of active alarms, when it changed.
    void PublishActive(TPublisher& publisher);
    void PollTick(TCustomTimer* timer);
    void PollHeld();
    void PortVanished(TCustomComPort* port);
    void PortReturned(TCustomComPort* port);
    void PortWaiting(const QString& why);
    void BrokerState(TBrokerState state, const QString& reason);
    // A rise begins (with its slope) or ends (with the slope that ended it, if one could be taken).
    void RiseChanged(int input, int sensor, bool rising, std::optional<double> ratePerDay);
    // The rise watch has looked at input: a rise alarm kept from before a restart that it did not
    // find again is over.
    void RiseChecked(int input);
    void PublishRise(int input, int sensor, bool rising, std::optional<double> ratePerDay, const QString& line);
    // The signature of a station without a screen; again a minute later while unanswered.
    void ReadSignatureOnce();
    // The line in the alarm log, and to the face when it must hear it at once.
    void Write(const QString& line, bool notice = false);

    const TOptions Options_;
    std::unique_ptr<TRiseMonitor> RiseMonitor_;
    // Follows the alarms for the broker while publishing.
    std::unique_ptr<TAlarmTracker> Tracker_;
    bool BrokerOffline_ = false;
    qint64 SignatureTried_ = 0;  // ms since the epoch; 0: not yet
    // Calls deferred to the event loop die with the station.
    QObject Context_;
};
