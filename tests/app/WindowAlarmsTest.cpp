#include "WindowFixture.h"

#include "app/StatusPanels.h"
#include "station/InputAlarms.h"
#include "station/InputCells.h"
#include "values/ColorNumber.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusTipEvent>

#include <cmath>
#include <map>

namespace {

double Luminance(const QColor& c)
{
    const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour most of a cell is painted in, its frame left out: what its text stands on.
QColor Background(const QImage& image, const QRect& cell)
{
    std::map<QRgb, int> counts;
    for (int y = cell.top() + 3; y <= cell.bottom() - 3; ++y)
        for (int x = cell.left() + 3; x <= cell.right() - 3; ++x)
            ++counts[image.pixel(x, y)];
    return QColor(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
}

bool HasAlarm(int n)
{
    return InputAlarms(Vantor()->Input(n), 0).Total() > 0;
}

}  // namespace

TEST_F(Window, AlarmsAreCountedAndF3WalksTheirRowsReadablySelected)
{
    OpenOnSimulator();
    ASSERT_TRUE(PollUntilCycle(49));
    PollTimer()->Stop();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
    const QString counts = Form->StatusPanels().AlarmPanel()->text();
    EXPECT_TRUE(counts.startsWith("Тревоги: нет связи ")) << counts.toStdString();
    EXPECT_TRUE(counts.contains("датчики ")) << counts.toStdString();

    // F3 from the top visits the rows with an alarm in order, and comes round again.
    QList<int> expected;
    for (int n = 2; n <= vantor::kInputCount + 1; ++n)
        if (HasAlarm((n - 1) % vantor::kInputCount + 1))
            expected << (n - 1) % vantor::kInputCount + 1;
    ASSERT_GE(expected.size(), 2);
    expected << expected.front();
    Grid()->setCurrentCell(0, 1);
    QList<int> visited;
    while (visited.size() < expected.size()) {
        QTest::keyClick(Grid(), Qt::Key_F3);
        visited << SelectedInputNumber();
    }
    EXPECT_EQ(visited, expected);
    auto* button = Control<QAbstractButton>("btNextAlarm");
    ASSERT_TRUE(button && button->isVisible());
    button->click();
    EXPECT_EQ(SelectedInputNumber(), expected[1]);

    // Every alarm colour reads at least 3:1 on what a selected alarm cell and any other stand on.
    const int row = SelectedInputNumber() - 1;
    int selectedColumn = 1;
    while (selectedColumn < cells::kColumnCount
           && !IsAlarmColor(InputCellColor(Vantor()->Input(row + 1), selectedColumn).value_or(clBlack)))
        ++selectedColumn;
    ASSERT_LT(selectedColumn, cells::kColumnCount);
    QApplication::processEvents();
    const QImage image = Grid()->viewport()->grab().toImage();
    const auto cell = [&](int r, int c) { return Grid()->visualItemRect(Grid()->item(r, c)); };
    const QColor onSelection = Background(image, cell(row, selectedColumn));
    const QColor onPlain = Background(image, cell(row == 0 ? 1 : row - 1, cells::kFirstTemper));
    EXPECT_NE(onSelection.rgb(), Grid()->palette().color(QPalette::Highlight).rgb());
    for (const TColor color : {clRed, clGray, clRise})
        for (const QColor& back : {onSelection, onPlain})
            EXPECT_GE(Contrast(ToQColor(color, Grid()->palette()), back), 3.0)
                << std::hex << color << " on " << back.name().toStdString();
    EXPECT_GE(Contrast(Qt::red, Form->StatusPanels().AlarmPanel()->palette().color(QPalette::Window)), 3.0);
}

TEST_F(Window, HintsLeaveTheStatusPanels)
{
    OpenOnSimulator();
    const QString states[3] = {Form->StatusText(0), Form->StatusText(1), Form->StatusText(2)};
    QStatusTipEvent tip(QStringLiteral("Завершить работу программы"));
    QApplication::sendEvent(Control<QMenuBar>("MainMenu1"), &tip);
    EXPECT_EQ(Form->StatusPanels().Hint(), "Завершить работу программы");
    for (int panel = 0; panel < 3; ++panel) {
        EXPECT_EQ(Form->StatusText(panel), states[panel]);
        EXPECT_TRUE(Form->StatusPanels().Panel(panel)->isVisible());
    }
}

TEST_F(Window, EveryMenuAndItemHasItsOwnLetterAndF10OpensTheMenus)
{
    FullMode = true;
    OpenOnSimulator();
    const auto letter = [](const QString& text) {
        const qsizetype at = text.indexOf(u'&');
        return at >= 0 && at + 1 < text.size() ? text[at + 1].toLower() : QChar();
    };
    QSet<QChar> menus;
    for (QAction* menuAction : Control<QMenuBar>("MainMenu1")->actions()) {
        QMenu* menu = menuAction->menu();
        ASSERT_TRUE(menu);
        const QChar title = letter(menu->title());
        EXPECT_FALSE(title.isNull()) << menu->title().toStdString();
        EXPECT_FALSE(menus.contains(title)) << menu->title().toStdString();
        menus << title;
        QSet<QChar> items;
        for (QAction* item : menu->actions()) {
            if (item->isSeparator())
                continue;
            const QChar c = letter(item->text());
            EXPECT_FALSE(c.isNull()) << item->text().toStdString();
            EXPECT_FALSE(items.contains(c)) << item->text().toStdString();
            // Russian where the caption has a Russian letter.
            if (item->iconText().contains(QRegularExpression("[А-Яа-яЁё]"))) {
                EXPECT_TRUE(c >= QChar(0x0410) && c <= QChar(0x0451)) << item->text().toStdString();
            }
            items << c;
        }
    }
    EXPECT_EQ(Control<QMenu>("mmControl")->title(), "&Управление");
    EXPECT_EQ(Action("actExit")->iconText(), "Выход");
    Action("actLog")->trigger();
    EXPECT_EQ(Action("actLog")->text(), "&Лог событий отключен");

    QTest::keyClick(Grid(), Qt::Key_F10);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000));
    EXPECT_EQ(QApplication::activePopupWidget()->objectName(), "mmControl");
    // Esc in a menu leaves the menu, not the program.
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 5000));
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(Window, OpensWithinTheDesktopAndTheWritePanelStaysWithinReachAtTheLeastSize)
{
    OpenOnSimulator();
    const QRect desktop = Form->screen()->availableGeometry();
    EXPECT_LE(Form->height(), desktop.height());
    EXPECT_GE(Form->y(), desktop.top());

    Form->resize(Form->minimumSize());
    QApplication::processEvents();
    auto* scroll = Control<QScrollArea>("sbPanel1");
    ASSERT_TRUE(scroll);
    // Scrolled to the right, the write panel shows whole, its controls and all.
    scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
    QApplication::processEvents();
    auto* panel = Control<QWidget>("gbWriteInput");
    const QRect shown(panel->mapTo(scroll->viewport(), QPoint()), panel->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(shown))
        << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
    EXPECT_TRUE(Control<QWidget>("btWrite")->isVisibleTo(Form.get()));
}
