#include "WindowFixture.h"
#include "WindowSupport.h"

#include "history/HistoryStore.h"
#include "history/RiseMonitor.h"
#include "station/InputCells.h"
#include "trends/FormTrends.h"

#include <QMenu>

#include <QDateTime>

namespace {

int RiseLines(const QStringList& lines)
{
    static const QRegularExpression rise(QStringLiteral("^Состояние датчика 5\\.3: рост 1,[456] °С/сут $"));
    int n = 0;
    for (const QString& line : lines)
        n += rise.match(line).hasMatch();
    return n;
}

bool HasPixel(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

}  // namespace

TEST_F(Window, ARisingSensorIsWrittenOnceToTheAlarmLogAndDrawnInTheRiseColour)
{
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Folder.Path(QStringLiteral("DATA/history.sqlite"))));
        ASSERT_TRUE(store.Append(RisingDay(QDateTime::currentMSecsSinceEpoch())));
    }
    OpenOnSimulator();
    TRiseMonitor* monitor = Form->RiseMonitor();
    ASSERT_TRUE(monitor);
    monitor->CheckIntervalMs = 0;  // every round checks input 5 again
    ASSERT_TRUE(PollUntilCycle(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return RiseLines(LogLines("alarm")) == 1; }, 10000))
        << LogLines("alarm").join(u'\n').toStdString();
    EXPECT_TRUE(monitor->IsRising(5, 3));
    EXPECT_FALSE(monitor->IsRising(5, 2));

    // Two more rounds: still rising, nothing more written.
    const int cycles = Cycles;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= cycles + 96 && !monitor->Busy(); }, 60000));
    EXPECT_EQ(RiseLines(LogLines("alarm")), 1);

    // The cell keeps its text and takes the rise colour; its neighbour keeps the state's black.
    Grid()->scrollToTop();
    const QString text = Cell(5, cells::kFirstTemper + 2);
    EXPECT_FALSE(text.isEmpty());
    const auto cellImage = [&](int column) {
        return Grid()->viewport()->grab(Grid()->visualItemRect(Grid()->item(4, column))).toImage();
    };
    EXPECT_TRUE(HasPixel(cellImage(cells::kFirstTemper + 2), QColor(200, 100, 0)));
    EXPECT_FALSE(HasPixel(cellImage(cells::kFirstTemper + 3), QColor(200, 100, 0)));
}

TEST_F(Window, WithoutAHistoryDatabaseNoRiseIsSeenAndNoneIsCreatedByTheWatch)
{
    OpenOnSimulator();
    Form->RiseMonitor()->CheckIntervalMs = 0;
    ASSERT_TRUE(PollUntilCycle(49));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->RiseMonitor()->Busy(); }, 10000));
    for (int n = 1; n <= vantor::kInputCount; ++n)
        EXPECT_EQ(Form->RiseMonitor()->RisingMask(n), 0u) << n;
    EXPECT_FALSE(QFile::exists(Folder.Path(QStringLiteral("DATA/history.sqlite"))));
}

TEST_F(Window, TheTrendsWindowOpensFromTheMenuAndThePanelOnTheSelectedInput)
{
    OpenOnSimulator();
    Grid()->setCurrentCell(6, 0);
    ASSERT_EQ(SelectedInputNumber(), 7);
    auto* button = Control<QPushButton>("btCh_Trends");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), QStringLiteral("Графики"));
    button->click();
    const auto trends = [&] { return Form->findChildren<TFormTrends*>(QStringLiteral("FormTrends")); };
    ASSERT_EQ(trends().size(), 1);
    EXPECT_TRUE(trends()[0]->isVisible());
    EXPECT_TRUE(trends()[0]->isWindow());
    EXPECT_EQ(trends()[0]->windowTitle(), QStringLiteral("Графики: вход 7"));

    auto* item = Form->findChild<QAction*>(QStringLiteral("miTrends"));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->iconText(), QStringLiteral("Графики"));
    EXPECT_TRUE(Control<QMenu>("mmHistory")->actions().contains(item));
    Grid()->setCurrentCell(8, 0);
    item->trigger();
    ASSERT_EQ(trends().size(), 2);
    // Esc in a trends window closes that window only.
    QTest::keyClick(trends()[1], Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return trends().size() == 1; }, 5000));
    EXPECT_TRUE(Form->isVisible());
}
