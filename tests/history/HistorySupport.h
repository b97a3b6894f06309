#pragma once

#include "history/HistoryReading.h"
#include "history/HistoryStore.h"

#include <QDateTime>

#include <gtest/gtest.h>


// 2026-03-10 00:00:00 UTC: readings of a test start on a day boundary.
constexpr qint64 kDay0 = 1'773'100'800'000;
constexpr qint64 kMinute = 60'000;
constexpr qint64 kDayMs = 24 * 60 * kMinute;

// A reading whose temperatures move with n, in whole sixteenths as the registers give them.
inline THistoryReading MakeReading(int input, qint64 time, int n = 0)
{
    THistoryReading r;
    r.Time = time;
    r.Input = input;
    r.OprosState = 1;
    r.Battery = 90 - n % 7;
    r.Bound = 30.5;
    for (int i = 0; i < 6; ++i) {
        r.Temper[i] = 12.0 + i + (n % 40) / 16.0;
        r.TemperState[i] = 1;
    }
    return r;
}

inline void ExpectSame(const THistoryReading& expected, const THistoryReading& actual)
{
    EXPECT_EQ(expected.Time, actual.Time);
    EXPECT_EQ(expected.Input, actual.Input);
    EXPECT_TRUE(expected.SameValues(actual)) << "reading at " << expected.Time;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(expected.Temper[i], actual.Temper[i]);
    EXPECT_EQ(expected.Bound, actual.Bound);
}
