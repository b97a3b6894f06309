#include "common/LocalClock.h"
#include "values/DateTime.h"
#include "values/IOData.h"
#include "values/TimeTexts.h"
#include "values/Variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using TKind = TVariant::TKind;

TEST(Variant, KindFollowsTheNumberGiven)
{
    EXPECT_EQ(TVariant().Kind(), TKind::UInt8);
    EXPECT_EQ(TVariant().ToDouble(), 0.0);
    EXPECT_EQ(TVariant(quint8(200)).Kind(), TKind::UInt8);
    EXPECT_EQ(TVariant(tsTrue).Kind(), TKind::UInt8);
    EXPECT_EQ(TVariant(-7).Kind(), TKind::Int32);
    EXPECT_EQ(TVariant(25.0).Kind(), TKind::Double);
    EXPECT_EQ(TVariant(2.5f).Kind(), TKind::Double);
    EXPECT_EQ(TVariant(quint16(60000)).Kind(), TKind::Int32);
    EXPECT_EQ(TVariant(qint64(1) << 40).Kind(), TKind::Double);
    EXPECT_EQ(TVariant(qint64(1) << 40).ToDouble(), 1099511627776.0);
    EXPECT_EQ(TVariant(4000000000u).ToDouble(), 4000000000.0);
    EXPECT_EQ(TVariant(true).ToInteger(), 1);
}

TEST(Variant, ComparesNumericallyAcrossKinds)
{
    EXPECT_EQ(TVariant(quint8(2)), TVariant(2));
    EXPECT_EQ(TVariant(2), TVariant(2.0));
    EXPECT_NE(TVariant(2), TVariant(2.5));
    EXPECT_NE(TVariant(quint8(255)), TVariant(-1));
    const TVariant nan(std::nan(""));
    EXPECT_NE(nan, nan);
    EXPECT_NE(nan, TVariant(0));
}

TEST(Variant, ReadingAsIntegerRoundsAndRefusesWhatIsNoInteger)
{
    EXPECT_EQ(TVariant(2.6).ToInteger(), 3);
    EXPECT_EQ(TVariant(-2.6).ToInteger(), -3);
    EXPECT_EQ(TVariant(2.5).ToInteger(), 2);  // halves to even
    EXPECT_EQ(TVariant(3.5).ToInteger(), 4);
    EXPECT_EQ(TVariant(quint8(255)).ToInteger(), 255);
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), 3e9, -3e9}) {
        qint32 result = 77;
        EXPECT_FALSE(TVariant(bad).TryToInteger(result)) << bad;
        EXPECT_EQ(result, 77);
        EXPECT_THROW(TVariant(bad).ToInteger(), std::range_error);
    }
}

TEST(Variant, TextForDiagnostics)
{
    EXPECT_EQ(TVariant(-12).ToString(), "-12");
    EXPECT_EQ(TVariant(21.5).ToString(), "21.5");
}

TEST(ThreeStates, ConvertToAndFromBooleans)
{
    EXPECT_EQ(BoolToThreeStates(true), tsTrue);
    EXPECT_EQ(BoolToThreeStates(false), tsFalse);
    EXPECT_TRUE(ThreeStatesToBool(tsTrue));
    EXPECT_FALSE(ThreeStatesToBool(tsFalse));
    EXPECT_FALSE(ThreeStatesToBool(tsUnknown));
    EXPECT_FALSE(ThreeStatesToBool(258));
}

TEST(DateTime, CountsDaysSinceTheEndOf1899InLocalTime)
{
    EXPECT_EQ(QDateTimeToDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_EQ(QDateTimeToDateTime(QDateTime(QDate(1970, 1, 1), QTime(18, 0))), 25569.75);
    EXPECT_EQ(SplitDateTime(45000.5).Date, QDate(2023, 3, 15));
    EXPECT_EQ(SplitDateTime(45000.5).Time, QTime(12, 0));
    EXPECT_FALSE(SplitDateTime(std::nan("")).Date.isValid());
    EXPECT_FALSE(SplitDateTime(std::numeric_limits<double>::infinity()).Date.isValid());
    // Split with no time zone: the stamp's own wall clock, whatever the zone makes of it.
    const TLocalDateTime split = SplitDateTime(45000.5 + 7.0 / 86400);
    EXPECT_EQ(split.Date, QDate(2023, 3, 15));
    EXPECT_EQ(split.Time, QTime(12, 0, 7));
    EXPECT_EQ(SplitDateTime(-0.25).Date, QDate(1899, 12, 29));
    EXPECT_FALSE(SplitDateTime(1e9).Time.isValid());
    EXPECT_TRUE(TimeText(45000.5 + 7.0 / 86400).contains(QStringLiteral("12:00:07")));
    EXPECT_TRUE(DateTimeText(45000.5 + 7.0 / 86400).endsWith(TimeText(45000.5 + 7.0 / 86400)));
    EXPECT_TRUE(TimeText(std::nan("")).isEmpty());
    EXPECT_TRUE(DateTimeText(std::numeric_limits<double>::infinity()).isEmpty());

    const TDateTime before = QDateTimeToDateTime(QDateTime::currentDateTime());
    const TDateTime now = NowDateTime();
    const TDateTime after = QDateTimeToDateTime(QDateTime::currentDateTime());
    const double millisecond = 1.0 / 86400000;
    EXPECT_GE(now, before - millisecond);
    EXPECT_LE(now, after + millisecond);

    // The cached clock reads the zone's own wall clock (the suite runs this in a zone east of UTC).
    const QDateTime zone = QDateTime::currentDateTime();
    const QDateTime cached = LocalNow();
    EXPECT_EQ(cached.offsetFromUtc(), zone.offsetFromUtc());
    EXPECT_LE(std::abs(QDateTime(zone.date(), zone.time()).msecsTo(QDateTime(cached.date(), cached.time()))), 1000);
}
