#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QVector>

#include <array>

// A block holds readings of one input within one UTC day. Each reading is stored as its change
// from the one before (a byte of which fields moved, then the moves, small temperature moves
// packed two to a byte), so a new reading is appended to the block's bytes without touching what
// is there: the writer keeps only the block's last reading, and a commit costs the same whatever
// the block holds. A check over the readings' bytes sits in the header.
//
// Blocks written before this layout (one compressed column store each) are still read; they are
// never appended to but rewritten whole when a reading must join one.

// The register's resolution: temperatures and set-points are whole sixteenths of a degree.
qint64 Sixteenths(double degrees);
// A set-point never read (NaN) is kept as a number no register gives; it reads back as NaN.
qint64 BoundSixteenths(double degrees);
double BoundDegrees(qint64 sixteenths);

qint64 Seconds(qint64 ms);  // rounded down, also before the epoch
qint64 DayOf(qint64 seconds);
constexpr qint64 kSecondsPerDay = 24 * 60 * 60;

// What appending to a block needs to know of it: its last reading as stored (time in seconds,
// then exchange state, battery, set-point, six sensor states, six temperatures), the step
// between its last two times, and its size and check so far.
struct TBlockTail {
    static constexpr int kFields = 15;
    qint64 Count = 0;
    qint64 Size = 0;  // bytes, header included
    quint32 Check = 0;
    qint64 Time = 0;
    qint64 Step = 0;
    std::array<qint64, kFields> Values{};
};

// The bytes of an empty block, and the tail that describes it.
QByteArray NewBlock(TBlockTail& tail);
// The header of the block as tail describes it: replaces the stored one when readings are appended.
QByteArray BlockHeader(const TBlockTail& tail);
constexpr qsizetype kBlockHeaderSize = 5;
// Appends the reading's bytes to out and moves tail past it.
void AppendReading(QByteArray& out, TBlockTail& tail, const THistoryReading& reading);

// Readings of the same input; times are kept in whole seconds. tail, when given, describes the
// block made.
QByteArray EncodeBlock(const QVector<THistoryReading>& readings, TBlockTail* tail = nullptr);
// count is the number of readings the store lists for the block. False for bytes that are not
// such a block (damaged, cut short); readings then stays empty.
bool DecodeBlock(const QByteArray& data, qint64 count, int input, QVector<THistoryReading>& readings);
// The tail of a block that readings can be appended to; false for a damaged block or one of the
// older layout.
bool ReadTail(const QByteArray& data, qint64 count, TBlockTail& tail);
