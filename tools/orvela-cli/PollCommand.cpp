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
#include "publish/Publisher.h"
#include "publish/PublishUnit.h"
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

}  // namespace

int RunPoll(const TPollOptions& options)
{
    if (!OpenSession(options.Port)) {
        StopUnits();
        return 1;
    }
    HistoryStartup(PublishingEnabled());
    PublishStartup();
    if (TPublisher* publisher = Publisher())
        publisher->OnState = BrokerStateLine;
    TCustomTimer* timer = PollTimer();
    TRequestThread* thread = RequestThread();

    int cycles = 0;
    thread->OnCycle = [&cycles, &options, timer](TRequestThread*, const QString&) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        RecordPolledGroup(*Vantor(), now);
        PublishPolledGroup(*Vantor(), now);
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
    // The history writes its last batch before the publisher's final pass sends it.
    HistoryShutdown();
    PublishShutdown();
    StopUnits();
    return interrupted ? kInterruptedExit : 0;
}
