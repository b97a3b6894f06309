#include "history/HistoryBlock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr char kFormat = 1;
// Far above a day of readings even at one a second; a count beyond it marks a damaged block.
constexpr quint64 kMaxCount = 1'000'000;
constexpr qint64 kMaxSeconds = qint64(1) << 40;
// Beyond anything Sixteenths gives (1e12 degrees at most).
constexpr qint64 kUnknownBound = qint64(1) << 50;

quint64 ZigZag(qint64 v) { return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63); }
qint64 UnZigZag(quint64 v) { return static_cast<qint64>(v >> 1) ^ -static_cast<qint64>(v & 1); }

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
    explicit TReader(const QByteArray& bytes) : Bytes_(bytes) {}

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
    bool AtEnd() const { return Pos_ == Bytes_.size(); }

private:
    const QByteArray& Bytes_;
    qsizetype Pos_ = 0;
};

// Each column as deltas from the previous reading's value.
template <typename Get>
void PutColumn(QByteArray& out, const QVector<THistoryReading>& readings, Get get)
{
    qint64 previous = 0;
    for (const THistoryReading& r : readings) {
        const qint64 v = get(r);
        PutVarint(out, ZigZag(v - previous));
        previous = v;
    }
}

template <typename Set>
bool GetColumn(TReader& in, QVector<THistoryReading>& readings, Set set)
{
    qint64 previous = 0;
    for (THistoryReading& r : readings) {
        quint64 delta = 0;
        if (!in.Varint(delta))
            return false;
        // Wrapping, not overflowing, on a damaged block.
        previous = static_cast<qint64>(static_cast<quint64>(previous) + static_cast<quint64>(UnZigZag(delta)));
        set(r, previous);
    }
    return true;
}

int ToInt(qint64 v)
{
    return static_cast<int>(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
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

QByteArray EncodeBlock(const QVector<THistoryReading>& readings)
{
    QByteArray raw;
    raw.reserve(readings.size() * 20);
    PutVarint(raw, static_cast<quint64>(readings.size()));
    PutColumn(raw, readings, [](const THistoryReading& r) { return Seconds(r.Time); });
    PutColumn(raw, readings, [](const THistoryReading& r) { return qint64(r.OprosState); });
    PutColumn(raw, readings, [](const THistoryReading& r) { return qint64(r.Battery); });
    PutColumn(raw, readings, [](const THistoryReading& r) { return BoundSixteenths(r.Bound); });
    for (size_t i = 0; i < 6; ++i) {
        PutColumn(raw, readings, [i](const THistoryReading& r) { return Sixteenths(r.Temper[i]); });
        PutColumn(raw, readings, [i](const THistoryReading& r) { return qint64(r.TemperState[i]); });
    }
    return kFormat + qCompress(raw, 9);
}

bool DecodeBlock(const QByteArray& data, int input, QVector<THistoryReading>& readings)
{
    readings.clear();
    if (data.isEmpty() || data[0] != kFormat)
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
    bool ok = GetColumn(in, out, [](THistoryReading& r, qint64 v) { r.Time = qBound<qint64>(-kMaxSeconds, v, kMaxSeconds) * 1000; })
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
