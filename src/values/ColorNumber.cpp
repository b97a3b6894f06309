#include "values/ColorNumber.h"

QColor ToQColor(TColor color, const QPalette& palette)
{
    if (color == clBtnFace)
        return palette.color(QPalette::Button);
    const auto rgb = static_cast<quint32>(color);
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}
