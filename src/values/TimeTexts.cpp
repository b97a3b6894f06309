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

// Shown as stored: a wall-clock stamp needs no time zone, and looking one up costs a system call.
QString TimeText(TDateTime time)
{
    const TLocalDateTime local = SplitDateTime(time);
    return local.Time.isValid() ? QLocale::system().toString(local.Time, LongTimeFormat()) : QString();
}

QString DateTimeText(TDateTime time)
{
    const TLocalDateTime local = SplitDateTime(time);
    if (!local.Date.isValid())
        return QString();
    const QLocale locale = QLocale::system();
    return locale.toString(local.Date, QLocale::ShortFormat) + u' ' + locale.toString(local.Time, LongTimeFormat());
}
