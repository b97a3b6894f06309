#include "WindowFixture.h"

#include <QGroupBox>
#include <QMenu>

#include <set>

namespace {

std::set<QString> EnabledActions(const QWidget* form)
{
    std::set<QString> names;
    for (const QAction* action : form->findChildren<QAction*>())
        if (action->objectName().startsWith("act") && action->isEnabled())
            names.insert(action->objectName());
    return names;
}

const std::set<QString> kAlways = {"act10", "act16", "actClearStatistics", "actLog", "actSaveInputsConfig",
                                   "actFormAbout", "actExit"};

}  // namespace

TEST_F(Window, WhilePollingOnlyTheHarmlessActionsAreUsable)
{
    // Hidden actions cannot run: the full layout shows them all.
    FullMode = true;
    OpenOnSimulator();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    std::set<QString> expected = kAlways;
    expected.insert({"actOprosStop", "actInputNext"});
    EXPECT_EQ(EnabledActions(Form.get()), expected);
    EXPECT_TRUE(Action("actOprosConfigs")->isChecked());
    EXPECT_TRUE(Action("actLog")->isChecked());
    EXPECT_EQ(Action("actLog")->iconText(), "Лог событий ведется");
    EXPECT_EQ(Action("actFormAbout")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_NE(Form->findChild<QObject*>("ActionListMain"), nullptr);

    Action("actOprosStop")->trigger();
    expected = kAlways;
    expected.insert({"actInputNext", "actPortClose", "actOprosStart", "actOprosConfigs", "actConfigTimerInterval",
                     "actConfigSystemAddr", "actSignRead", "actWriteSignSysAddr", "actCommUpdateProgr",
                     "actCommServiceOpen", "actCommServiceClose", "actWriteInputParams", "actOpenInputsConfig"});
    EXPECT_EQ(EnabledActions(Form.get()), expected);
    EXPECT_EQ(Form->StatusText(2), "Опрос остановлен");

    // Polling the settings is a switch with its mark.
    Action("actOprosConfigs")->trigger();
    EXPECT_FALSE(PollSettings);
    EXPECT_FALSE(Action("actOprosConfigs")->isChecked());
    Action("actLog")->trigger();
    EXPECT_EQ(Action("actLog")->iconText(), "Лог событий отключен");
    EXPECT_EQ(Action("actLog")->toolTip(), "Лог событий опроса отключен");

    Action("actPortClose")->trigger();
    EXPECT_EQ(Form->StatusText(1), "Порт закрыт");
    EXPECT_TRUE(Action("actPortOpen")->isEnabled());
    EXPECT_TRUE(Action("actConfigComPort")->isEnabled());
    EXPECT_FALSE(Action("actSignRead")->isEnabled());
}

TEST_F(Window, CtrlFTogglesTheFullLayoutFromAnyControl)
{
    OpenOnSimulator();
    auto* statistics = Control<QGroupBox>("gbStatistics");
    auto* module = Control<QGroupBox>("gbModule");
    auto* commands = Control<QMenu>("mmCommands");
    EXPECT_TRUE(statistics->isHidden());
    EXPECT_EQ(module->height(), 109);
    EXPECT_FALSE(commands->menuAction()->isVisible());

    QTest::keyClick(Grid(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(FullMode);
    EXPECT_FALSE(statistics->isHidden());
    EXPECT_FALSE(Control<QGroupBox>("gbModbus")->isHidden());
    EXPECT_EQ(module->height(), 69);
    EXPECT_TRUE(commands->menuAction()->isVisible());
    EXPECT_TRUE(Action("actCommServiceOpen")->isVisible());

    QTest::keyClick(Grid(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(statistics->isHidden());
    EXPECT_EQ(module->height(), 109);
    QTest::keyClick(Control<QWidget>("eiWr_PlantNum"), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(statistics->isHidden());
    QTest::keyClick(Grid(), Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(statistics->isHidden());
    QTest::keyClick(Grid(), Qt::Key_F);
    EXPECT_TRUE(statistics->isHidden());
}

TEST_F(Window, StartedFullTheWindowOpensInItsFullLayout)
{
    FullMode = true;
    OpenOnSimulator();
    EXPECT_FALSE(Control<QGroupBox>("gbStatistics")->isHidden());
    EXPECT_TRUE(Action("actClearStatistics")->isVisible());
}

TEST_F(Window, EscFromTheGridClosesTheWindowAndDetachesIt)
{
    OpenOnSimulator();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    Grid()->setFocus();
    QTest::keyClick(Grid(), Qt::Key_Escape);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_FALSE(Vantor()->OnRequest);
    EXPECT_FALSE(RequestThread()->OnCycle);
    EXPECT_FALSE(Vantor()->Input(35).TemperState[3].OnChange);
    EXPECT_FALSE(PollTimer()->Enabled());
}

TEST_F(Window, ClosingDuringACycleDrawsNothingMoreAndShutsDown)
{
    // Every exchange waits out its read limit: the first cycle is still on the line.
    OpenOnSimulator({"--silent"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return RequestThread()->Busy(); }, 10000));
    Form->close();
    QTest::qWait(100);
    Form.reset();
    StopUnits();
    EXPECT_EQ(Cycles, 0);
}

TEST_F(Window, ClosingWhileTheCycleWaitsOnTheWindowDrawsNothingMore)
{
    OpenOnSimulator({"--silent"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return RequestThread()->Busy(); }, 10000));
    // The cycle's rows would be drawn as "not updated" when it ends.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Commands.size() >= 2; }, 10000));
    Form->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    EXPECT_EQ(Cell(1, 1), "");
    EXPECT_EQ(Cycles, 0);
}
