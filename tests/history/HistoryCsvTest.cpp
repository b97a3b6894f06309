#include "history/HistoryCsv.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

qint64 Local(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toMSecsSinceEpoch();
}

QVector<THistoryReading> TwoReadings()
{
    THistoryReading a;
    a.Time = Local(2025, 3, 5, 14, 7, 9) + 42;  // milliseconds are not shown
    a.Input = 5;
    a.OprosState = 0;
    a.Battery = 87;
    a.Bound = 1500.5;  // no digit grouping, even past a thousand
    a.Temper = {21.5, -3.0625, 0, 12, 85, 7.25};
    a.TemperState = {1, 1, 0, 1, 1, 1};
    THistoryReading b = a;
    b.Time = Local(2025, 3, 5, 14, 12, 9);
    b.OprosState = 3;
    b.Bound = 15;
    b.TemperState = {1, 5, 1, 10, 2, 1};  // faults show their captions, not the decoded number
    b.Temper[1] = 0xAAAA / 16.0;
    return {a, b};
}

const QByteArray kHeader = "\xc2\xf0\xe5\xec\xff;\xc2\xf5\xee\xe4;\xd1\xee\xf1\xf2\xee\xff\xed\xe8\xe5 \xee\xe1\xec\xe5\xed\xe0;"
                           "\xc1\xe0\xf2\xe0\xf0\xe5\xff, %;\xd3\xf1\xf2\xe0\xe2\xea\xe0, \xb0\xd1;"
                           "T 1, \xb0\xd1;T 2, \xb0\xd1;T 3, \xb0\xd1;T 4, \xb0\xd1;T 5, \xb0\xd1;T 6, \xb0\xd1\r\n";

}  // namespace

TEST(HistoryCsv, RussianLocaleByteForByte)
{
    const QByteArray csv = HistoryCsv(TwoReadings(), QLocale(QLocale::Russian, QLocale::Russia));
    const QByteArray expected = kHeader +
                                "05.03.2025 14:07:09;5;\xcd\xee\xf0\xec\xe0;87;1500,5;21,5;-3,0625;0;12;85;7,25\r\n"
                                "05.03.2025 14:12:09;5;\xcd\xe5\xf2 \xf1\xe2\xff\xe7\xe8;87;15;21,5;AAAA;0;AAAF;AAA7;7,25\r\n";
    EXPECT_EQ(csv, expected);
}

TEST(HistoryCsv, DecimalPointUnderAnEnglishLocaleAndAnEmptySpanHasTheHeaderOnly)
{
    const QByteArray csv = HistoryCsv(TwoReadings(), QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(csv.contains(";87;1500.5;21.5;-3.0625;0;12;85;7.25\r\n"));
    EXPECT_EQ(HistoryCsv({}, QLocale(QLocale::Russian, QLocale::Russia)), kHeader);
}

TEST(HistoryCsv, UnknownStateNumbersFromADamagedFileStayNumbers)
{
    QVector<THistoryReading> readings = TwoReadings();
    readings[0].OprosState = 77;
    readings[0].TemperState[0] = 42;
    const QByteArray csv = HistoryCsv(readings, QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_TRUE(csv.contains("05.03.2025 14:07:09;5;77;87;1500,5;42;-3,0625;")) << csv.constData();
}
