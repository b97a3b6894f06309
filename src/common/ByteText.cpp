#include "common/ByteText.h"

QString ToHexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString ToDecText(const QByteArray& bytes, bool pad)
{
    // Digit by digit, not a formatted number per byte: both frames of every poll exchange go
    // through here on their way to the event log.
    QString text(bytes.size() * 4, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            *out++ = u' ';
        const int value = static_cast<quint8>(bytes[i]);
        if (pad || value >= 100)
            *out++ = QChar(u'0' + value / 100);
        if (pad || value >= 10)
            *out++ = QChar(u'0' + value / 10 % 10);
        *out++ = QChar(u'0' + value % 10);
    }
    text.truncate(out - text.constData());
    return text;
}
