#include "common/ByteText.h"

QString ToHexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString ToDecText(const QByteArray& bytes, bool pad)
{
    QString text;
    text.reserve(bytes.size() * 4);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += u' ';
        const auto value = static_cast<quint8>(bytes[i]);
        text += pad ? QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0')) : QString::number(value);
    }
    return text;
}
