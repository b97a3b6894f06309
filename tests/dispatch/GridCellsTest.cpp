#include "GridCells.h"

#include <gtest/gtest.h>

namespace {

// Input 5 of the simulator's scenery: sensor 1 in status AAA7, the set-point reached at sensor 3.
TInputData Input5()
{
    TInputData d;
    const QByteArray payload =
        R"({"schema":2,"input":5,"state":0,"battery":26,"time":"2026-12-09T23:49:24.266Z","softVersion":33,"crc":"1A 2B",
            "sensors":[{"state":2,"temperature":null,"boundActive":null},{"state":1,"temperature":12.8125,"boundActive":false},
                       {"state":1,"temperature":15.5,"boundActive":true},{"state":1,"temperature":13.0,"boundActive":false},
                       {"state":1,"temperature":14.0,"boundActive":false},{"state":1,"temperature":null,"boundActive":false}],
            "bound":15,"periodMinutes":5,"enabled":true,"plantNumber":20005})";
    EXPECT_EQ(ParseInput(payload, 5, d), TSkip::None);
    return d;
}

QStringList Texts(const QVector<TCell>& cells)
{
    QStringList texts;
    for (const TCell& c : cells)
        texts << c.Text;
    return texts;
}

constexpr std::array<float, kSensors> kNone{NAN, NAN, NAN, NAN, NAN, NAN};

}  // namespace

// The window's texts and colours, in the operator's locale.
TEST(DispatchGrid, ARowReadsAsTheWindowsGrid)
{
    const TInputData d = Input5();
    const QVector<TCell> row = GridRow(5, d, d.Temperature, false, 0);
    ASSERT_EQ(row.size(), GridHeaders().size());
    const QStringList texts = Texts(row);
    EXPECT_EQ(texts.mid(0, 12), QStringList({"5", "Норма", "26", "33", "20005", "1A 2B", "AAA7", "12,8", "15,5", "13,0", "14,0", ""}));
    EXPECT_EQ(texts.mid(12, 6), QStringList({"-", "0", "1", "0", "0", "0"}));
    EXPECT_EQ(texts.mid(19, 3), QStringList({"15", "5", "Да"}));
    EXPECT_FALSE(texts[23].isEmpty());  // the time of the poll
    EXPECT_EQ(row[1].Color, "#000000");
    EXPECT_EQ(row[6].Color, "#808080");   // a status code
    EXPECT_EQ(row[14].Color, "#ff0000");  // the set-point reached
    EXPECT_EQ(GridHeaders()[6], "T 1");
}

TEST(DispatchGrid, StaleRisingAndOutOfExchangeRows)
{
    TInputData d = Input5();
    // The station silent: its rows as the window shows them while the line is away.
    QVector<TCell> row = GridRow(5, d, d.Temperature, true, 0);
    EXPECT_EQ(row[1].Text, "Данные не обновились");
    EXPECT_EQ(row[1].Color, "#808080");
    // A rise alarm colours a temperature, not a status.
    row = GridRow(5, d, d.Temperature, false, 0b11);
    EXPECT_EQ(row[6].Color, "#808080");
    EXPECT_EQ(row[7].Color, "#c86400");
    // Out of exchange the payload gives no temperatures: the last ones given are shown, and one
    // never given stays blank, not 0.
    d.State = 3;
    d.Temperature.fill(NAN);
    std::array<float, kSensors> shown = kNone;
    shown[1] = 12.8125f;
    row = GridRow(5, d, shown, false, 0);
    EXPECT_EQ(row[1].Text, "Нет связи");
    EXPECT_EQ(row[1].Color, "#ff0000");
    EXPECT_EQ(row[7].Text, "12,8");
    EXPECT_EQ(row[8].Text, "");
    // Settings never read show nothing.
    d.SettingsKnown = false;
    EXPECT_EQ(Texts(GridRow(5, d, shown, false, 0)).mid(19, 3), QStringList({"", "", "-"}));
}

TEST(DispatchGrid, AReadingOutOfExchangeHasNoValues)
{
    TReadingMessage m;
    m.Time = 1796860000000;
    m.State = 3;
    EXPECT_EQ(Texts(ReadingCells(m)), QStringList({"Нет связи", "", "", "", "", "", ""}));
    m.State = 0;
    m.SensorState = {1, 3, 1, 1, 1, 1};
    m.Temperature = {21.5f, NAN, 0, -1.0625f, 2, 3};
    EXPECT_EQ(Texts(ReadingCells(m)), QStringList({"Норма", "21,5", "AAA8", "0,0", "-1,1", "2,0", "3,0"}));
}
