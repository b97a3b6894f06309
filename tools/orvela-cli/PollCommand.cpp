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
#include "station/Station.h"
#include "station/StationUnits.h"

#include <QCoreApplication>
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
// SIGINT, SIGTERM or SIGHUP came.
bool Interrupted = false;

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

int RunPoll(const TPollOptions& options)
{
    if (!OpenSession(options.Port) || !AddressSet()) {
        StopUnits();
        return 1;
    }
    StartRecording();
    TCustomTimer* timer = PollTimer();
    if (options.Interval)
        timer->SetInterval(*options.Interval);
    TRequestThread* thread = RequestThread();
    int result = 0;
    {
        // The station without a screen: it knows its controller from the start, and the operator
        // hears at once of the port, another controller and the broker.
        TStation station({.ReadSignature = true});
        station.OnNotice = PrintError;
        int cycles = 0;
        station.OnCycle = [&cycles, &options, timer](const TRequestThread&) {
            // Without a number of rounds the poll goes on until it is stopped (a station's service).
            if (options.Rounds == 0 || ++cycles < options.Rounds * kCyclesPerRound)
                return;
            timer->Stop();
            QCoreApplication::quit();
        };
        station.OnOtherController = [&result] {
            result = 1;
            QCoreApplication::quit();
        };
        WatchStopSignals(QCoreApplication::instance(), [] {
            Interrupted = true;
            // The watch outlives the units: a late signal finds no timer.
            if (TCustomTimer* running = PollTimer())
                running->Stop();
            QCoreApplication::quit();
        });
        station.ResumePolling();
        QCoreApplication::exec();
        if (Interrupted) {
            result = kInterruptedExit;
            // The exchange on the line ends by its own limit; its answer is not decoded any more.
            thread->RequestStop();
            QDeadlineTimer deadline(kStopLimitMs);
            while (thread->Busy() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        PrintInputs(*Vantor(), options.Json);
    }
    StopStationUnits();
    return result;
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
