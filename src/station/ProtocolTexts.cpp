#include "station/ProtocolTexts.h"

#include "common/ByteText.h"

#include <QLocale>

QString FrameText(const QByteArray& bytes, int radix)
{
    return radix == 16 ? ToHexText(bytes) : ToDecText(bytes, false);
}

QString PercentText(qint32 count, qint32 total)
{
    const double percent = total == 0 ? 0.0 : count * 100.0 / total;
    return QLocale::system().toString(percent, 'f', 1);
}
