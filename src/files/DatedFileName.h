#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// "PN" + the controller's plant number in at least five digits + "_" + the date in the locale's
// short format, for the configuration file and the passport of one controller on one day:
// PN00042_06_12_2026 under a dd.MM.yyyy locale. Dots, and the characters file names may not
// hold (a slash of an M/d/yy locale among them), become "_".
QString DatedFileName(quint16 plantNumber, const QDate& date, const QLocale& locale = QLocale());
