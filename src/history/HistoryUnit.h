#pragma once

#include "history/HistoryReading.h"

#include <QtGlobal>

class THistoryRecorder;
class TVantor;
class TVantorInput;

// The history as a unit of the program: started after the other units and stopped before them,
// in the thread that polls. Without it (not started, or failed), polling records nothing.
// The retention in days is [History] RetentionDays of INI/VANTOR.ini, 730 when missing or bad.
// outbox: the readings are also kept for publishing (HistoryOutbox.h).
void HistoryStartup(bool outbox = false);
void HistoryShutdown();
THistoryRecorder* HistoryRecorder();

constexpr int kDefaultRetentionDays = 730;
int HistoryRetentionDays();

THistoryReading HistoryReadingOf(const TVantorInput& input, int number, qint64 time);
// Records the group of inputs the last polling cycle read and ends the batch.
void RecordPolledGroup(const TVantor& vantor, qint64 time);
