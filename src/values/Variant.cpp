#include "values/Variant.h"

#include <QLocale>

#include <cmath>
#include <stdexcept>

bool TVariant::TryToInteger(qint32& result) const noexcept
{
    if (Kind_ != TKind::Double) {
        result = Int_;
        return true;
    }
    if (!std::isfinite(Double_))
        return false;
    const double rounded = std::nearbyint(Double_);
    if (rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return false;
    result = static_cast<qint32>(rounded);
    return true;
}

qint32 TVariant::ToInteger() const
{
    qint32 result = 0;
    if (!TryToInteger(result))
        throw std::range_error("the number cannot be read as an integer");
    return result;
}

QString TVariant::ToString() const
{
    if (Kind_ != TKind::Double)
        return QString::number(Int_);
    return QString::number(Double_, 'g', QLocale::FloatingPointShortest);
}
