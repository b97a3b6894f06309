#include "history/RiseDetector.h"

#include "TestFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

constexpr qint64 kMinute = 60'000;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
constexpr qint64 kNow = 1'750'000'000'000;  // a June afternoon, 2025

// A probe read every 5 minutes for hours up to now; sensor i's temperature at t ms before now is
// temper(i, t). Temperatures come at the register's resolution of 1/16 °C, as the controller
// gives them.
QVector<THistoryReading> Series(double hours, const std::function<double(int, qint64)>& temper)
{
    QVector<THistoryReading> readings;
    for (qint64 ago = qint64(hours * kHour); ago >= 0; ago -= 5 * kMinute) {
        THistoryReading r;
        r.Time = kNow - ago;
        r.Input = 7;
        r.Battery = 90;
        r.Bound = 15;
        for (int i = 0; i < 6; ++i) {
            r.Temper[i] = std::round(temper(i, ago) * 16) / 16;
            r.TemperState[i] = 1;
        }
        readings << r;
    }
    return readings;
}

// A little noise, as a real rod shows: ±0.2 °C in a fixed pattern.
double Noise(qint64 ago)
{
    return 0.2 * std::sin(double(ago) / (37 * kMinute)) * std::cos(double(ago) / (11 * kMinute));
}

double Rising(double perDay, qint64 ago)
{
    return 12 - perDay * double(ago) / kDay + Noise(ago);
}

}  // namespace

TEST(RiseRate, SteadyRodHasNoRise)
{
    const auto readings = Series(30, [](int i, qint64 ago) { return 10 + i + Noise(ago); });
    for (int sensor = 1; sensor <= 6; ++sensor) {
        const auto rate = RiseRate(readings, sensor, {}, kNow);
        ASSERT_TRUE(rate);
        EXPECT_LT(std::abs(*rate), 0.2) << sensor;
    }
    TRiseTracker tracker;
    EXPECT_TRUE(tracker.Update(7, readings, kNow).isEmpty());
}

TEST(RiseRate, RodRisingOneAndAHalfDegreesADayIsFound)
{
    // Sensor 3 heats; the others stay.
    const auto readings = Series(24, [](int i, qint64 ago) { return i == 2 ? Rising(1.5, ago) : 11 + Noise(ago); });
    const auto rate = RiseRate(readings, 3, {}, kNow);
    ASSERT_TRUE(rate);
    EXPECT_NEAR(*rate, 1.5, 0.1);
    TRiseTracker tracker;
    const auto rises = tracker.Update(7, readings, kNow);
    ASSERT_EQ(rises.size(), 1);
    EXPECT_EQ(rises[0].Sensor, 3);
    EXPECT_NEAR(rises[0].RatePerDay, 1.5, 0.1);
    EXPECT_TRUE(tracker.IsRising(7, 3));
    EXPECT_EQ(tracker.RisingMask(7), 0b100u);
    EXPECT_FALSE(tracker.IsRising(8, 3));
}

TEST(RiseRate, FallingRodIsNoRise)
{
    const auto readings = Series(24, [](int, qint64 ago) { return Rising(-3, ago); });
    TRiseTracker tracker;
    EXPECT_TRUE(tracker.Update(7, readings, kNow).isEmpty());
}

TEST(RiseRate, SensorFaultInTheMiddleIsSkipped)
{
    // Four hours of status 0xAAAA mid-series; the register then decodes to 2730.625 °C, which
    // counted as a temperature would fake a huge rise on the steady rod and a fall on the rising one.
    auto steady = Series(24, [](int, qint64 ago) { return 11 + Noise(ago); });
    auto rising = Series(24, [](int, qint64 ago) { return Rising(1.5, ago); });
    for (auto* series : {&steady, &rising})
        for (THistoryReading& r : *series)
            if (r.Time > kNow - 10 * kHour && r.Time < kNow - 6 * kHour) {
                r.TemperState[0] = 5;
                r.Temper[0] = 0xAAAA / 16.0;
            }
    const auto steadyRate = RiseRate(steady, 1, {}, kNow);
    ASSERT_TRUE(steadyRate);
    EXPECT_LT(std::abs(*steadyRate), 0.2);
    const auto risingRate = RiseRate(rising, 1, {}, kNow);
    ASSERT_TRUE(risingRate);
    EXPECT_NEAR(*risingRate, 1.5, 0.15);
}

TEST(RiseRate, StaleReadingsOfAProbeOutOfExchangeAreSkipped)
{
    // Out of link the controller repeats the last values; counted, they would flatten the slope.
    auto readings = Series(24, [](int, qint64 ago) { return Rising(2, ago); });
    for (THistoryReading& r : readings)
        if (r.Time > kNow - 12 * kHour) {
            r.OprosState = 3;
            r.Temper = readings.front().Temper;
        }
    const auto rate = RiseRate(readings, 1, {}, kNow);
    ASSERT_TRUE(rate);
    EXPECT_NEAR(*rate, 2, 0.2);
}

TEST(RiseRate, TooFewHoursGiveNoRate)
{
    const auto steep = [](int, qint64 ago) { return Rising(10, ago); };
    EXPECT_FALSE(RiseRate(Series(5.5, steep), 1, {}, kNow));
    EXPECT_TRUE(RiseRate(Series(6, steep), 1, {}, kNow));
    // Hours of readings with the sensor mostly in fault: the real temperatures span too little.
    auto faulty = Series(24, steep);
    for (THistoryReading& r : faulty)
        if (r.Time < kNow - 4 * kHour)
            r.TemperState[0] = 5;
    EXPECT_FALSE(RiseRate(faulty, 1, {}, kNow));
    EXPECT_FALSE(RiseRate({}, 1, {}, kNow));
    EXPECT_FALSE(RiseRate(Series(24, steep), 0, {}, kNow));
    EXPECT_FALSE(RiseRate(Series(24, steep), 7, {}, kNow));
}

TEST(RiseRate, OnlyTheWindowBeforeNowCounts)
{
    // A day of steady readings, then a sharp rise over the last 8 hours: a 24-hour window dilutes
    // the rise, an 8-hour one sees it; readings after now are not counted.
    auto readings =
        Series(48, [](int, qint64 ago) { return ago > 8 * kHour ? 10.0 : 10 + 3.0 * (8 * kHour - ago) / kDay; });
    TRiseSettings narrow;
    narrow.WindowHours = 8;
    EXPECT_NEAR(*RiseRate(readings, 1, narrow, kNow), 3, 0.1);
    EXPECT_NEAR(*RiseRate(readings, 1, narrow, kNow - 8 * kHour), 0, 0.01);
}

TEST(RiseTracker, ReportsARiseOnceUntilItClearlyEnds)
{
    TRiseTracker tracker;
    using Rates = std::array<std::optional<double>, 6>;
    EXPECT_EQ(tracker.Update(5, Rates{1.6}).size(), 1);
    // Still rising, or wavering just under the rate: no new report.
    EXPECT_TRUE(tracker.Update(5, Rates{1.7}).isEmpty());
    EXPECT_TRUE(tracker.Update(5, Rates{0.95}).isEmpty());
    EXPECT_TRUE(tracker.Update(5, Rates{1.1}).isEmpty());
    EXPECT_TRUE(tracker.IsRising(5, 1));
    // Clearly ended, then a new rise: reported again.
    EXPECT_TRUE(tracker.Update(5, Rates{0.2}).isEmpty());
    EXPECT_FALSE(tracker.IsRising(5, 1));
    EXPECT_EQ(tracker.Update(5, Rates{1.2}).size(), 1);
    // No slope at all (readings gone, sensor in fault) ends it too.
    EXPECT_TRUE(tracker.Update(5, Rates{}).isEmpty());
    EXPECT_EQ(tracker.RisingMask(5), 0u);
    // Exactly the rate is not above it.
    EXPECT_TRUE(tracker.Update(5, Rates{1.0}).isEmpty());
    // Inputs are kept apart.
    tracker.Update(6, Rates{{{}, {}, {}, {}, {}, 4.0}});
    EXPECT_TRUE(tracker.IsRising(6, 6));
    EXPECT_FALSE(tracker.IsRising(5, 6));
}

TEST(RiseSettings, FromTheControllerSettingsFileWithDefaultsForJunk)
{
    TestFolder folder;
    const QString path = folder.Path(QStringLiteral("INI/VANTOR.ini"));
    TRiseSettings settings = ReadRiseSettings(path);  // no file
    EXPECT_DOUBLE_EQ(settings.RatePerDay, 1.0);
    EXPECT_DOUBLE_EQ(settings.MinHours, 6);
    EXPECT_DOUBLE_EQ(settings.WindowHours, 24);

    folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[RiseAlarm]\r\nRatePerDay=0.5\r\nMinHours=12\r\n");
    settings = ReadRiseSettings(path);
    EXPECT_DOUBLE_EQ(settings.RatePerDay, 0.5);
    EXPECT_DOUBLE_EQ(settings.MinHours, 12);

    // A window shorter than the hours it must hold is widened.
    folder.Write("INI/VANTOR.ini", "[RiseAlarm]\r\nRatePerDay=2.5\r\nMinHours=30\r\nWindowHours=10\r\n");
    settings = ReadRiseSettings(path);
    EXPECT_DOUBLE_EQ(settings.RatePerDay, 2.5);
    EXPECT_DOUBLE_EQ(settings.WindowHours, 30);

    for (const char* junk : {"abc", "-1", "0", "nan", "inf", "1e308", ""}) {
        folder.Write("INI/VANTOR.ini", QByteArray("[RiseAlarm]\r\nRatePerDay=") + junk + "\r\nMinHours=" + junk +
                                           "\r\nWindowHours=" + junk + "\r\n");
        settings = ReadRiseSettings(path);
        EXPECT_DOUBLE_EQ(settings.RatePerDay, 1.0) << junk;
        EXPECT_DOUBLE_EQ(settings.MinHours, 6) << junk;
        EXPECT_DOUBLE_EQ(settings.WindowHours, 24) << junk;
    }
}
