#include "history/HistoryBlock.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Whole blocks compressed column by column: still read, no longer written.
constexpr char kColumnFormat = 1;
constexpr char kFormat = 2;
// Far above a day of readings even at one a second; a count beyond it marks a damaged block.
constexpr quint64 kMaxCount = 1'000'000;
constexpr qint64 kMaxSeconds = qint64(1) << 40;
// Beyond anything Sixteenths gives (1e12 degrees at most).
constexpr qint64 kUnknownBound = qint64(1) << 50;

// Fields of TBlockTail::Values: the nine that rarely move come first, then the six temperatures.
constexpr int kSlowFields = 9;
constexpr int kTemperField = kSlowFields;
constexpr quint8 kSlowBit = 0x40;
constexpr quint8 kStepBit = 0x80;
// A temperature move of -8..7 sixteenths takes a nibble; 15 says the move follows in full.
constexpr quint64 kNibbleEscape = 15;

// FNV-1a: it goes on from where it stopped, so appending never reads the block again.
constexpr quint32 kCheckSeed = 2166136261u;

quint32 Check(quint32 check, const char* bytes, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        check = (check ^ static_cast<quint8>(bytes[i])) * 16777619u;
    return check;
}

quint64 ZigZag(qint64 v) { return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63); }
qint64 UnZigZag(quint64 v) { return static_cast<qint64>(v >> 1) ^ -static_cast<qint64>(v & 1); }

// Wrapping, not overflowing: any two values have a difference that adds back exactly.
qint64 Minus(qint64 a, qint64 b) { return static_cast<qint64>(static_cast<quint64>(a) - static_cast<quint64>(b)); }
qint64 Plus(qint64 a, qint64 b) { return static_cast<qint64>(static_cast<quint64>(a) + static_cast<quint64>(b)); }

void PutVarint(QByteArray& out, quint64 v)
{
    while (v >= 0x80) {
        out.append(static_cast<char>(v | 0x80));
        v >>= 7;
    }
    out.append(static_cast<char>(v));
}

class TReader
{
public:
    TReader(const QByteArray& bytes, qsizetype pos = 0) : Bytes_(bytes), Pos_(pos) {}

    bool Varint(quint64& v)
    {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (Pos_ >= Bytes_.size())
                return false;
            const auto byte = static_cast<quint8>(Bytes_[Pos_++]);
            v |= static_cast<quint64>(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }
    bool Byte(quint8& b)
    {
        if (Pos_ >= Bytes_.size())
            return false;
        b = static_cast<quint8>(Bytes_[Pos_++]);
        return true;
    }
    bool AtEnd() const { return Pos_ == Bytes_.size(); }
    qsizetype Pos() const { return Pos_; }

private:
    const QByteArray& Bytes_;
    qsizetype Pos_ = 0;
};

int ToInt(qint64 v)
{
    return static_cast<int>(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

qint64 ClampedMs(qint64 seconds) { return qBound<qint64>(-kMaxSeconds, seconds, kMaxSeconds) * 1000; }

void Pack(const THistoryReading& r, qint64& time, std::array<qint64, TBlockTail::kFields>& values)
{
    time = Seconds(r.Time);
    values[0] = r.OprosState;
    values[1] = r.Battery;
    values[2] = BoundSixteenths(r.Bound);
    for (size_t i = 0; i < 6; ++i) {
        values[3 + i] = r.TemperState[i];
        values[kTemperField + i] = Sixteenths(r.Temper[i]);
    }
}

THistoryReading Unpack(int input, qint64 time, const std::array<qint64, TBlockTail::kFields>& values)
{
    THistoryReading r;
    r.Input = input;
    r.Time = ClampedMs(time);
    r.OprosState = ToInt(values[0]);
    r.Battery = ToInt(values[1]);
    r.Bound = BoundDegrees(values[2]);
    for (size_t i = 0; i < 6; ++i) {
        r.TemperState[i] = ToInt(values[3 + i]);
        r.Temper[i] = values[kTemperField + i] / 16.0;
    }
    return r;
}

// Walks the readings of a block, handing each to sink; tail ends past the last one. False when
// the bytes are not exactly count readings whose check matches the header.
template <typename Sink>
bool Walk(const QByteArray& data, qint64 count, TBlockTail& tail, Sink sink)
{
    // Every reading takes at least its byte of flags.
    if (data.size() < kBlockHeaderSize || data[0] != kFormat || count < 0 || static_cast<quint64>(count) > kMaxCount
        || count > data.size() - kBlockHeaderSize)
        return false;
    quint32 stored = 0;
    for (int i = 0; i < 4; ++i)
        stored |= static_cast<quint32>(static_cast<quint8>(data[1 + i])) << (8 * i);
    NewBlock(tail);
    TReader in(data, kBlockHeaderSize);
    while (!in.AtEnd()) {
        if (tail.Count == count)
            return false;
        const qsizetype begin = in.Pos();
        quint8 flags = 0;
        quint64 stepChange = 0;
        if (!in.Byte(flags) || ((flags & kStepBit) && (!in.Varint(stepChange) || stepChange == 0)))
            return false;
        std::array<qint64, TBlockTail::kFields> values = tail.Values;
        if (flags & kSlowBit) {
            quint64 slow = 0;
            if (!in.Varint(slow) || slow == 0 || (slow >> kSlowFields) != 0)
                return false;
            for (int f = 0; f < kSlowFields; ++f) {
                quint64 delta = 0;
                if ((slow >> f & 1) && (!in.Varint(delta) || delta == 0))
                    return false;
                values[f] = Plus(values[f], UnZigZag(delta));
            }
        }
        QVarLengthArray<quint64, 6> moves;
        quint8 byte = 0;
        for (int i = 0; i < 6; ++i) {
            if (!(flags >> i & 1))
                continue;
            if (moves.size() % 2 == 0) {
                if (!in.Byte(byte))
                    return false;
                moves.append(byte & 0x0F);
            } else {
                moves.append(byte >> 4);
            }
        }
        // The unused half of the last byte stays zero.
        if (moves.size() % 2 != 0 && (byte >> 4) != 0)
            return false;
        int move = 0;
        for (int i = 0; i < 6; ++i) {
            if (!(flags >> i & 1))
                continue;
            quint64 z = moves[move++] + 1;
            if (z == kNibbleEscape + 1 && (!in.Varint(z) || z <= kNibbleEscape))
                return false;
            values[kTemperField + i] = Plus(values[kTemperField + i], UnZigZag(z));
        }
        tail.Step = Plus(tail.Step, UnZigZag(stepChange));
        tail.Time = Plus(tail.Time, tail.Step);
        tail.Values = values;
        tail.Check = Check(tail.Check, data.constData() + begin, in.Pos() - begin);
        ++tail.Count;
        sink(tail.Time, tail.Values);
    }
    tail.Size = data.size();
    return tail.Count == count && tail.Check == stored;
}

// The older layout: a varint count, then each column as deltas, all compressed.
template <typename Set>
bool GetColumn(TReader& in, QVector<THistoryReading>& readings, Set set)
{
    qint64 previous = 0;
    for (THistoryReading& r : readings) {
        quint64 delta = 0;
        if (!in.Varint(delta))
            return false;
        previous = Plus(previous, UnZigZag(delta));
        set(r, previous);
    }
    return true;
}

bool DecodeColumns(const QByteArray& data, int input, QVector<THistoryReading>& readings)
{
    // The size ahead of the compressed bytes is reserved before they are read; deflate expands
    // at most 1032 times, so a larger one is damage, not a reason to reserve gigabytes.
    if (data.size() < 5)
        return false;
    quint64 declared = 0;
    for (int i = 1; i < 5; ++i)
        declared = declared << 8 | static_cast<quint8>(data[i]);
    if (declared > static_cast<quint64>(data.size() - 5) * 1032)
        return false;
    const QByteArray raw = qUncompress(data.mid(1));
    TReader in(raw);
    quint64 count = 0;
    // Each reading takes at least 16 bytes of columns: a count beyond that is damage.
    if (!in.Varint(count) || count > kMaxCount || count * 16 > static_cast<quint64>(raw.size()))
        return false;
    QVector<THistoryReading> out(static_cast<qsizetype>(count));
    for (THistoryReading& r : out)
        r.Input = input;
    bool ok = GetColumn(in, out, [](THistoryReading& r, qint64 v) { r.Time = ClampedMs(v); })
              && GetColumn(in, out, [](THistoryReading& r, qint64 v) { r.OprosState = ToInt(v); })
              && GetColumn(in, out, [](THistoryReading& r, qint64 v) { r.Battery = ToInt(v); })
              && GetColumn(in, out, [](THistoryReading& r, qint64 v) { r.Bound = BoundDegrees(v); });
    for (size_t i = 0; ok && i < 6; ++i)
        ok = GetColumn(in, out, [i](THistoryReading& r, qint64 v) { r.Temper[i] = v / 16.0; })
             && GetColumn(in, out, [i](THistoryReading& r, qint64 v) { r.TemperState[i] = ToInt(v); });
    if (!ok || !in.AtEnd())
        return false;
    readings = std::move(out);
    return true;
}

}  // namespace

qint64 Sixteenths(double degrees)
{
    // NaN and absurd values are clamped, never undefined behaviour.
    if (!std::isfinite(degrees))
        return 0;
    return std::llround(qBound(-1.0e12, degrees * 16.0, 1.0e12));
}

qint64 BoundSixteenths(double degrees)
{
    return std::isnan(degrees) ? kUnknownBound : Sixteenths(degrees);
}

double BoundDegrees(qint64 sixteenths)
{
    return sixteenths == kUnknownBound ? std::numeric_limits<double>::quiet_NaN() : sixteenths / 16.0;
}

qint64 Seconds(qint64 ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

qint64 DayOf(qint64 seconds)
{
    return seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
}

QByteArray NewBlock(TBlockTail& tail)
{
    tail = TBlockTail();
    tail.Check = kCheckSeed;
    tail.Size = kBlockHeaderSize;
    return BlockHeader(tail);
}

QByteArray BlockHeader(const TBlockTail& tail)
{
    QByteArray header(kBlockHeaderSize, kFormat);
    for (int i = 0; i < 4; ++i)
        header[1 + i] = static_cast<char>(tail.Check >> (8 * i));
    return header;
}

void AppendReading(QByteArray& out, TBlockTail& tail, const THistoryReading& reading)
{
    qint64 time = 0;
    std::array<qint64, TBlockTail::kFields> values{};
    Pack(reading, time, values);
    const qsizetype begin = out.size();
    const qint64 step = Minus(time, tail.Time);
    const qint64 stepChange = Minus(step, tail.Step);
    quint64 slow = 0;
    quint8 flags = 0;
    for (int f = 0; f < kSlowFields; ++f)
        if (values[f] != tail.Values[f])
            slow |= quint64(1) << f;
    for (int i = 0; i < 6; ++i)
        if (values[kTemperField + i] != tail.Values[kTemperField + i])
            flags |= static_cast<quint8>(1 << i);
    if (slow)
        flags |= kSlowBit;
    if (stepChange)
        flags |= kStepBit;
    out.append(static_cast<char>(flags));
    if (stepChange)
        PutVarint(out, ZigZag(stepChange));
    if (slow) {
        PutVarint(out, slow);
        for (int f = 0; f < kSlowFields; ++f)
            if (slow >> f & 1)
                PutVarint(out, ZigZag(Minus(values[f], tail.Values[f])));
    }
    QVarLengthArray<quint64, 6> escapes;
    int nibbles = 0;
    for (int i = 0; i < 6; ++i) {
        if (!(flags >> i & 1))
            continue;
        const quint64 z = ZigZag(Minus(values[kTemperField + i], tail.Values[kTemperField + i]));
        const quint64 nibble = z <= kNibbleEscape ? z - 1 : kNibbleEscape;
        if (nibble == kNibbleEscape)
            escapes.append(z);
        if (nibbles++ % 2 == 0)
            out.append(static_cast<char>(nibble));
        else
            out.back() = static_cast<char>(static_cast<quint8>(out.back()) | nibble << 4);
    }
    for (quint64 z : escapes)
        PutVarint(out, z);
    tail.Check = Check(tail.Check, out.constData() + begin, out.size() - begin);
    tail.Size += out.size() - begin;
    ++tail.Count;
    tail.Time = time;
    tail.Step = step;
    tail.Values = values;
}

QByteArray EncodeBlock(const QVector<THistoryReading>& readings, TBlockTail* tail)
{
    TBlockTail own;
    TBlockTail& t = tail ? *tail : own;
    QByteArray out = NewBlock(t);
    out.reserve(kBlockHeaderSize + readings.size() * 8);
    for (const THistoryReading& r : readings)
        AppendReading(out, t, r);
    out.replace(0, kBlockHeaderSize, BlockHeader(t));
    return out;
}

bool DecodeBlock(const QByteArray& data, qint64 count, int input, QVector<THistoryReading>& readings)
{
    readings.clear();
    if (data.isEmpty())
        return false;
    // The older blocks carry their own count.
    if (data[0] == kColumnFormat)
        return DecodeColumns(data, input, readings);
    QVector<THistoryReading> out;
    TBlockTail tail;
    if (!Walk(data, count, tail, [&](qint64 time, const std::array<qint64, TBlockTail::kFields>& values) {
            if (out.isEmpty())
                out.reserve(count);
            out.append(Unpack(input, time, values));
        }))
        return false;
    readings = std::move(out);
    return true;
}

bool ReadTail(const QByteArray& data, qint64 count, TBlockTail& tail)
{
    return Walk(data, count, tail, [](qint64, const std::array<qint64, TBlockTail::kFields>&) {});
}
