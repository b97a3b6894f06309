#include "common/OperatorMessage.h"
#include "values/LabelValues.h"
#include "values/Switches.h"
#include "values/TimeTexts.h"

#include <gtest/gtest.h>

namespace {

// A label that remembers what it was given and how often it was drawn.
struct RecordingLabel : TLabelView
{
    void SetCaption(const QString& caption) override
    {
        Caption = caption;
        ++Draws;
    }
    void SetHint(const QString& hint) override { Hint = hint; }
    void SetFontColor(TColor color) override { Color = color; }

    QString Caption = QStringLiteral("_ _");
    QString Hint;
    TColor Color = -1;
    int Draws = 0;
};

void DescribeModule(TIOThreeStates& value)
{
    TDescriptionOfThreeStates& d = value.Description();
    d.Title = QStringLiteral("Состояние обмена");
    d.Hint = QStringLiteral("Состояние обмена с Vantor");
    d.SetCaptions(QStringLiteral("Неизвестно"), QStringLiteral("Норма"), QStringLiteral("Нет ответа"));
    d.SetColors1(clGray, clBlack, clRed);
}

}  // namespace

TEST(LabelValues, ThreeStatesLabelFollowsItsSourceWithCaptionColourAndFourLineHint)
{
    TIOThreeStates source;
    DescribeModule(source);
    source.SetValue(tsFalse);

    RecordingLabel title, value;
    TIOThreeStatesLabel label;
    label.TitleLabel = &title;
    label.ValueLabel = &value;
    label.Assign(source);
    label.Link(&source);
    EXPECT_EQ(label.GetOutValue(), TVariant(tsFalse));

    const TDateTime stamp = QDateTimeToDateTime(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
    source.SetValue(tsTrue, stamp);
    EXPECT_EQ(title.Caption, "Состояние обмена");
    EXPECT_EQ(value.Caption, "Нет ответа");
    EXPECT_EQ(value.Color, clRed);
    EXPECT_EQ(value.Hint, QStringLiteral("Состояние обмена\rСостояние обмена с Vantor\rНет ответа\r") +
                              DateTimeText(stamp));
    EXPECT_TRUE(value.Hint.endsWith(TimeText(stamp)));
    EXPECT_FALSE(TimeText(stamp).isEmpty());

    // The same state again is no change: nothing is drawn until the next explicit Refresh.
    const int draws = value.Draws;
    source.Description().SetCaption(tsTrue, QStringLiteral("Ошибка CRC"));
    label.Assign(source);
    source.SetValue(tsTrue);
    EXPECT_EQ(value.Draws, draws);
    EXPECT_EQ(value.Caption, "Нет ответа");
    label.Refresh();
    EXPECT_EQ(value.Caption, "Ошибка CRC");
}

TEST(LabelValues, IntegerLabelFillsItsFourLabelsAndLeavesTheColour)
{
    TIOIntegerLabel label;
    label.Description().Title = QStringLiteral("Код ошибки");
    label.Description().Hint = QStringLiteral("Код ошибки Vantor");
    RecordingLabel title, value, dimension, caption;
    label.TitleLabel = &title;
    label.DimensionLabel = &dimension;
    label.CaptionLabel = &caption;

    // Without a value label only the other three are drawn.
    label.SetValue(3);
    EXPECT_EQ(title.Caption, "Код ошибки");
    EXPECT_EQ(dimension.Caption, "");
    EXPECT_EQ(caption.Caption, "Код ошибки, ");

    label.ValueLabel = &value;
    label.SetValue(-12);
    EXPECT_EQ(value.Caption, "-12");
    EXPECT_EQ(value.Color, -1);
    const QStringList lines = value.Hint.split(u'\r');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Код ошибки");
    EXPECT_EQ(lines[1], "Код ошибки Vantor");
    EXPECT_EQ(lines[2], "-12 ");
    EXPECT_FALSE(value.Hint.contains(u'\n'));
}

TEST(LabelValues, ALabelValueMayBeDestroyedWhileItsSourceLives)
{
    TIOThreeStates source;
    RecordingLabel value;
    {
        TIOThreeStatesLabel label;
        label.ValueLabel = &value;
        label.Link(&source);
    }
    source.SetValue(tsTrue);
    EXPECT_TRUE(source.Observers().empty());
    EXPECT_EQ(value.Draws, 0);
}

TEST(Switches, OnlyExactSwitchesCountAndAnyArgumentMayCarryThem)
{
    QuietErrors = true;
    FullMode = false;
    ReadSwitches({QStringLiteral("/DESIGN"), QStringLiteral("/Full"), QStringLiteral("full"), QStringLiteral("/full ")});
    EXPECT_TRUE(QuietErrors);
    EXPECT_FALSE(FullMode);

    ReadSwitches({QStringLiteral("/full"), QStringLiteral("x"), QStringLiteral("/full")});
    EXPECT_TRUE(FullMode);
    EXPECT_TRUE(QuietErrors);
    // The program path is compared too.
    ReadSwitches({QStringLiteral("/design")});
    EXPECT_FALSE(QuietErrors);
    QuietErrors = true;
    FullMode = false;
}
