#include "history/HistoryUnit.h"

#include "common/IniFile.h"
#include "common/ProgramFolder.h"
#include "device/Vantor.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

#include <limits>
#include <memory>

namespace {

std::unique_ptr<THistoryRecorder> Recorder;

int OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

}  // namespace

int HistoryRetentionDays()
{
    return TIniFile(ProgramFolder() + QStringLiteral("INI/VANTOR.ini"))
        .ReadInteger(QStringLiteral("History"), QStringLiteral("RetentionDays"), kDefaultRetentionDays, 1,
                     kMaxRetentionDays);
}

void HistoryStartup(bool outbox)
{
    if (Recorder)
        return;
    Recorder = std::make_unique<THistoryRecorder>(HistoryPath(), HistoryRetentionDays(), outbox);
    // The publisher opens the same file next: not before the recorder has set it up.
    if (outbox)
        Recorder->WaitOpened();
}

void HistoryShutdown() { Recorder.reset(); }

THistoryRecorder* HistoryRecorder() { return Recorder.get(); }

THistoryReading HistoryReadingOf(const TVantorInput& input, int number, qint64 time)
{
    THistoryReading reading;
    reading.Time = time;
    reading.Input = number;
    reading.OprosState = OutInteger(input.OprosState);
    reading.Battery = input.Battery;
    reading.Bound = input.SettingsKnown ? input.TemperBound.Value() : std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < kSensorCount; ++i) {
        reading.Temper[i] = input.Temper[i].GetOutValue().ToDouble();
        reading.TemperState[i] = OutInteger(input.TemperState[i]);
    }
    return reading;
}

void RecordPolledGroup(const TVantor& vantor, int g, qint64 time)
{
    if (!Recorder)
        return;
    if (g < 1 || g >= vantor::kInputCount)
        return;
    for (int n = g; n < g + vantor::kGroupSize && n <= vantor::kInputCount; ++n)
        Recorder->Record(HistoryReadingOf(vantor.Input(n), n, time), vantor.Input(n).Interval);
    Recorder->Flush();
}
