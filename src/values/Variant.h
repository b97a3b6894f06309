#pragma once

#include <QString>
#include <QtGlobal>

#include <concepts>
#include <limits>
#include <type_traits>
#include <utility>

// The number a value carries: an unsigned 8-bit, a signed 32-bit or a 64-bit floating number.
// Two variants compare by their numeric values whatever their kinds. A plain 16-byte value type,
// copied on every update, so it never allocates.
class TVariant
{
public:
    enum class TKind : quint8 { UInt8, Int32, Double };

    constexpr TVariant() noexcept : Kind_(TKind::UInt8), Int_(0) {}
    constexpr TVariant(quint8 v) noexcept : Kind_(TKind::UInt8), Int_(v) {}
    constexpr TVariant(qint32 v) noexcept : Kind_(TKind::Int32), Int_(v) {}
    constexpr TVariant(double v) noexcept : Kind_(TKind::Double), Double_(v) {}
    // Any other integer: a signed 32-bit one when it fits, else a floating one.
    template <std::integral T>
        requires(!std::same_as<T, quint8> && !std::same_as<T, qint32>)
    constexpr TVariant(T v) noexcept
    {
        if constexpr (std::same_as<T, bool>) {
            Kind_ = TKind::UInt8;
            Int_ = v ? 1 : 0;
        } else if (std::in_range<qint32>(v)) {
            Kind_ = TKind::Int32;
            Int_ = static_cast<qint32>(v);
        } else {
            Kind_ = TKind::Double;
            Double_ = static_cast<double>(v);
        }
    }

    constexpr TKind Kind() const noexcept { return Kind_; }
    constexpr bool IsDouble() const noexcept { return Kind_ == TKind::Double; }

    constexpr double ToDouble() const noexcept
    {
        return Kind_ == TKind::Double ? Double_ : static_cast<double>(Int_);
    }
    // A floating value is rounded to the nearest integer (halves to even); NaN, an infinity or a
    // number beyond 32 bits cannot be read as an integer: TryToInteger gives false, ToInteger
    // throws std::range_error.
    bool TryToInteger(qint32& result) const noexcept;
    qint32 ToInteger() const;

    // Integers in decimal, floating numbers in their shortest C-locale form; for diagnostics.
    QString ToString() const;

    // Numeric comparison: NaN equals nothing, itself included.
    friend constexpr bool operator==(const TVariant& a, const TVariant& b) noexcept
    {
        if (a.Kind_ != TKind::Double && b.Kind_ != TKind::Double)
            return a.Int_ == b.Int_;
        return a.ToDouble() == b.ToDouble();
    }

private:
    TKind Kind_;
    union {
        qint32 Int_;
        double Double_;
    };
};
