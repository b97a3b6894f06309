#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QVector>

// A block holds readings of one input within one UTC day, stored column by column as deltas
// (time, states, battery, set-point, each sensor) and compressed: slow-moving temperatures give
// runs of small numbers that pack to a couple of bytes a reading.

// The register's resolution: temperatures and set-points are whole sixteenths of a degree.
qint64 Sixteenths(double degrees);
// A set-point never read (NaN) is kept as a number no register gives; it reads back as NaN.
qint64 BoundSixteenths(double degrees);
double BoundDegrees(qint64 sixteenths);

qint64 Seconds(qint64 ms);  // rounded down, also before the epoch
qint64 DayOf(qint64 seconds);
constexpr qint64 kSecondsPerDay = 24 * 60 * 60;

// Readings of the same input; times are kept in whole seconds.
QByteArray EncodeBlock(const QVector<THistoryReading>& readings);
// False for bytes that are not a block (damaged file); readings then stays empty.
bool DecodeBlock(const QByteArray& data, int input, QVector<THistoryReading>& readings);
