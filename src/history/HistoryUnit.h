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
// A century: beyond it the cut-off time would leave the clock's range.
constexpr int kMaxRetentionDays = 36500;
int HistoryRetentionDays();

THistoryReading HistoryReadingOf(const TVantorInput& input, int number, qint64 time);
// Records the group of inputs starting at first, read by the last polling cycle, and ends the batch.
void RecordPolledGroup(const TVantor& vantor, int first, qint64 time);
