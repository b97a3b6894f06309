#pragma once

#include "common/PostedCalls.h"
#include "transport/ComSettings.h"
#include "transport/ComTypes.h"
#include "transport/SerialLine.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>

class TComThread;
class TCustomComPort;

// Tells the port that its handler of event was assigned or cleared.
void ListenLineEvent(TCustomComPort& port, TComEvent event, bool on);

// A line-event handler of the port. Assigning it tells the port whether the event has a listener,
// so that the event thread hands the port's thread only the events someone listens to.
template <class F>
class TLineEvent
{
public:
    TLineEvent(TCustomComPort& port, TComEvent event) : Port_(port), Event_(event) {}
    TLineEvent(const TLineEvent&) = delete;

    TLineEvent& operator=(const TLineEvent& other) { return *this = other.Handler_; }
    template <class G>
        requires(!std::is_same_v<std::decay_t<G>, TLineEvent>)
    TLineEvent& operator=(G&& handler)
    {
        Handler_ = std::forward<G>(handler);
        ListenLineEvent(Port_, Event_, static_cast<bool>(Handler_));
        return *this;
    }

    explicit operator bool() const { return static_cast<bool>(Handler_); }
    template <class... Args>
    void operator()(Args&&... args) const
    {
        Handler_(std::forward<Args>(args)...);
    }

private:
    TCustomComPort& Port_;
    TComEvent Event_;
    F Handler_;
};

// The serial port component: a complete set of line settings, the open and close sequences,
// blocking reads and writes bounded by the time-outs, and, while open, an event thread whose line
// events are handled in the thread the port lives in. Settings, open and close belong to that
// thread; WriteText, ReadText, PurgeBuffers and PendingInputCount may run on one other thread at a
// time (the caller serialises exchanges). Driver failures raise EComPort.
class TCustomComPort : public QObject
{
public:
    using TNotifyEvent = std::function<void(TCustomComPort* sender)>;
    using TRxCharEvent = std::function<void(TCustomComPort* sender, int count)>;
    using TComSignalEvent = std::function<void(TCustomComPort* sender, bool onOff)>;
    using TComErrorEvent = std::function<void(TCustomComPort* sender, TComErrors errors)>;

    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // The component name; the transmitter's settings section is named after it.
    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }

    bool Connected() const { return Connected_; }
    // True runs the open sequence, false the close sequence.
    void SetConnected(bool connected);
    // The device of the open port went away (unplugged, hung up): nothing reaches the line until
    // Reconnect brings it back; the port stays open for its owner. Any thread may ask; it is true
    // from the moment a transfer or the event thread sees the device gone.
    bool DeviceAway() const { return Away_ || Line_.Vanished(); }
    // Opens the device of a port whose device went away again, under the path it comes back by,
    // with every setting; the event thread runs again. False while it is still away.
    bool Reconnect();
    // Where Reconnect looks for the device, whether that is its stable link, and the adapter it
    // was at its last open (empty when not on USB).
    QString ReturnPath() const { return Line_.ReturnPath(); }
    bool ReturnsByLink() const { return Line_.ReturnsByLink(); }
    TUsbIdentity OpenedIdentity() const { return Line_.OpenedIdentity(); }
    const QString& Port() const { return Port_; }
    // A different name (compared exactly) while open closes and reopens under it.
    void SetPort(const QString& port);
    TBaudRate BaudRate() const { return BaudRate_; }
    void SetBaudRate(TBaudRate rate);
    // Used only with brCustom.
    int CustomBaudRate() const { return CustomBaudRate_; }
    void SetCustomBaudRate(int rate);
    TDataBits DataBits() const { return DataBits_; }
    void SetDataBits(TDataBits bits);
    TStopBits StopBits() const { return StopBits_; }
    void SetStopBits(TStopBits bits);
    bool DiscardNull() const { return DiscardNull_; }
    void SetDiscardNull(bool discard);
    std::uint8_t EventChar() const { return EventChar_; }
    void SetEventChar(std::uint8_t eventChar);
    // Takes effect at the next open.
    TComEvents Events() const { return Events_; }
    void SetEvents(TComEvents events) { Events_ = events; }
    TSyncMethod SyncMethod() const { return SyncMethod_; }
    // Refused with number 14 while open.
    void SetSyncMethod(TSyncMethod method);

    TComBuffer& Buffer() { return Buffer_; }
    const TComBuffer& Buffer() const { return Buffer_; }
    TComParity& Parity() { return Parity_; }
    const TComParity& Parity() const { return Parity_; }
    TComTimeouts& Timeouts() { return Timeouts_; }
    const TComTimeouts& Timeouts() const { return Timeouts_; }
    TComFlowControl& FlowControl() { return FlowControl_; }
    const TComFlowControl& FlowControl() const { return FlowControl_; }

    // Pairs may nest; the last ResumeApply applies everything at once.
    void SuspendApply() { ++ApplySuspended_; }
    void ResumeApply();
    // Each does nothing unless the port is open and applying is not suspended.
    virtual void ApplyAllSettings();
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

    // Bytes written; nothing is sent for empty data.
    int WriteText(const QByteArray& data);
    // Reads up to count bytes by the time-out rules, waiting at least as floor says; data holds
    // exactly the bytes read.
    int ReadText(QByteArray& data, int count, const TReadFloor& floor = {});
    // The halves of WriteText and ReadText: bytes moved at once, then bytes moved in all.
    int StartWrite(const char* buffer, int count, TTransferRecord* record);
    int StartRead(char* buffer, int count, TTransferRecord* record);
    int AwaitTransfer(TTransferRecord* record);
    void PurgeBuffers(bool input, bool output);
    // Drops input until the line has been quiet for the read limit of a count-byte read (no less
    // than floor), at most cap, counting from quietSince when nothing has come since. Number 4
    // when the line keeps talking or the wait fails.
    void AwaitSilence(int count, std::chrono::milliseconds floor, std::chrono::steady_clock::time_point quietSince,
                      std::chrono::milliseconds cap);
    // Ends every pending read and write; their waiters raise number 2 or 3.
    void AbortTransfers();
    int PendingInputCount();
    // Tells one open of the device from another, of this port or any other; 0 while closed.
    std::uint64_t OpenSerial() const { return Line_.OpenSerial(); }
    // Reads and clears the line errors; a device that went away shows as ceIO.
    TComErrors TakeLineErrors();
    // TModemLine bits; all off on a device without modem lines.
    std::uint8_t ModemLineStates();
    // Runs the port setup dialog when one is bound.
    void ShowSetup();

    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnAfterClose;
    // In the port's thread, once the device has gone away and the port has let go of it.
    TNotifyEvent OnDeviceLost;
    TLineEvent<TRxCharEvent> OnRxChar{*this, evRxChar};
    TLineEvent<TNotifyEvent> OnTxEmpty{*this, evTxEmpty};
    TLineEvent<TNotifyEvent> OnBreak{*this, evBreak};
    TLineEvent<TNotifyEvent> OnRing{*this, evRing};
    TLineEvent<TNotifyEvent> OnRxFlag{*this, evRxFlag};
    TLineEvent<TNotifyEvent> OnRx80Full{*this, evRx80Full};
    TLineEvent<TComSignalEvent> OnCTSChange{*this, evCTS};
    TLineEvent<TComSignalEvent> OnDSRChange{*this, evDSR};
    TLineEvent<TComSignalEvent> OnRLSDChange{*this, evRLSD};
    TLineEvent<TComErrorEvent> OnError{*this, evError};

    // The line events that have a handler; the others never reach the port's thread, nor the
    // Do... operations below.
    TComEvents ListenedEvents() const { return TComEvents::FromBits(Listened_.load()); }

protected:
    virtual void OpenDevice();
    virtual void CloseDevice();

    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoDeviceLost();
    virtual void DoRxChar(int count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool onOff);
    virtual void DoDSRChange(bool onOff);
    virtual void DoError(TComErrors errors);
    virtual void DoRLSDChange(bool onOff);
    virtual void DoRx80Full();

private:
    friend class TComThread;
    friend void ListenLineEvent(TCustomComPort& port, TComEvent event, bool on);

    // Marks the event listened to or not; the event thread picks the change up at once.
    void Listen(TComEvent event, bool on);

    void Open();
    void Close();
    // The port's thread learns that the device went away: the descriptor is let go at once, so
    // that an adapter plugged in again gets its old name back.
    void LoseDevice();
    void StartEventThread();
    bool Applying() const { return Connected_ && ApplySuspended_ == 0; }
    // One event set, in the fixed order; only while the port is open.
    void HandleEvents(TComEvents events);

    bool Connected_ = false;
    QString Port_ = QStringLiteral("COM1");
    TBaudRate BaudRate_ = br9600;
    int CustomBaudRate_ = 9600;
    TDataBits DataBits_ = dbEight;
    TStopBits StopBits_ = sbOneStopBit;
    bool DiscardNull_ = false;
    std::uint8_t EventChar_ = 0;
    TComEvents Events_ = kAllComEvents;
    TSyncMethod SyncMethod_ = smThreadSync;
    TComBuffer Buffer_{*this};
    TComParity Parity_{*this};
    TComTimeouts Timeouts_{*this};
    TComFlowControl FlowControl_{*this};
    int ApplySuspended_ = 0;
    TSerialLine Line_;
    std::unique_ptr<TComThread> Thread_;
    std::atomic<std::uint16_t> Listened_{0};
    std::atomic<bool> Away_{false};
    // Lives in the port's thread: the line's news of a lost device is handled there.
    TPostedCalls Calls_;
};

// The same component with everything public; the transmitter derives from it.
class TComPort : public TCustomComPort
{
public:
    using TCustomComPort::TCustomComPort;
};

// The port setup dialog lives with the windows; it binds itself here. Returns the previous one.
using TRunPortSetupDialog = std::function<void(TCustomComPort& port)>;
TRunPortSetupDialog SetRunPortSetupDialog(TRunPortSetupDialog run);
