#include "files/DatedFileName.h"

QString DatedFileName(quint16 plantNumber, const QDate& date, const QLocale& locale)
{
    QString day = locale.toString(date, QLocale::ShortFormat);
    for (QChar& c : day) {
        if (c == u'.' || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' ||
            c == u'<' || c == u'>' || c == u'|')
            c = u'_';
    }
    return QStringLiteral("PN") + QStringLiteral("%1").arg(plantNumber, 5, 10, QLatin1Char('0')) + u'_' + day;
}
