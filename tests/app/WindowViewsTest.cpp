#include "WindowFixture.h"

#include "app/FrameField.h"
#include "values/TimeTexts.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QScreen>
#include <QSpinBox>

#include <csignal>

// The simulator's scenery: input 35 has sensor 4 in 0xAAAA, inputs 13, 38, .. have no link, inputs
// 16, 32, .. are disabled; probe plant numbers are 20000 + input.
TEST_F(Window, AFaultySensorShowsInTheGridThePanelAndOnceInTheAlarmLog)
{
    OpenOnSimulator();
    ASSERT_TRUE(PollUntilCycle(49));
    EXPECT_EQ(Cell(35, 9), "AAAA");
    EXPECT_EQ(Cell(35, 1), "Норма");
    EXPECT_EQ(Cell(13, 1), "Нет связи");
    EXPECT_EQ(Cell(16, 1), "Отключен");
    // A temperature in the locale's form.
    EXPECT_TRUE(QRegularExpression("^-?\\d+,\\d$").match(Cell(1, 6)).hasMatch()) << Cell(1, 6).toStdString();

    Grid()->setCurrentCell(34, 3);
    EXPECT_EQ(SelectedInputNumber(), 35);
    EXPECT_EQ(Control<QGroupBox>("gbCurrInput")->title(), "Текущий вход 35");
    EXPECT_EQ(Control<QGroupBox>("gbWriteInput")->title(), "Запись настроек входа 35");
    EXPECT_EQ(Text("lbCh_State4"), "Термодатчик неисправен");
    EXPECT_EQ(Text("lbCh_State1"), "Норма");
    EXPECT_EQ(Control<QTableWidget>("asgCurChannel")->item(2, 1)->text(), "AAAA");
    EXPECT_EQ(Control<QTableWidget>("asgCurChannel")->item(2, 0)->text(), "4");
    EXPECT_EQ(Text("lbCh_PlantNumber"), "20035");
    EXPECT_EQ(Text("lbCh_OprosState"), "Норма");
    EXPECT_EQ(Text("lbCh_Enabled"), "Да");
    EXPECT_TRUE(Text("lbCh_CRC").startsWith("0x"));
    EXPECT_EQ(Control<QCheckBox>("cbWr_Enabled")->text(), "Вход используется");

    Form->close();
    const QStringList alarms = LogLines("alarm");
    EXPECT_EQ(alarms.count("Состояние датчика 35.4: AAAA (Термодатчик неисправен) "), 1) << alarms.join('\n').toStdString();
    EXPECT_EQ(alarms.count("Vantor Состояние обмена: Норма"), 1);
    EXPECT_EQ(alarms.filter(QRegularExpression("^Вход 13 \\(№ \\d+\\) Состояние обмена: Нет связи$")).size(), 1);
    EXPECT_EQ(alarms.filter(QRegularExpression("^Вход 16 ")).size(), 0);
    EXPECT_EQ(alarms.filter(QRegularExpression("^Вход 1 \\(№ \\d+\\) Состояние обмена: Норма$")).size(), 1);
}

// Every cell the polls wrote is drawn on screen as the grid holds it, not as it was before.
TEST_F(Window, TheGridAndProtocolOnScreenAreWhatTheyHold)
{
    OpenOnSimulator();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    ASSERT_TRUE(PollUntilCycle(5));
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    QCoreApplication::processEvents();
    ASSERT_EQ(Cell(5, 6).isEmpty(), false);
    const QImage screen = Form->screen()->grabWindow(Form->winId()).toImage();
    const auto shownMatches = [&](QWidget* widget, const QRect& area) {
        const QImage shown =
            screen.copy(area.translated(widget->mapTo(Form.get(), QPoint(0, 0)))).convertToFormat(QImage::Format_RGB32);
        return shown == widget->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    };
    // The polled columns: the number column carries the current cell's focus frame, which a
    // widget's own picture draws apart.
    QWidget* viewport = Grid()->viewport();
    EXPECT_TRUE(shownMatches(viewport, viewport->rect().adjusted(Grid()->columnViewportPosition(1), 0, 0, 0)));
    // Each new frame redrew only what differed from the last one.
    for (const char* name : {"lbCommand", "eReq", "eAns"}) {
        QWidget* field = Control<TWordLine>(name);
        EXPECT_TRUE(shownMatches(field, field->rect())) << name;
    }
}

TEST_F(Window, ASilentControllerIsReportedOnceAndCountsRequestsWithoutAnswers)
{
    const std::string link = Folder.Path("tty").toStdString();
    ASSERT_TRUE(Simulator.Start({"--silent", "--link", link}));
    // Ticks close together: the third failure comes in the second cycle, not a long interval later.
    WriteSettings(link, 300);
    Open();
    // Three failures in a row (the default sensitivity) make the state.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text("lbModuleError") == "Нет ответа от устройства"; }, 30000));
    Form->findChild<QAction*>("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    EXPECT_EQ(Control<TFrameField>("eAns")->text(), "Нет ответа");
    EXPECT_EQ(Text("lblReqCount"), QString::number(Form->RequestCount()));
    EXPECT_GE(Form->RequestCount(), 3);
    EXPECT_EQ(Text("lblAnsCount"), "0");
    EXPECT_EQ(Text("lblReqPercent"), "100,0");
    EXPECT_EQ(Text("lblAnsPercent"), "0,0");
    Form->findChild<QAction*>("actClearStatistics")->trigger();
    EXPECT_EQ(Text("lblReqCount"), "0");
    EXPECT_EQ(Control<TWordLine>("lbCommand")->text(), "_ _");

    // The controller speaks again on the same line.
    Action("actPortClose")->trigger();
    ASSERT_EQ(Simulator.Stop(SIGTERM), 0);
    SimulatorProcess speaking;
    ASSERT_TRUE(speaking.Start({"--link", link}));
    Action("actPortOpen")->trigger();
    Action("actOprosStart")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text("lbModuleError") == "Норма"; }, 10000));
    Form->close();
    const QStringList alarms = LogLines("alarm");
    EXPECT_EQ(alarms.count("Vantor Ошибка обмена: Нет ответа от устройства"), 1);
    EXPECT_EQ(alarms.count("Vantor Состояние обмена: Норма"), 1);
    EXPECT_LT(alarms.indexOf("Vantor Ошибка обмена: Нет ответа от устройства"),
              alarms.indexOf("Vantor Состояние обмена: Норма"));
}

TEST_F(Window, TheProtocolAreaFollowsTheRadix)
{
    OpenOnSimulator();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
    EXPECT_TRUE(Action("act10")->isChecked());
    EXPECT_TRUE(QRegularExpression("^1 3 ").match(Control<TFrameField>("eReq")->text()).hasMatch());
    Action("act16")->trigger();
    EXPECT_EQ(LogRadix, 16);
    EXPECT_FALSE(Action("act10")->isChecked());
    Action("actOprosStart")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 2; }, 10000));
    EXPECT_TRUE(QRegularExpression("^01 03 ").match(Control<TFrameField>("eReq")->text()).hasMatch())
        << Control<TFrameField>("eReq")->text().toStdString();
    EXPECT_EQ(Text("lblAnsPercent"), "100,0");
}

// The hint is built when it is asked for: it names the state and the time of the last exchange.
TEST_F(Window, TheExchangeStateHintShowsTheLatestStateAndTime)
{
    OpenOnSimulator();
    auto* label = Control<QLabel>("lbModuleError");
    const auto hintLines = [&] {
        QHelpEvent ask(QEvent::ToolTip, QPoint(1, 1), label->mapToGlobal(QPoint(1, 1)));
        QCoreApplication::sendEvent(label, &ask);
        return label->toolTip().split('\n');
    };
    for (const int cycles : {2, 4}) {
        ASSERT_TRUE(PollUntilCycle(cycles));
        Action("actOprosStop")->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 10000));
        const QStringList lines = hintLines();
        ASSERT_EQ(lines.size(), 4) << label->toolTip().toStdString();
        EXPECT_EQ(lines[0], "Состояние обмена");
        EXPECT_EQ(lines[2], "Норма");
        EXPECT_EQ(lines[3], DateTimeText(Vantor()->ModuleError.TimeOut.Time));
        Action("actOprosStart")->trigger();
    }
}

TEST_F(Window, FixedWriteFieldsSurviveAMoveAndReloadWhenReleased)
{
    OpenOnSimulator();
    ASSERT_TRUE(PollUntilCycle(2));
    Action("actOprosStop")->trigger();
    auto* plant = Control<QSpinBox>("eiWr_PlantNum");
    Grid()->setCurrentCell(2, 0);
    EXPECT_EQ(plant->value(), 20003);

    QTest::mouseClick(Control<QCheckBox>("cbWr_Fix"), Qt::LeftButton);
    ASSERT_TRUE(Control<QCheckBox>("cbWr_Fix")->isChecked());
    plant->setValue(777);
    Control<QDoubleSpinBox>("enWr_Bound")->setValue(-3.5);
    Action("actInputNext")->trigger();
    EXPECT_EQ(SelectedInputNumber(), 4);
    EXPECT_EQ(plant->value(), 777);
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->value(), -3.5);

    QTest::mouseClick(Control<QCheckBox>("cbWr_Fix"), Qt::LeftButton);
    EXPECT_EQ(plant->value(), 20004);
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->value(), 15.0);
}

TEST_F(Window, NavigationStopsAtTheFirstAndLastInput)
{
    OpenOnSimulator();
    EXPECT_EQ(SelectedInputNumber(), 1);
    EXPECT_FALSE(Action("actInputPrev")->isEnabled());
    EXPECT_TRUE(Action("actInputNext")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>("btWr_Back")->isEnabled());
    Action("actInputNext")->trigger();
    EXPECT_EQ(SelectedInputNumber(), 2);
    EXPECT_TRUE(Action("actInputPrev")->isEnabled());
    Grid()->setCurrentCell(191, 0);
    EXPECT_EQ(SelectedInputNumber(), 192);
    EXPECT_FALSE(Action("actInputNext")->isEnabled());
    Action("actInputNext")->trigger();
    EXPECT_EQ(SelectedInputNumber(), 192);
    QTest::mouseClick(Control<QPushButton>("btWr_Back"), Qt::LeftButton);
    EXPECT_EQ(SelectedInputNumber(), 191);
}
