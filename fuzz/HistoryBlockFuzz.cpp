#include "history/HistoryBlock.h"

#include <cstddef>
#include <cstdint>

namespace {

bool Same(const THistoryReading& a, const THistoryReading& b) { return a.Time == b.Time && a.SameValues(b); }

}  // namespace

// Any bytes as a stored block (the first two give the count the store lists): refused or read
// within its bytes, and a block that is read takes a new reading after its last one.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const qint64 count = data[0] | data[1] << 8;
    const QByteArray block(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    QVector<THistoryReading> readings;
    if (!DecodeBlock(block, count, 3, readings)) {
        if (!readings.isEmpty())
            __builtin_trap();
        return 0;
    }
    TBlockTail tail;
    if (!ReadTail(block, count, tail))
        return 0;  // the older layout is read, never appended to
    if (readings.size() != count || tail.Size != block.size())
        __builtin_trap();
    THistoryReading next;
    next.Input = 3;
    next.Time = 1'773'100'800'000;
    next.Temper = {21.5, -3.0625, 0, 99, 12, 12};
    QByteArray added;
    AppendReading(added, tail, next);
    QVector<THistoryReading> longer;
    if (!DecodeBlock(BlockHeader(tail) + block.mid(kBlockHeaderSize) + added, count + 1, 3, longer)
        || longer.size() != count + 1 || !Same(longer.back(), next))
        __builtin_trap();
    for (qsizetype i = 0; i < readings.size(); ++i)
        if (!Same(readings[i], longer[i]))
            __builtin_trap();
    return 0;
}
