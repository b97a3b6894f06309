#include "device/InputWrite.h"

#include "common/StopSignals.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/UiThreadWait.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

// Keeps windows drawn and closable while the loop waits between inputs. Once the application is
// told to exit every event loop returns at once; the controller still gets its whole pause.
void PauseProcessingEvents(int ms)
{
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    if (const qint64 left = deadline.remainingTime(); left > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
}

}  // namespace

double RoundToSixteenths(double degrees)
{
    return std::nearbyint(degrees * 16) / 16;
}

bool SetPointFits(double degrees)
{
    const double steps = std::nearbyint(degrees * 16);
    return steps >= -32768.0 && steps <= 32767.0;
}

bool WriteInputSettings(int number, const TInputSettings& settings, const QString& commandName)
{
    TVantor* vantor = Vantor();
    if (!vantor || number < 1 || number > vantor::kInputCount)
        return false;
    // Taken before CurrentInput changes: a poll exchange on the line ends first, and no cycle
    // starting meanwhile moves the input this command writes.
    const std::unique_lock lock = TakeExchangeLock();
    vantor->CurrentInput = static_cast<quint8>(number);
    vantor->WrEnabled = settings.Enabled ? 1 : 0;
    vantor->WrInterval = settings.Period;
    vantor->WrBound = RoundToSixteenths(settings.Bound);
    vantor->WrPlantNumber = settings.PNum;
    CommandTable().SetName(cmdWriteInput, commandName);
    return ExecuteCommand(cmdWriteInput);
}

TInputsWriteResult WriteInputs(const TInputsWrite& write)
{
    TInputsWriteResult result;
    for (int n = write.First; n <= write.Last; ++n) {
        const TInputSettings* settings = write.Settings ? write.Settings(n) : nullptr;
        if (!settings)
            continue;
        const bool ok = WriteInputSettings(n, *settings, kWriteInputSettingsName + QString::number(n));
        result.LastWritten = n;
        if (!ok)
            result.Failed << n;
        if (write.OnWritten)
            write.OnWritten(n, ok);
        PauseProcessingEvents(ComPauseWrite);
        // A stop signal ends the loop as closing its window does.
        if (StopRequested() || (write.Stopping && write.Stopping())) {
            result.Stopped = n < write.Last;
            break;
        }
    }
    return result;
}

QString FailureList(const QList<int>& inputs)
{
    QStringList numbers;
    for (const int n : inputs)
        numbers << QString::number(n);
    return numbers.join(u',');
}
