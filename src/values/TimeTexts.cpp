#include "values/TimeTexts.h"

#include <QLocale>

namespace {

// The locale's long time format names the time zone ("t"); a local clock shows none.
const QString& LongTimeFormat()
{
    static const QString format = [] {
        QString f = QLocale::system().timeFormat(QLocale::LongFormat);
        QString out;
        bool quoted = false;
        for (const QChar c : f) {
            if (c == u'\'')
                quoted = !quoted;
            if (!quoted && c == u't')
                continue;
            out += c;
        }
        return out.trimmed();
    }();
    return format;
}

}  // namespace

QString TimeText(TDateTime time)
{
    const QDateTime dt = DateTimeToQDateTime(time);
    return dt.isValid() ? QLocale::system().toString(dt.time(), LongTimeFormat()) : QString();
}

QString DateTimeText(TDateTime time)
{
    const QDateTime dt = DateTimeToQDateTime(time);
    if (!dt.isValid())
        return QString();
    return QLocale::system().toString(dt.date(), QLocale::ShortFormat) + u' ' +
           QLocale::system().toString(dt.time(), LongTimeFormat());
}
