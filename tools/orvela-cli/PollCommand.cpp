#include "PollCommand.h"
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
#include "transport/ComPort.h"
#include "transport/PortWatch.h"
#include "transport/TransmitterUnit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QTextStream>

namespace {

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
    return input.Title + QStringLiteral(": ") + input.OprosState.StateCaption() + QStringLiteral("; T: ") +
           sensors.join(u' ') + QStringLiteral("; уставка ") + input.TemperBound.ValueText() +
           QStringLiteral("; используется: ") + YesNoThreeStateTexts().value(enabled);
}

}  // namespace

int RunPoll(const TPollOptions& options)
{
    if (!OpenSession(options.Port)) {
        StopUnits();
        return 1;
    }
    HistoryStartup();
    TCustomTimer* timer = PollTimer();
    TRequestThread* thread = RequestThread();

    int cycles = 0;
    thread->OnCycle = [&cycles, &options, timer](TRequestThread* sender, const QString&) {
        // Only what this cycle read: a failed one leaves the last readings, which are not new.
        if (sender->GroupRead)
            RecordPolledGroup(*Vantor(), sender->Group, QDateTime::currentMSecsSinceEpoch());
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
    // An unplugged adapter holds the poll until it is back; the operator hears of both.
    TPortWatch* watch = PortWatch();
    if (watch) {
        watch->OnVanish = [](TCustomComPort* port) { PrintError(PortVanishedText(port->Port())); };
        watch->OnReturn = [](TCustomComPort* port) { PrintError(PortReturnedText(port->Port())); };
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

    QTextStream out(stdout);
    out << Vantor()->Title << QStringLiteral(": ") << Vantor()->ModuleError.StateCaption() << u'\n';
    for (int n = 1; n <= vantor::kInputCount; ++n)
        out << InputLine(Vantor()->Input(n)) << u'\n';
    out.flush();
    thread->OnCycle = nullptr;
    if (watch) {
        watch->OnVanish = nullptr;
        watch->OnReturn = nullptr;
    }
    HistoryShutdown();
    StopUnits();
    return interrupted ? kInterruptedExit : 0;
}
