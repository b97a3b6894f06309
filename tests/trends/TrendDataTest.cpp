#include "trends/TrendData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr qint64 kMinute = 60'000;
constexpr qint64 kT0 = 1'750'000'000'000;

THistoryReading At(qint64 minute, double t1, int state1 = 1, double bound = 15)
{
    THistoryReading r;
    r.Time = kT0 + minute * kMinute;
    r.Input = 5;
    r.Bound = bound;
    r.Temper.fill(10);
    r.TemperState.fill(1);
    r.Temper[0] = t1;
    r.TemperState[0] = state1;
    return r;
}

const TTimeRange kAll{kT0 - 1000 * kMinute, kT0 + 100000 * kMinute};

}  // namespace

TEST(TrendData, SpansEndNow)
{
    EXPECT_EQ(SpanRange(ETrendSpan::Hour, kT0).From, kT0 - 60 * kMinute);
    EXPECT_EQ(SpanRange(ETrendSpan::Day, kT0).From, kT0 - 1440 * kMinute);
    EXPECT_EQ(SpanRange(ETrendSpan::Week, kT0).From, kT0 - 7 * 1440 * kMinute);
    EXPECT_EQ(SpanRange(ETrendSpan::Month, kT0).From, kT0 - 30 * 1440 * kMinute);
    EXPECT_EQ(SpanRange(ETrendSpan::Month, kT0).To, kT0);
}

TEST(TrendData, SensorLineHoldsOnlyRealTemperaturesWithinTheRange)
{
    const QVector<THistoryReading> readings = {At(0, 11), At(5, 2730.625, 5), At(10, 12), At(15, 0, 0), At(20, 13)};
    const QList<QPointF> points = SensorPoints(readings, 1, kAll, 100);
    ASSERT_EQ(points.size(), 3);
    EXPECT_EQ(points[1], QPointF(double(kT0 + 10 * kMinute), 12));
    EXPECT_EQ(SensorPoints(readings, 1, {kT0 + 10 * kMinute, kT0 + 20 * kMinute}, 100).size(), 2);
    EXPECT_EQ(SensorPoints(readings, 2, kAll, 100).size(), 5);
    EXPECT_TRUE(SensorPoints(readings, 0, kAll, 100).isEmpty());
    EXPECT_TRUE(SensorPoints(readings, 7, kAll, 100).isEmpty());
}

TEST(TrendData, LongSeriesAreThinnedButKeepTheirPeaksInTimeOrder)
{
    QVector<THistoryReading> readings;
    for (int m = 0; m < 10000; ++m)
        readings << At(m, 10 + std::sin(m / 50.0));
    readings[7777].Temper[0] = 40;  // one spike
    readings[3333].Temper[0] = -20;
    const QList<QPointF> points = SensorPoints(readings, 1, kAll, 500);
    EXPECT_LE(points.size(), 500);
    EXPECT_GE(points.size(), 400);
    double high = -100, low = 100;
    for (qsizetype i = 0; i < points.size(); ++i) {
        high = std::max(high, points[i].y());
        low = std::min(low, points[i].y());
        if (i > 0) {
            EXPECT_LT(points[i - 1].x(), points[i].x());
        }
    }
    EXPECT_EQ(high, 40);
    EXPECT_EQ(low, -20);
    EXPECT_EQ(points.constFirst().x(), double(readings.constFirst().Time));
}

TEST(TrendData, SetPointIsASteppedLine)
{
    const QVector<THistoryReading> readings = {At(0, 1, 1, 15), At(5, 1, 1, 15), At(10, 1, 1, 20), At(15, 1, 1, 20)};
    const QList<QPointF> points = BoundPoints(readings, kAll);
    const QList<QPointF> expected = {{double(kT0), 15},
                                     {double(kT0 + 10 * kMinute), 15},
                                     {double(kT0 + 10 * kMinute), 20},
                                     {double(kT0 + 15 * kMinute), 20}};
    EXPECT_EQ(points, expected);
    EXPECT_TRUE(BoundPoints({}, kAll).isEmpty());
}

TEST(TrendData, FaultsAreMarkedWhereTheyBeginAtTheLastTemperature)
{
    const QVector<THistoryReading> readings = {At(0, 5, 5), At(5, 11), At(10, 0, 5), At(15, 0, 5), At(20, 0, 10),
                                               At(25, 12), At(30, 0, 2)};
    const QVector<TFaultMark> marks = FaultMarks(readings, kAll);
    ASSERT_EQ(marks.size(), 4);
    EXPECT_TRUE(std::isnan(marks[0].Value));  // no temperature before it
    EXPECT_EQ(marks[1].Time, kT0 + 10 * kMinute);
    EXPECT_EQ(marks[1].State, 5);
    EXPECT_EQ(marks[1].Value, 11);
    EXPECT_EQ(marks[2].State, 10);  // another status is another mark
    EXPECT_EQ(marks[3].Value, 12);
    EXPECT_EQ(marks[3].Sensor, 1);
}

TEST(TrendData, NearestReadingAndItsText)
{
    const QVector<THistoryReading> readings = {At(0, 21.5), At(10, 2730, 5), At(20, -3.25)};
    EXPECT_EQ(NearestReading({}, kT0), -1);
    EXPECT_EQ(NearestReading(readings, kT0 - 99 * kMinute), 0);
    EXPECT_EQ(NearestReading(readings, kT0 + 4 * kMinute), 0);
    EXPECT_EQ(NearestReading(readings, kT0 + 6 * kMinute), 1);
    EXPECT_EQ(NearestReading(readings, kT0 + 99 * kMinute), 2);
    const QString text = ReadingText(readings[1], QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Вход 5  "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("  T1 AAAA  T2 10,0"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("  Уставка 15,0"))) << text.toStdString();
}

TEST(TrendData, AProbeOutOfExchangeIsMarkedNeverDrawnAsAMeasurement)
{
    QVector<THistoryReading> readings = {At(0, 20), At(5, 21), At(10, 21), At(15, 22)};
    readings[1].OprosState = 3;  // no link: the controller repeats the last values
    readings[2].OprosState = 2;
    const QList<QPointF> line = SensorPoints(readings, 1, kAll, 100);
    ASSERT_EQ(line.size(), 2);
    EXPECT_EQ(line[0].y(), 20);
    EXPECT_EQ(line[1].y(), 22);
    const QVector<TFaultMark> marks = FaultMarks(readings, kAll);
    ASSERT_EQ(marks.size(), 6);  // one per sensor, where the probe left the exchange
    EXPECT_TRUE(marks[0].OutOfExchange);
    EXPECT_EQ(marks[0].Time, readings[1].Time);
    EXPECT_EQ(marks[0].Value, 20);
    EXPECT_EQ(marks[5].Value, 10);
}

TEST(TrendData, ASetPointNeverReadGivesNoPoint)
{
    const double unknown = std::numeric_limits<double>::quiet_NaN();
    const QVector<THistoryReading> readings = {At(0, 20, 1, unknown), At(5, 20, 1, 15), At(10, 20, 1, unknown)};
    const QList<QPointF> bound = BoundPoints(readings, kAll);
    ASSERT_FALSE(bound.isEmpty());
    for (const QPointF& p : bound)
        EXPECT_EQ(p.y(), 15);
    EXPECT_TRUE(ReadingText(readings[0], QLocale(QLocale::Russian)).endsWith(QStringLiteral("Уставка _ _")));
}
