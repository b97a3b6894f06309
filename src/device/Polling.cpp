#include "device/Polling.h"

#include "common/OperatorMessage.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/RequestThread.h"
#include "device/UiThreadWait.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <memory>

std::atomic<bool> PollSettings{true};

namespace {

std::unique_ptr<TRequestThread> requestThread;
std::unique_ptr<TCustomTimer> pollTimer;
// UI thread: the operator has been told why the poll holds.
bool holdTold = false;

}  // namespace

TRequestThread* RequestThread()
{
    return requestThread.get();
}

TCustomTimer* PollTimer()
{
    return pollTimer.get();
}

void PollingStartup()
{
    try {
        PollSettings = true;
        requestThread = std::make_unique<TRequestThread>();
        pollTimer = std::make_unique<TCustomTimer>();
        pollTimer->Name = QStringLiteral("ctReqDevices");
        pollTimer->LoadFromIni();
    } catch (...) {
        // The program runs without polling rather than not at all.
    }
}

void PollingShutdown()
{
    try {
        pollTimer.reset();
    } catch (...) {
        // The thread must end all the same.
    }
    if (!requestThread)
        return;
    try {
        requestThread->RequestStop();
        // An exchange in flight ends now rather than at its read limit.
        if (TTransmitter* transmitter = Transmitter())
            transmitter->AbortTransfers();
        requestThread->Terminate();
        requestThread.reset();
    } catch (const std::exception& e) {
        // A worker that cannot be joined is left behind rather than destroyed under its feet.
        (void)requestThread.release();
        ShowDiagnostic(QStringLiteral("uRequestDevices.Final - уничтожить поток опроса"), QString::fromStdString(e.what()));
    }
}

bool PollTick(TCustomTimer* timer)
{
    // The window serves its timers while a command waits for the line; a cycle started then
    // would run behind the command what the command's outcome may forbid (another controller
    // found after a return stops polling). The tick is lost, as one during a cycle is.
    if (UiThreadWaiting())
        return false;
    if (!PollHeldReason().isEmpty()) {
        const bool first = !holdTold;
        holdTold = true;
        return first;
    }
    holdTold = false;
    timer->SetSuspended(true);
    if (requestThread) {
        // While the line is away the worker sends nothing; the tick still counts as a cycle
        // without an answer, so what is shown stops passing for current.
        if (DeviceAway() && !requestThread->Busy()) {
            if (TVantor* vantor = Vantor())
                vantor->RegisterLineAway();
        } else {
            requestThread->Resume();
        }
    }
    timer->SetSuspended(false);
    return false;
}

QString PollHeldReason()
{
    return AddressRefuses(cmdGeneralInfo) ? AddressUnsetText() : QString();
}

bool ResumePolling()
{
    holdTold = false;
    if (TVantor* vantor = Vantor())
        vantor->CurrentInput = vantor::kInputCount;
    if (!pollTimer)
        return false;
    pollTimer->Start();
    return PollTick(pollTimer.get());
}

bool SameControllerAfterReturn(quint16& expected, quint16& found)
{
    TVantor* vantor = Vantor();
    if (!vantor || !vantor->PlantNumberRead)
        return true;
    expected = vantor->PlantNumber;
    try {
        if (!ExecuteCommand(cmdSignature1))
            return true;
    } catch (...) {
        return true;
    }
    found = vantor->PlantNumber;
    if (found == expected)
        return true;
    if (pollTimer)
        pollTimer->Stop();
    // Its answer was a good one, but what the rows show came from the other controller.
    vantor->SetInputsStale(true);
    return false;
}

QString OtherControllerText(const QString& title, quint16 expected, quint16 found)
{
    return title + QStringLiteral(": отвечает другой прибор (зав. № ") + QString::number(found) +
           QStringLiteral(" вместо ") + QString::number(expected) + QStringLiteral("), опрос остановлен");
}
