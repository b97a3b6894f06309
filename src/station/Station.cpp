#include "station/Station.h"

#include "common/OperatorMessage.h"
#include "common/ProgramFolder.h"
#include "device/Exchange.h"
#include "device/Operations.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryOutbox.h"
#include "history/HistoryStore.h"
#include "history/HistoryUnit.h"
#include "history/RiseMonitor.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "publish/AlarmTracker.h"
#include "publish/Publisher.h"
#include "publish/PublishUnit.h"
#include "station/AlarmLines.h"
#include "transport/ComPort.h"
#include "transport/PortWatch.h"
#include "transport/TransmitterUnit.h"

#include <QDateTime>
#include <QTimer>

namespace {

// While the controller does not give its signature, it is asked again at most once a minute.
constexpr qint64 kSignatureRetryMs = 60'000;
constexpr double kHoursPerDay = 24;

// The events on the broker say what the alarm log says.
const TAlarmTexts kAlarmTexts{&ModuleErrorLine, &ErrorCodeLine, &InputStateLine, &SensorStateLine,
                              &SensorStateText};

qint64 Now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

const TVantorInput* InputOrNull(int n)
{
    const TVantor* vantor = Vantor();
    return vantor && n >= 1 && n <= vantor::kInputCount ? &vantor->Input(n) : nullptr;
}

// With its identity, so that the outbox keeps the alarms active beside it.
void Send(TPublisher& publisher, const TAlarmEvent& e)
{
    publisher.AddAlarmEvent(e.Time, e.ToJson(), e.Id, e.Active);
}

}  // namespace

TStation::TStation() : TStation(TOptions{}) {}

TStation::TStation(TOptions options) : Options_(options)
{
    RiseMonitor_ = std::make_unique<TRiseMonitor>(
        HistoryPath(), ReadRiseSettings(ProgramFolder() + QStringLiteral("INI/VANTOR.ini")));
    RiseMonitor_->OnRise = [this](int n, int sensor, double rate) { RiseChanged(n, sensor, true, rate); };
    RiseMonitor_->OnRiseEnd = [this](int n, int sensor, std::optional<double> rate) {
        RiseChanged(n, sensor, false, rate);
    };
    RiseMonitor_->OnChecked = [this](int n) { RiseChecked(n); };
    AttachUnits();
}

TStation::~TStation()
{
    DetachUnits();
    // Its answers still on their way are dropped with it.
    RiseMonitor_.reset();
}

void TStation::AttachUnits()
{
    if (TVantor* vantor = Vantor())
        AttachModel(*vantor);
    if (TPortWatch* watch = PortWatch()) {
        watch->OnVanish = [this](TCustomComPort* port) { PortVanished(port); };
        watch->OnReturn = [this](TCustomComPort* port) { PortReturned(port); };
        watch->OnWait = [this](TCustomComPort*, const QString& why) { PortWaiting(why); };
    }
    if (TRequestThread* thread = RequestThread())
        thread->OnCycle = [this](TRequestThread* sender, const QString&) { CycleDone(*sender); };
    if (TCustomTimer* timer = PollTimer())
        timer->OnTimer = [this](TCustomTimer* sender) { PollTick(sender); };
    BindPublisher();
}

void TStation::DetachUnits()
{
    // The cycle in flight ends without reaching the station.
    if (TRequestThread* thread = RequestThread())
        thread->OnCycle = nullptr;
    if (TCustomTimer* timer = PollTimer())
        timer->OnTimer = nullptr;
    if (TVantor* vantor = Vantor())
        DetachModel(*vantor);
    if (TPortWatch* watch = PortWatch()) {
        watch->OnVanish = nullptr;
        watch->OnReturn = nullptr;
        watch->OnWait = nullptr;
    }
    if (TPublisher* publisher = Publisher())
        publisher->OnState = nullptr;
}

void TStation::AttachModel(TVantor& vantor)
{
    // A line that cannot be made is left out: the exchange that changed the value goes on.
    const auto write = [this](auto line) {
        try {
            Write(line());
        } catch (...) {
        }
    };
    vantor.ModuleError.OnChange = [this](TIOData*) {
        try {
            if (const TVantor* v = Vantor())
                Write(ModuleErrorLine(*v));
        } catch (...) {
            ShowDiagnostic(QStringLiteral("Функция"), QStringLiteral("VANTOROnModuleError"));
        }
    };
    vantor.Error.OnChange = [write](TIOData*) {
        write([] { return Vantor() ? ErrorCodeLine(*Vantor()) : QString(); });
    };
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        TVantorInput& input = vantor.Input(n);
        input.OprosState.OnChange = [write, n](TIOData*) {
            write([n] { return InputOrNull(n) ? InputStateLine(*InputOrNull(n)) : QString(); });
        };
        for (int i = 1; i <= kSensorCount; ++i)
            input.TemperState[i - 1].OnChange = [write, n, i](TIOData*) {
                write([n, i] { return InputOrNull(n) ? SensorStateLine(*InputOrNull(n), i) : QString(); });
            };
    }
    vantor.OnPlantNumberChange = [write](TVantor*, int n, quint16 was, quint16 now) {
        write([=] { return InputOrNull(n) ? PlantNumberChangeLine(*InputOrNull(n), was, now) : QString(); });
    };
}

void TStation::DetachModel(TVantor& vantor)
{
    vantor.ModuleError.OnChange = nullptr;
    vantor.Error.OnChange = nullptr;
    vantor.OnPlantNumberChange = nullptr;
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        TVantorInput& input = vantor.Input(n);
        input.OprosState.OnChange = nullptr;
        for (TIOStates& state : input.TemperState)
            state.OnChange = nullptr;
    }
}

void TStation::BindPublisher()
{
    TPublisher* publisher = Publisher();
    BrokerOffline_ = false;
    if (!publisher) {
        Tracker_.reset();
        return;
    }
    Tracker_ = std::make_unique<TAlarmTracker>(kAlarmTexts, publisher->Settings().Station);
    // The alarms the station left running: each ends, goes on or changes as the poll reads it.
    THistoryOutbox outbox;
    if (outbox.Open(HistoryPath()))
        Tracker_->Restore(outbox.ActiveAlarms());
    publisher->OnState = [this](TBrokerState state, const QString& reason) { BrokerState(state, reason); };
}

void TStation::PublishingRestarted()
{
    BindPublisher();
}

void TStation::CycleDone(const TRequestThread& thread)
{
    try {
        if (TVantor* vantor = Vantor()) {
            const qint64 now = Now();
            PublishPolledGroup(*vantor, thread.Group, thread.GroupRead, now);
            PublishAlarms(*vantor, thread.Group, thread.GroupRead, now);
            // Readings of a failed cycle are the last ones again, not new ones.
            if (thread.GroupRead) {
                RecordPolledGroup(*vantor, thread.Group, now);
                // The monitor keeps each input to its own pace: a round of 48 cycles is far quicker.
                for (int n = std::max(thread.Group, 1);
                     n < thread.Group + vantor::kGroupSize && n <= vantor::kInputCount; ++n)
                    RiseMonitor_->Check(n);
                if (Options_.ReadSignature && !vantor->PlantNumberRead && now - SignatureTried_ >= kSignatureRetryMs) {
                    SignatureTried_ = now;
                    // After the cycle has let go of the line.
                    QTimer::singleShot(0, &Context_, [this] { ReadSignatureOnce(); });
                }
            }
        }
    } catch (...) {
        // The face draws the cycle whatever failed here.
    }
    if (OnCycle)
        OnCycle(thread);
}

void TStation::PublishAlarms(const TVantor& vantor, int g, bool groupRead, qint64 time)
{
    TPublisher* publisher = Publisher();
    if (!publisher || !Tracker_)
        return;
    // The controller's own state at every cycle: a silent line is an alarm too. Its inputs only
    // when the cycle read them.
    const int last = groupRead ? std::min(g + vantor::kGroupSize - 1, int(vantor::kInputCount)) : 0;
    for (const TAlarmEvent& e : Tracker_->Update(vantor, g, last, time))
        Send(*publisher, e);
    PublishActive(*publisher);
}

void TStation::PublishActive(TPublisher& publisher)
{
    if (Tracker_->TakeChanged())
        publisher.SetRetained(QStringLiteral("alarms/active"), Tracker_->ActivePayload());
}

void TStation::ResumePolling()
{
    if (Options_.ReadSignature && SignatureTried_ == 0)
        ReadSignatureOnce();
    if (::ResumePolling())
        PollHeld();
}

void TStation::ReadSignatureOnce()
{
    SignatureTried_ = Now();
    if (!PollHeldReason().isEmpty())
        return;
    try {
        // Unanswered, it proves nothing: the exchange state says so, and polling goes on.
        (void)ReadSignature();
    } catch (...) {
    }
}

void TStation::PollTick(TCustomTimer* timer)
{
    if (::PollTick(timer))
        PollHeld();
    // While the port's device is away a tick runs no cycle, but counts as one without an answer:
    // the broker hears of the controller's state all the same.
    TVantor* vantor = Vantor();
    if (vantor && DeviceAway()) {
        const qint64 now = Now();
        PublishPolledGroup(*vantor, 0, false, now);
        PublishAlarms(*vantor, 0, false, now);
    }
}

void TStation::PollHeld()
{
    const QString reason = PollHeldReason();
    if (const TVantor* vantor = Vantor())
        Write(PollHeldLine(vantor->Title, reason), true);
    if (OnPollHeld)
        OnPollHeld(reason);
}

void TStation::CommandFailed(int command)
{
    if (const TVantor* vantor = Vantor())
        Write(vantor->Title + u' ' + CommandFailure(command, QStringLiteral(": ")));
}

void TStation::PortVanished(TCustomComPort* port)
{
    Write(PortVanishedText(port->Port()), true);
    if (OnPortChange)
        OnPortChange();
}

void TStation::PortReturned(TCustomComPort* port)
{
    Write(PortReturnedText(port->Port()), true);
    if (OnPortChange)
        OnPortChange();
    quint16 expected = 0, found = 0;
    if (SameControllerAfterReturn(expected, found))
        return;
    if (const TVantor* vantor = Vantor())
        Write(OtherControllerText(vantor->Title, expected, found), true);
    if (OnOtherController)
        OnOtherController();
}

void TStation::PortWaiting(const QString& why)
{
    Write(why, true);
    if (OnPortWait)
        OnPortWait(why);
}

void TStation::BrokerState(TBrokerState state, const QString& reason)
{
    // One line when the broker is lost and one when it is back; retries between say nothing.
    const bool offline = state == TBrokerState::Offline;
    if (offline != BrokerOffline_ && state != TBrokerState::Connecting) {
        BrokerOffline_ = offline;
        Write(offline ? BrokerLostLine(reason) : BrokerBackLine(), true);
    }
    if (OnBrokerState)
        OnBrokerState(state, reason);
}

void TStation::RiseChanged(int n, int sensor, bool rising, std::optional<double> ratePerDay)
{
    const TVantorInput* input = InputOrNull(n);
    if (!input)
        return;
    const QString line = rising && ratePerDay ? SensorRiseLine(*input, sensor, *ratePerDay)
                                              : SensorRiseEndLine(*input, sensor);
    Write(line);
    PublishRise(n, sensor, rising, ratePerDay, line);
    if (OnRise)
        OnRise(n, sensor, rising);
}

void TStation::RiseChecked(int n)
{
    const TVantorInput* input = InputOrNull(n);
    if (!Tracker_ || !input)
        return;
    // Its end was not seen: no slope ends it, and the log said nothing of it in this run.
    for (int sensor : Tracker_->RisesBeside(n, RiseMonitor_->RisingMask(n)))
        PublishRise(n, sensor, false, std::nullopt, SensorRiseEndLine(*input, sensor));
}

void TStation::PublishRise(int n, int sensor, bool rising, std::optional<double> ratePerDay, const QString& line)
{
    TPublisher* publisher = Publisher();
    const TVantorInput* input = InputOrNull(n);
    if (!publisher || !Tracker_ || !input)
        return;
    const std::optional<double> perHour = ratePerDay ? std::optional<double>(*ratePerDay / kHoursPerDay) : std::nullopt;
    qint32 state = 0;
    input->TemperState[sensor - 1].GetOutValue().TryToInteger(state);
    if (const std::optional<TAlarmEvent> e = Tracker_->Rise(
            n, sensor, rising, perHour, RiseMonitor_->Settings().RatePerDay / kHoursPerDay, line, state, Now()))
        Send(*publisher, *e);
    PublishActive(*publisher);
}

void TStation::Write(const QString& line, bool notice)
{
    if (line.isEmpty())
        return;
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteLine(line);
    if (notice && OnNotice)
        OnNotice(line);
}
