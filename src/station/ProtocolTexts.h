#pragma once

#include <QByteArray>
#include <QString>

// A frame in the protocol area: radix 16 gives "01 04 00 0A", anything else "1 4 0 10".
QString FrameText(const QByteArray& bytes, int radix);
// count × 100 / total with one decimal digit in the locale's format ("87,5"); "0,0" while total is 0.
QString PercentText(qint32 count, qint32 total);
