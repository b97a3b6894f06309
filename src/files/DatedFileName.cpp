#include "files/DatedFileName.h"

QString DatedFileName(quint16 plantNumber, const QDate& date)
{
    // Fixed, not the locale's short date: other locales give blanks, slashes or direction marks.
    return QStringLiteral("PN") + QStringLiteral("%1").arg(plantNumber, 5, 10, QLatin1Char('0')) + u'_' +
           date.toString(QStringLiteral("dd_MM_yyyy"));
}
