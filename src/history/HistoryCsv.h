#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QLocale>
#include <QVector>

// Readings as a table that spreadsheets open directly: cp1251, fields separated by ';', lines
// ended by CR LF, a Russian header row, numbers with the locale's decimal separator and no digit
// grouping. A sensor in a status shows the status's caption ("AAAA") in place of a temperature,
// as the grid does; the exchange state shows its caption. Times are local, to the second.
QByteArray HistoryCsv(const QVector<THistoryReading>& readings, const QLocale& locale);
