#include "PollCommand.h"
#include "StopSignals.h"

#include "device/DisplayTables.h"
#include "device/PollTimer.h"
#include "device/Exchange.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTextStream>

namespace {

constexpr int kCyclesPerRound = vantor::kInputCount / vantor::kGroupSize;
// The shell's code for a program ended by SIGINT.
constexpr int kInterruptedExit = 130;
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
    return input.Title + QStringLiteral(": ") + input.OprosState.StateCaption() + QStringLiteral("; T: ") +
           sensors.join(u' ') + QStringLiteral("; уставка ") + input.TemperBound.ValueText() +
           QStringLiteral("; используется: ") + YesNoThreeStateTexts().value(enabled);
}

}  // namespace

int RunPoll(const TPollOptions& options)
{
    StartUnits();
    LogRadix = 10;
    // As the program does when its window is shown: the markers come before any exchange line.
    if (TLog* log = EventLog())
        log->WriteStart();
    if (TAlarm* alarm = AlarmLog())
        alarm->WriteStart();
    TTransmitter* transmitter = Transmitter();
    TCustomTimer* timer = PollTimer();
    TRequestThread* thread = RequestThread();
    if (!Vantor() || !transmitter || !timer || !thread) {
        StopUnits();
        QTextStream(stderr) << QStringLiteral("Не удалось запустить опрос\n");
        return 1;
    }
    if (options.Port)
        transmitter->SetPort(*options.Port);
    if (!transmitter->ActivatePort()) {
        QTextStream(stderr) << QStringLiteral("Порт %1 не открыт\n").arg(transmitter->Port());
        StopUnits();
        return 1;
    }

    int cycles = 0;
    thread->OnCycle = [&cycles, &options, timer](TRequestThread*, const QString&) {
        if (++cycles < options.Rounds * kCyclesPerRound)
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

    QTextStream out(stdout);
    out << Vantor()->Title << QStringLiteral(": ") << Vantor()->ModuleError.StateCaption() << u'\n';
    for (int n = 1; n <= vantor::kInputCount; ++n)
        out << InputLine(Vantor()->Input(n)) << u'\n';
    out.flush();
    thread->OnCycle = nullptr;
    StopUnits();
    return interrupted ? kInterruptedExit : 0;
}
