#include "device/VantorInput.h"
#include "station/AlarmLines.h"
#include "station/InputAlarms.h"
#include "station/InputCells.h"

#include <gtest/gtest.h>

TEST(RiseRules, LineInTheFormOfTheSensorLinesWithTheLocalesComma)
{
    TVantorInput input(5);
    EXPECT_EQ(SensorRiseLine(input, 3, 1.5625), "Состояние датчика 5.3: рост 1,6 °С/сут ");
    EXPECT_EQ(SensorRiseLine(input, 6, 12.04), "Состояние датчика 5.6: рост 12,0 °С/сут ");
}

TEST(RiseRules, RisingSensorsTakeTheRiseColourOnlyWhileTheyShowATemperature)
{
    TVantorInput input(5);
    for (int i = 0; i < 6; ++i)
        input.TemperState[i].SetValue(1);
    input.TemperState[3].SetValue(5);  // 0xAAAA: its red wins
    const unsigned rising = 0b001100;  // sensors 3 and 4
    EXPECT_EQ(InputCellColor(input, cells::kFirstTemper + 2, rising), clRise);
    EXPECT_EQ(InputCellColor(input, cells::kFirstTemper + 3, rising), clRed);
    EXPECT_EQ(InputCellColor(input, cells::kFirstTemper + 1, rising), clBlack);
    // Other columns are not touched by the mask: set-point state 3 keeps its own colour.
    EXPECT_EQ(InputCellColor(input, cells::kFirstBound + 2, rising), InputCellColor(input, cells::kFirstBound + 2));
    EXPECT_EQ(InputCellColor(input, 2, rising), std::nullopt);
    // The current-channel grid: sensor 3 is row 3 (6 - 3), its text column 1.
    EXPECT_EQ(CurChannelCellColor(input, 3, 1, rising), clRise);
    EXPECT_EQ(CurChannelCellColor(input, 3, 2, rising), InputCellColor(input, cells::kFirstBound + 2));
    EXPECT_EQ(CurChannelCellColor(input, 3, 1), clBlack);
}

TEST(RiseRules, AlarmsAreCountedByKindWithARiseOnlyWhileItsSensorShowsATemperature)
{
    TVantorInput input(5);
    for (int i = 0; i < 6; ++i)
        input.TemperState[i].SetValue(1);
    input.TemperState[3].SetValue(5);   // 0xAAAA: a fault
    input.TemperState[0].SetValue(2);   // 0xAAA7: no sensor, no alarm
    TAlarmCounts counts = InputAlarms(input, 0b001100);  // sensors 3 and 4 rising
    EXPECT_EQ(counts, (TAlarmCounts{0, 1, 1}));
    input.OprosState.SetValue(3);  // "Нет связи"
    counts += InputAlarms(input, 0);
    EXPECT_EQ(AlarmCountsText(counts), "Тревоги: нет связи 1, датчики 2, рост 1");
    // Data that did not update shows no alarm.
    input.Stale = true;
    EXPECT_EQ(InputAlarms(input, 0b001100).Total(), 0);
    EXPECT_EQ(AlarmCountsText({}), "Тревог нет");
}
