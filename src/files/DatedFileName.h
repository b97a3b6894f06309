#pragma once

#include <QDate>
#include <QString>

// "PN" + the controller's plant number in at least five digits + "_" + the day as dd_MM_yyyy, for
// the configuration file and the passport of one controller on one day: PN00042_06_12_2026,
// whatever the locale.
QString DatedFileName(quint16 plantNumber, const QDate& date);
