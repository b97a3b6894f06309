#include "PollCommand.h"
#include "CommandLine.h"
#include "Session.h"

#include "common/StopSignals.h"
#include "device/DisplayTables.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "history/HistoryUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "publish/Publisher.h"
#include "publish/PublishUnit.h"
#include "transport/ComPort.h"
#include "transport/PortWatch.h"
#include "transport/TransmitterUnit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

#include <optional>

namespace {

struct TPollOptions
{
    int Rounds = 0;  // 0: until stopped
    std::optional<int> Interval;  // used for this run only, not saved
    std::optional<QString> Port;  // likewise
    bool Json = false;
};

// Scripts and tests may poll faster than the operator's prompt allows (300 ms), though never
// with a period so short that the timer alone would keep a core busy.
constexpr int kMinCliPollInterval = 10;
constexpr int kCyclesPerRound = vantor::kInputCount / vantor::kGroupSize;
// Longer than one exchange at the port's default read limit (640 ms).
constexpr int kStopLimitMs = 3000;

// "Вход 5: Норма; T: 25.0 -1.0 AAA7 ...; уставка 20.0; используется: Да"
QString InputLine(const TVantorInput& input)
{
    QStringList sensors;
    for (int i = 0; i < kSensorCount; ++i) {
        const TIOStates& state = input.TemperState[i];
        if (state.GetOutValue().ToInteger() == 1)
            sensors << QString::number(input.Temper[i].GetOutValue().ToDouble(), 'f', input.Temper[i].Description().Digits);
        else
            sensors << state.StateCaption();
    }
    const int enabled = input.ChannelEnabled.GetOutValue().ToInteger();
    return input.Title + QStringLiteral(": ") + input.ExchangeCaption() + QStringLiteral("; T: ") +
           sensors.join(u' ') + QStringLiteral("; уставка ") + input.TemperBound.ValueText() +
           QStringLiteral("; используется: ") + YesNoThreeStateTexts().value(enabled);
}

int Code(const TIOData& value)
{
    return value.GetOutValue().ToInteger();
}

// What the lines show, with the state codes beside their captions; a value never read is null.
QJsonObject InputJson(int n, const TVantorInput& input)
{
    QJsonArray sensors;
    for (int i = 0; i < kSensorCount; ++i) {
        const TIOStates& state = input.TemperState[i];
        sensors.append(QJsonObject{
            {"temperature", Code(state) == 1 ? QJsonValue(input.Temper[i].GetOutValue().ToDouble()) : QJsonValue()},
            {"state", Code(state)},
            {"stateText", state.StateCaption()}});
    }
    const int enabled = Code(input.ChannelEnabled);
    return QJsonObject{{"input", n},
                       {"state", Code(input.OprosState)},
                       {"stateText", input.OprosState.StateCaption()},
                       {"sensors", sensors},
                       {"bound", input.TemperBound.Value()},
                       {"enabled", enabled == tsUnknown ? QJsonValue() : QJsonValue(enabled == tsTrue)}};
}

void PrintInputs(const TVantor& vantor, bool json)
{
    if (json) {
        QJsonArray inputs;
        for (int n = 1; n <= vantor::kInputCount; ++n)
            inputs.append(InputJson(n, vantor.Input(n)));
        PrintJson(QJsonDocument(QJsonObject{
            {"controller", QJsonObject{{"title", vantor.Title},
                                       {"state", Code(vantor.ModuleError)},
                                       {"stateText", vantor.ModuleError.StateCaption()}}},
            {"inputs", inputs}}));
        return;
    }
    QTextStream out(stdout);
    out << vantor.Title << QStringLiteral(": ") << Printable(vantor.ModuleError.StateCaption()) << u'\n';
    for (int n = 1; n <= vantor::kInputCount; ++n)
        out << Printable(InputLine(vantor.Input(n))) << u'\n';
}

// One line when the broker is lost and one when it is back, whatever the retries between.
void BrokerStateLine(TBrokerState state, const QString& reason)
{
    static TBrokerState last = TBrokerState::Connecting;
    if (state == TBrokerState::Offline && last != TBrokerState::Offline)
        PrintError(QStringLiteral("Нет соединения с брокером MQTT: ") + reason);
    else if (state == TBrokerState::Online && last == TBrokerState::Offline)
        PrintError(QStringLiteral("Соединение с брокером MQTT восстановлено"));
    last = state;
}

int RunPoll(const TPollOptions& options)
{
    if (!OpenSession(options.Port) || !AddressSet()) {
        StopUnits();
        return 1;
    }
    HistoryStartup(PublishingEnabled());
    PublishStartup();
    if (TPublisher* publisher = Publisher())
        publisher->OnState = BrokerStateLine;
    TCustomTimer* timer = PollTimer();
    if (options.Interval)
        timer->SetInterval(*options.Interval);
    TRequestThread* thread = RequestThread();

    int cycles = 0;
    thread->OnCycle = [&cycles, &options, timer](TRequestThread* sender, const QString&) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        PublishPolledGroup(*Vantor(), sender->Group, sender->GroupRead, now);
        // Only what this cycle read: a failed one leaves the last readings, which are not new.
        if (sender->GroupRead)
            RecordPolledGroup(*Vantor(), sender->Group, now);
        // Without a number of rounds the poll goes on until it is stopped (a station's service).
        if (options.Rounds == 0 || ++cycles < options.Rounds * kCyclesPerRound)
            return;
        timer->Stop();
        QCoreApplication::quit();
    };
    bool interrupted = false;
    WatchStopSignals(QCoreApplication::instance(), [&interrupted, timer] {
        interrupted = true;
        timer->Stop();
        QCoreApplication::quit();
    });
    // An unplugged adapter holds the poll until it is back; the operator hears of both, and of
    // another adapter or another controller found in its place.
    bool otherController = false;
    TPortWatch* watch = PortWatch();
    if (watch) {
        watch->OnVanish = [](TCustomComPort* port) { PrintError(PortVanishedText(port->Port())); };
        watch->OnWait = [](TCustomComPort*, const QString& why) { PrintError(why); };
        watch->OnReturn = [&otherController](TCustomComPort* port) {
            PrintError(PortReturnedText(port->Port()));
            quint16 expected = 0, found = 0;
            if (SameControllerAfterReturn(expected, found))
                return;
            const QString line = OtherControllerText(Vantor()->Title, expected, found);
            PrintError(line);
            if (TAlarm* alarm = AlarmLog())
                alarm->WriteLine(line);
            otherController = true;
            QCoreApplication::quit();
        };
    }
    timer->OnTimer = PollTick;
    ResumePolling();
    QCoreApplication::exec();
    if (interrupted) {
        // The exchange on the line ends by its own limit; its answer is not decoded any more.
        thread->RequestStop();
        QDeadlineTimer deadline(kStopLimitMs);
        while (thread->Busy() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    PrintInputs(*Vantor(), options.Json);
    thread->OnCycle = nullptr;
    if (watch) {
        watch->OnVanish = nullptr;
        watch->OnWait = nullptr;
        watch->OnReturn = nullptr;
    }
    // The history writes its last batch before the publisher's final pass sends it.
    HistoryShutdown();
    PublishShutdown();
    StopUnits();
    return interrupted ? kInterruptedExit : otherController ? 1 : 0;
}

}  // namespace

int RunPollCommand(const QStringList& args)
{
    TCommandLine line(QStringLiteral("poll"), QStringLiteral("[--rounds N] [--interval MS] [--port PATH] [--json]"),
                      QStringLiteral("Опрашивать контроллер (и публиковать в MQTT, если включено) до остановки "
                                     "или N полных кругов (48 циклов), затем вывести все входы."));
    const QCommandLineOption rounds = line.Add({QStringLiteral("rounds")}, QStringLiteral("число кругов опроса, 1..1000"),
                                               QStringLiteral("N"));
    const QCommandLineOption interval =
        line.Add({QStringLiteral("interval")},
                 QStringLiteral("период опроса на этот запуск, мс, %1..%2; INI/Timer.ini не меняется")
                     .arg(kMinCliPollInterval)
                     .arg(kMaxPollInterval),
                 QStringLiteral("MS"));
    line.AddPort();
    const QCommandLineOption json = line.AddJson();
    if (const std::optional<int> done = line.Parse(args, 0, 0))
        return *done;
    TPollOptions options;
    // Without --rounds: until stopped.
    const std::optional<int> n = line.Number(rounds, 1, 1000, 0);
    if (!n)
        return kBadCommandLine;
    options.Rounds = *n;
    if (line.IsSet(interval)) {
        options.Interval = line.Number(interval, kMinCliPollInterval, kMaxPollInterval, std::nullopt);
        if (!options.Interval)
            return kBadCommandLine;
    }
    options.Port = line.Port();
    options.Json = line.IsSet(json);
    return RunPoll(options);
}
