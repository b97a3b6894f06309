#include "device/VantorInput.h"
#include "station/InputCells.h"
#include "station/ProtocolTexts.h"
#include "values/TimeTexts.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// Input 5 as a poll leaves it: sensor 1 reads 21.5, sensor 3 holds 0xAAAA (state 5), the others
// are normal; set-points 1 and 2 active and inactive.
struct PolledInput : ::testing::Test
{
    PolledInput()
    {
        input.OprosState.SetValue(0);
        input.Battery = 87;
        input.SoftVersion = 3;
        input.PlantNumber = 20005;
        input.CRC = QStringLiteral("00 FF");
        for (int i = 0; i < kSensorCount; ++i) {
            input.TemperState[i].SetValue(1);
            input.Temper[i].SetValue(-1.25 * i);
            input.Bound[i].SetValue(tsUnknown);
        }
        input.Temper[0].SetValue(21.5);
        input.TemperState[2].SetValue(5);
        input.Bound[0].SetValue(tsTrue);
        input.Bound[1].SetValue(tsFalse);
        input.ChannelEnabled.SetValue(tsTrue);
        input.Interval = 5;
        input.TemperBound.SetValue(15.0625);
        input.SettingsKnown = true;  // as after the group's settings read
    }

    TVantorInput input{5};
};

}  // namespace

TEST_F(PolledInput, EveryColumnOfTheRowHasItsTextInTheLocalesForm)
{
    const QStringList expected = {"",      "Норма", "87", "3", "20005", "00 FF", "21,5", "-1,3", "AAAA", "-3,8",
                                  "-5,0",  "-6,3",  "1",  "0", "-",     "-",     "-",    "-",    "",     "15,0625",
                                  "5",     "Да",    "",   TimeText(input.OprosState.TimeOut.Time)};
    ASSERT_EQ(expected.size(), cells::kColumnCount);
    for (int column = 0; column < cells::kColumnCount; ++column)
        EXPECT_EQ(InputCellText(input, column), expected[column]) << "column " << column;
    // Hours, minutes and seconds, nothing after them.
    EXPECT_TRUE(QRegularExpression("^\\d{1,2}:\\d{2}:\\d{2}$").match(InputCellText(input, cells::kTime)).hasMatch())
        << InputCellText(input, cells::kTime).toStdString();
    EXPECT_EQ(InputCellText(input, 24), "");
}

TEST_F(PolledInput, TextsFollowTheValuesAndDigitsAsTheyChange)
{
    // Values come and go back from cycle to cycle; each shows as it is now.
    const std::pair<double, const char*> readings[] = {{21.4, "21,4"}, {21.5, "21,5"}, {0.0, "0,0"}, {-0.04, "-0,0"},
                                                       {21.5, "21,5"}};
    for (const auto& [value, text] : readings) {
        input.Temper[0].SetValue(value);
        EXPECT_EQ(InputCellText(input, cells::kFirstTemper), text) << value;
    }
    input.Temper[0].Description().Digits = 2;
    EXPECT_EQ(InputCellText(input, cells::kFirstTemper), "21,50");
    input.TemperBound.SetValue(15.0);
    EXPECT_EQ(InputCellText(input, 19), "15");
    input.TemperBound.Precision = 2;
    input.TemperBound.SetValue(15.0625);
    EXPECT_EQ(InputCellText(input, 19), "15");
}

TEST_F(PolledInput, ColoursComeFromTheStatesAsTheyAreNow)
{
    EXPECT_EQ(InputCellColor(input, 1), clBlack);
    EXPECT_EQ(InputCellColor(input, 6), clBlack);
    EXPECT_EQ(InputCellColor(input, 8), clRed);
    EXPECT_EQ(InputCellColor(input, 12), clRed);
    EXPECT_EQ(InputCellColor(input, 13), clBlack);
    EXPECT_EQ(InputCellColor(input, 14), clGray);
    EXPECT_EQ(InputCellColor(input, 21), clBlack);
    for (int column : {0, 2, 3, 4, 5, 18, 19, 20, 22, 23})
        EXPECT_FALSE(InputCellColor(input, column).has_value()) << column;

    // No cache: a new state shows at the next draw.
    input.OprosState.SetValue(3);
    input.TemperState[2].SetValue(1);
    EXPECT_EQ(InputCellColor(input, 1), clRed);
    EXPECT_EQ(InputCellColor(input, 8), clBlack);
}

TEST_F(PolledInput, CurrentChannelGridShowsSensorSixAtTheTop)
{
    EXPECT_EQ(CurChannelCellText(input, 5, 1), "21,5");
    EXPECT_EQ(CurChannelCellText(input, 5, 2), "1");
    EXPECT_EQ(CurChannelCellText(input, 3, 1), "AAAA");
    EXPECT_EQ(CurChannelCellColor(input, 3, 1), clRed);
    EXPECT_EQ(CurChannelCellText(input, 0, 1), "-6,3");
    EXPECT_EQ(CurChannelCellColor(input, 4, 2), clBlack);
    EXPECT_EQ(CurChannelCellText(input, 0, 0), "");
    EXPECT_EQ(CurChannelCellText(input, 6, 1), "");
    EXPECT_FALSE(CurChannelCellColor(input, -1, 1).has_value());
}

TEST_F(PolledInput, PanelTexts)
{
    EXPECT_EQ(CrcLabelText(input), "0x00FF");
    EXPECT_EQ(SensorLabelText(input, 3), "Термодатчик неисправен");
    EXPECT_EQ(SensorLabelText(input, 1), "Норма");
    EXPECT_EQ(EnabledText(input), "Да");
    input.CRC.clear();
    EXPECT_EQ(CrcLabelText(input), "_ _");
    // A probe CRC of any length is shown as it came.
    input.CRC = QStringLiteral("1A 2B 3C 4D 5E");
    EXPECT_EQ(CrcLabelText(input), "0x1A2B3C4D5E");
}

TEST(InputCells, UnreadAndOutOfRangeStatesDrawWithoutFailing)
{
    TVantorInput input(192);
    EXPECT_EQ(CrcLabelText(input), "_ _");
    EXPECT_EQ(EnabledText(input), "-");
    input.TemperState[0].SetValue(200);
    input.OprosState.SetValue(-7);
    input.ChannelEnabled.SetValue(99);
    input.Bound[0].SetValue(77);
    EXPECT_EQ(InputCellText(input, 6), "Неизвестно");
    EXPECT_EQ(InputCellText(input, 1), "Норма");
    EXPECT_EQ(InputCellText(input, 12), "");
    EXPECT_EQ(InputCellText(input, 21), "");
    EXPECT_EQ(SensorLabelText(input, 1), "");
    EXPECT_EQ(InputCellColor(input, 21), clBlack);
}

TEST(ProtocolTexts, FramesByRadixAndPercentagesWithTheLocalesComma)
{
    const QByteArray frame("\x01\x04\x00\x0A\x00\x40", 6);
    EXPECT_EQ(FrameText(frame, 16), "01 04 00 0A 00 40");
    EXPECT_EQ(FrameText(frame, 10), "1 4 0 10 0 64");
    EXPECT_EQ(FrameText({}, 10), "");
    EXPECT_EQ(PercentText(8, 8), "100,0");
    EXPECT_EQ(PercentText(7, 8), "87,5");
    EXPECT_EQ(PercentText(0, 0), "0,0");
}
