#pragma once

#include "history/HistoryReading.h"

#include <QList>
#include <QLocale>
#include <QPointF>
#include <QString>
#include <QVector>

// What the trends chart draws, from the readings of one input (oldest first), without a screen.
// Points are (ms since the epoch, °C).

// The spans the operator picks; Dates is the operator's own pair of dates.
enum class ETrendSpan { Hour, Day, Week, Month, Dates };
// from..to of a span ending at now.
struct TTimeRange
{
    qint64 From = 0;
    qint64 To = 0;
};
TTimeRange SpanRange(ETrendSpan span, qint64 now);

// The real temperatures of sensor (1..6) within range, at most maxPoints of them (a probe out of
// exchange gives none: what the controller repeats then was not measured): beyond that the
// readings are cut into buckets and each keeps its lowest and highest point, in time order, so
// that a peak never disappears from the line.
QList<QPointF> SensorPoints(const QVector<THistoryReading>& readings, int sensor, const TTimeRange& range,
                            int maxPoints);
// The set-point as a stepped line: a point where it changes, and at the ends of the range. Readings
// whose set-point was never read give no point.
QList<QPointF> BoundPoints(const QVector<THistoryReading>& readings, const TTimeRange& range);

// A sensor entering a status code (state 2..10) at Time, or its probe leaving the exchange
// (OutOfExchange, State then 0); Value is its last real temperature before that, or NaN when there
// was none.
struct TFaultMark
{
    qint64 Time = 0;
    int Sensor = 0;
    int State = 0;
    double Value = 0;
    bool OutOfExchange = false;
};
QVector<TFaultMark> FaultMarks(const QVector<THistoryReading>& readings, const TTimeRange& range);

// The index of the reading nearest to time; -1 for no readings.
qsizetype NearestReading(const QVector<THistoryReading>& readings, qint64 time);
// One line under the cursor: "Вход 5  12.03.2025 14:07:09  T1 21,5  T2 AAAA ..  Уставка 15".
QString ReadingText(const THistoryReading& reading, const QLocale& locale);
