#include "transport/ComPort.h"

#include "transport/ComThread.h"
#include "transport/DeviceControlBlock.h"
#include "transport/EComPort.h"

namespace {

TRunPortSetupDialog& PortSetupDialog()
{
    static TRunPortSetupDialog run;
    return run;
}

std::uint32_t DriverTimeout(std::int32_t value)
{
    return static_cast<std::uint32_t>(value);  // -1 is the driver's largest value
}

}  // namespace

TRunPortSetupDialog SetRunPortSetupDialog(TRunPortSetupDialog run)
{
    std::swap(PortSetupDialog(), run);
    return run;
}

TCustomComPort::TCustomComPort(QObject* owner) : QObject(owner)
{
    Line_.SetGoneHook([this] { Calls_.Post([this] { LoseDevice(); }); });
}

TCustomComPort::~TCustomComPort()
{
    try {
        Close();
    } catch (...) {
        // Nothing is left to report to.
    }
}

void TCustomComPort::SetConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

void TCustomComPort::Open()
{
    if (Connected_)
        return;
    DoBeforeOpen();
    OpenDevice();
    // Open before the settings go out: applying acts only on an open port.
    Connected_ = true;
    try {
        ApplyAllSettings();
        StartEventThread();
    } catch (...) {
        CloseDevice();
        Connected_ = false;
        throw;
    }
    DoAfterOpen();
    DoCTSChange(ModemLineStates() & mlCTS);
    DoDSRChange(ModemLineStates() & mlDSR);
    DoRLSDChange(ModemLineStates() & mlRLSD);
}

void TCustomComPort::Close()
{
    if (!Connected_)
        return;
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    AbortTransfers();
    if (Thread_) {
        Thread_->Stop();
        Thread_.reset();
    }
    CloseDevice();
    Connected_ = false;
    Away_ = false;
    DoAfterClose();
}

void TCustomComPort::StartEventThread()
{
    if (!Events_.Empty())
        Thread_ = std::make_unique<TComThread>(*this, Line_, Events_, SyncMethod_);
}

void TCustomComPort::LoseDevice()
{
    // News of an earlier open, or of a device already let go, is stale.
    if (!Connected_ || Away_ || !Line_.Vanished())
        return;
    // Before the transfers are ended: the exchange that fails now is known to have met a lost
    // device.
    Away_ = true;
    AbortTransfers();
    if (Thread_) {
        Thread_->Stop();
        Thread_.reset();
    }
    // The event thread's report of the loss was given up with it: a listener of line errors
    // still hears of it, as of any line error.
    if (Events_.Contains(evError) && ListenedEvents().Contains(evError)) {
        try {
            if (const TComErrors errors = TakeLineErrors(); !errors.Empty())
                DoError(errors);
        } catch (...) {
        }
    }
    CloseDevice();
    try {
        DoDeviceLost();
    } catch (...) {
        // The port is let go whatever the subscriber does.
    }
}

bool TCustomComPort::Reconnect()
{
    if (!Connected_ || !Away_)
        return false;
    if (Line_.Open(Line_.ReturnPath()) != 0)
        return false;
    try {
        ApplyAllSettings();
        StartEventThread();
    } catch (...) {
        CloseDevice();
        return false;
    }
    Away_ = false;
    return true;
}

void TCustomComPort::Listen(TComEvent event, bool on)
{
    const auto bit = static_cast<std::uint16_t>(1U << event);
    const std::uint16_t before = on ? Listened_.fetch_or(bit) : Listened_.fetch_and(static_cast<std::uint16_t>(~bit));
    if (Thread_ && ((before & bit) != 0) != on)
        Thread_->Relisten();
}

void ListenLineEvent(TCustomComPort& port, TComEvent event, bool on)
{
    port.Listen(event, on);
}

void TCustomComPort::OpenDevice()
{
    if (const int error = Line_.Open(Port_))
        throw EComPort(ecOpen, error);
}

void TCustomComPort::CloseDevice()
{
    Line_.Close();
}

void TCustomComPort::SetPort(const QString& port)
{
    if (port == Port_)
        return;
    Port_ = port;
    if (Connected_) {
        Close();
        Open();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate rate)
{
    if (rate == BaudRate_)
        return;
    BaudRate_ = rate;
    ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(int rate)
{
    if (rate == CustomBaudRate_)
        return;
    CustomBaudRate_ = rate;
    ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits bits)
{
    if (bits == DataBits_)
        return;
    DataBits_ = bits;
    ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits bits)
{
    if (bits == StopBits_)
        return;
    StopBits_ = bits;
    ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool discard)
{
    if (discard == DiscardNull_)
        return;
    DiscardNull_ = discard;
    ApplyLineSettings();
}

void TCustomComPort::SetEventChar(std::uint8_t eventChar)
{
    if (eventChar == EventChar_)
        return;
    EventChar_ = eventChar;
    ApplyLineSettings();
}

void TCustomComPort::SetSyncMethod(TSyncMethod method)
{
    if (method == SyncMethod_)
        return;
    if (Connected_)
        throw EComPort(ecConnectedProperty);
    SyncMethod_ = method;
}

void TCustomComPort::ResumeApply()
{
    if (ApplySuspended_ == 0)
        return;
    if (--ApplySuspended_ == 0)
        ApplyAllSettings();
}

void TCustomComPort::ApplyAllSettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::ApplyLineSettings()
{
    if (!Applying())
        return;
    if (const int error = Line_.SetControlBlock(MakeDeviceControlBlock(*this)))
        throw EComPort(ecLineSettings, error);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!Applying())
        return;
    Line_.SetTimeouts({DriverTimeout(Timeouts_.ReadInterval()), DriverTimeout(Timeouts_.ReadTotalMultiplier()),
                       DriverTimeout(Timeouts_.ReadTotalConstant()), DriverTimeout(Timeouts_.WriteTotalMultiplier()),
                       DriverTimeout(Timeouts_.WriteTotalConstant())});
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!Applying())
        return;
    if (const int error = Line_.SetQueueSizes(Buffer_.InputSize(), Buffer_.OutputSize()))
        throw EComPort(ecBufferSizes, error);
}

int TCustomComPort::WriteText(const QByteArray& data)
{
    TTransferRecord record;
    if (data.isEmpty())
        return 0;
    StartWrite(data.constData(), static_cast<int>(data.size()), &record);
    return AwaitTransfer(&record);
}

int TCustomComPort::ReadText(QByteArray& data, int count, const TReadFloor& floor)
{
    data.clear();
    if (count <= 0)
        return 0;
    TTransferRecord record;
    record.SetReadFloor(floor);
    try {
        data.resize(count);
        StartRead(data.data(), count, &record);
        data.resize(AwaitTransfer(&record));
    } catch (...) {
        data.clear();
        throw;
    }
    return static_cast<int>(data.size());
}

int TCustomComPort::StartWrite(const char* buffer, int count, TTransferRecord* record)
{
    if (!record)
        throw EComPort(ecAsyncParameter);
    // The buffer is only read from.
    if (const int error = Line_.Start(*record, TTransferRecord::tkWrite, const_cast<char*>(buffer), count))
        throw EComPort(ecWrite, error);
    return static_cast<int>(record->Done());
}

int TCustomComPort::StartRead(char* buffer, int count, TTransferRecord* record)
{
    if (!record)
        throw EComPort(ecAsyncParameter);
    if (const int error = Line_.Start(*record, TTransferRecord::tkRead, buffer, count))
        throw EComPort(ecRead, error);
    return static_cast<int>(record->Done());
}

int TCustomComPort::AwaitTransfer(TTransferRecord* record)
{
    if (!record)
        throw EComPort(ecAsyncParameter);
    const bool reading = record->Kind() == TTransferRecord::tkRead;
    if (const int error = Line_.Await(*record))
        throw EComPort(reading ? ecRead : ecWrite, error);
    if (reading)
        PendingInputCount();
    return static_cast<int>(record->Done());
}

void TCustomComPort::PurgeBuffers(bool input, bool output)
{
    if (const int error = Line_.Purge(input, output))
        throw EComPort(ecPurge, error);
}

void TCustomComPort::AwaitSilence(int count, std::chrono::milliseconds floor,
                                  std::chrono::steady_clock::time_point quietSince, std::chrono::milliseconds cap)
{
    TTransferRecord record;
    if (const int error = Line_.AwaitSilence(record, count, floor, quietSince, cap))
        throw EComPort(ecRead, error);
}

void TCustomComPort::AbortTransfers()
{
    Line_.AbortTransfers();
}

int TCustomComPort::PendingInputCount()
{
    int count = 0;
    if (const int error = Line_.PendingInput(count))
        throw EComPort(ecLineStatus, error);
    return count;
}

TComErrors TCustomComPort::TakeLineErrors()
{
    TComErrors errors;
    if (const int error = Line_.TakeErrors(errors, Parity_.Check()))
        throw EComPort(ecLineStatus, error);
    return errors;
}

std::uint8_t TCustomComPort::ModemLineStates()
{
    std::uint8_t lines = 0;
    if (const int error = Line_.ModemLines(lines))
        throw EComPort(ecModemStatus, error);
    return lines;
}

void TCustomComPort::ShowSetup()
{
    if (const TRunPortSetupDialog& run = PortSetupDialog())
        run(*this);
}

void TCustomComPort::HandleEvents(TComEvents delivered)
{
    // A handler cleared after the event thread sent the set gets nothing more.
    const TComEvents events = TComEvents::FromBits(delivered.Bits() & Listened_.load());
    // A subscriber may close the port in the middle of a set; what follows is then dropped. A
    // failing query or subscriber costs only its own event.
    const auto handle = [&](TComEvent event, const auto& action) {
        if (!events.Contains(event) || !Connected_)
            return;
        try {
            action();
        } catch (...) {
        }
    };
    handle(evError, [&] {
        if (const TComErrors errors = TakeLineErrors(); !errors.Empty())
            DoError(errors);
    });
    handle(evRxChar, [&] {
        if (const int count = PendingInputCount(); count > 0)
            DoRxChar(count);
    });
    handle(evTxEmpty, [&] { DoTxEmpty(); });
    handle(evBreak, [&] { DoBreak(); });
    handle(evRing, [&] { DoRing(); });
    handle(evCTS, [&] { DoCTSChange(ModemLineStates() & mlCTS); });
    handle(evDSR, [&] { DoDSRChange(ModemLineStates() & mlDSR); });
    handle(evRxFlag, [&] { DoRxFlag(); });
    handle(evRLSD, [&] { DoRLSDChange(ModemLineStates() & mlRLSD); });
    handle(evRx80Full, [&] { DoRx80Full(); });
}

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoDeviceLost() { if (OnDeviceLost) OnDeviceLost(this); }
void TCustomComPort::DoRxChar(int count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(this, errors); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }
