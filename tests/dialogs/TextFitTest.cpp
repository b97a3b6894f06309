#include "dialogs/TextFit.h"

#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <gtest/gtest.h>

namespace {

int RoomInside(QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
}

// A caption drawn for a narrower font: the button widens until the room inside its frame holds
// the caption, and the button to its right moves along. A short caption asks for no more than
// its text and frame, below the 80 pixels of the style's hint.
TEST(TextFit, APushButtonWidensUntilItsCaptionFitsInsideItsFrame)
{
    QWidget form;
    auto* button = new QPushButton(QStringLiteral("Считать сигнатуру прибора"), &form);
    auto* next = new QPushButton(QStringLiteral("Далее"), &form);
    button->setGeometry(8, 8, 60, 25);
    next->setGeometry(76, 8, 60, 25);
    WidenColumn({button}, WidthForTexts(button, {button->text()}));
    EXPECT_GE(RoomInside(button), button->fontMetrics().horizontalAdvance(button->text()));
    EXPECT_GT(button->width(), 60);
    EXPECT_EQ(next->x(), button->x() + button->width() + 8);

    const int shortWidth = WidthForTexts(next, {QStringLiteral("OK")});
    EXPECT_GT(shortWidth, next->fontMetrics().horizontalAdvance(QStringLiteral("OK")));
    EXPECT_LT(shortWidth, 80);
}

}  // namespace
