#include "ExchangeInFlight.h"
#include "WindowFixture.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryUnit.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QSpinBox>

#include <cmath>

class WindowGroups : public Window
{
protected:
    ~WindowGroups() override
    {
        Form.reset();
        HistoryShutdown();
    }

    QVector<THistoryReading> History(int input)
    {
        HistoryRecorder()->WaitWritten();
        THistoryStore store;
        EXPECT_TRUE(store.Open(HistoryPath())) << store.ErrorText().toStdString();
        return store.Query(input, 0, QDateTime::currentMSecsSinceEpoch() + 60'000);
    }

    void ClickWrite() { Form->findChild<QPushButton*>("btWrite")->click(); }
};

TEST_F(WindowGroups, AGroupOnTheLineWhenPollingStopsIsShownAndKeptAsItselfWhateverTheNextCommandSets)
{
    OpenOnSimulator({"--late-ms", "300"});
    HistoryStartup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 20000));
    // The next cycle reads inputs 5..8; the operator does not wait for it.
    PollTimer()->SetInterval(5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles == 1 && RequestThread()->Busy() && ExchangeInFlight(); }, 20000));
    Action("actOprosStop")->trigger();
    Grid()->setCurrentCell(99, 1);
    ASSERT_EQ(SelectedInputNumber(), 100);
    Control<QCheckBox>("cbWr_Enabled")->click();
    Control<QSpinBox>("eiWr_OprosInterval")->setValue(10);
    Control<QDoubleSpinBox>("enWr_Bound")->setValue(20);
    Control<QSpinBox>("eiWr_PlantNum")->setValue(20100);
    ClickWrite();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 20000));
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    ASSERT_EQ(Cycles, 2);

    for (int n = 5; n <= 8; ++n)
        EXPECT_EQ(Cell(n, 4), QString::number(20000 + n)) << n;
    for (int n = 100; n <= 103; ++n) {
        const QString plant = Cell(n, 4);
        EXPECT_TRUE(plant.isEmpty() || plant == QString::number(20000 + n)) << n << ": " << plant.toStdString();
        EXPECT_TRUE(History(n).isEmpty()) << n;
    }
    EXPECT_EQ(History(6).size(), 1);
    // The next round starts at inputs 1..4 again.
    const int before = Commands.size();
    Action("actOprosStart")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Commands.size() > before + 1; }, 20000));
    EXPECT_TRUE(Commands.value(before + 1).endsWith(" 1 - 4")) << Commands.value(before + 1).toStdString();
}

TEST_F(WindowGroups, AFailedReadRecordsNothingAndSettingsNeverReadStayUnknown)
{
    // Requests 1 and 2 read group 1's general information and readings; from the third on every
    // answer is an exception: group 1's settings and every later group fail.
    OpenOnSimulator({"--exception", "4", "--exception-from", "3"});
    HistoryStartup();
    ASSERT_TRUE(PollUntilCycle(4));
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));

    const QVector<THistoryReading> first = History(1);
    ASSERT_EQ(first.size(), 1);
    EXPECT_TRUE(std::isnan(first[0].Bound));
    for (int n = 5; n <= 16; ++n)
        EXPECT_TRUE(History(n).isEmpty()) << n;

    // Readings came, settings did not: shown as unread, not as zeros.
    EXPECT_EQ(Cell(1, 4), "20001");
    EXPECT_EQ(Cell(1, 19), "");
    EXPECT_EQ(Cell(1, 20), "");
    EXPECT_EQ(Cell(1, 21), "-");
    Grid()->setCurrentCell(0, 1);
    ASSERT_EQ(SelectedInputNumber(), 1);
    EXPECT_EQ(Text("lbCh_Bound"), "_ _");
    EXPECT_EQ(Text("lbCh_Interval"), "_ _");
    EXPECT_EQ(Control<QSpinBox>("eiWr_OprosInterval")->text(), "_ _");
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->text(), "_ _");
    EXPECT_EQ(Control<QCheckBox>("cbWr_Enabled")->checkState(), Qt::PartiallyChecked);

    // Only the plant number typed: nothing goes on the line.
    Control<QSpinBox>("eiWr_PlantNum")->setValue(31000);
    const int before = Commands.size();
    ClickWrite();
    EXPECT_EQ(Commands.size(), before);
    EXPECT_TRUE(Messages.Messages.value(0).contains(QStringLiteral("не считаны"))) << Messages.Messages.join('\n').toStdString();
}

TEST_F(WindowGroups, TheWriteFieldsGiveBackWhatTheControllerHoldsAndHoldOnlyTypedValuesToTheirRange)
{
    OpenOnSimulator();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 20000));
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
    // As the configuration write or the command line may leave it: the register's range.
    TVantor& vantor = *Vantor();
    vantor.CurrentInput = 2;
    vantor.WrEnabled = 1;
    vantor.WrInterval = 5000;
    vantor.WrBound = 120.5;
    vantor.WrPlantNumber = 20002;
    ASSERT_TRUE(ExecuteCommand(cmdWriteInput));
    ASSERT_TRUE(ExecuteCommand(cmdReadSettings));  // CurrentInput is 2: reads inputs 2..5
    Grid()->setCurrentCell(1, 1);
    ASSERT_EQ(SelectedInputNumber(), 2);
    EXPECT_EQ(Control<QSpinBox>("eiWr_OprosInterval")->value(), 5000);
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->value(), 120.5);

    Control<QSpinBox>("eiWr_PlantNum")->setValue(20222);
    ClickWrite();
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
    EXPECT_EQ(vantor.WrInterval, 5000);
    EXPECT_EQ(vantor.WrBound, 120.5);
    EXPECT_EQ(vantor.WrPlantNumber, 20222);

    // Typed, the same numbers are held to the fields' ranges, and shown so.
    Control<QSpinBox>("eiWr_OprosInterval")->setValue(4999);
    Control<QDoubleSpinBox>("enWr_Bound")->setValue(110);
    ClickWrite();
    EXPECT_EQ(vantor.WrInterval, 4320);
    EXPECT_EQ(vantor.WrBound, 100.0);
    EXPECT_EQ(Control<QSpinBox>("eiWr_OprosInterval")->value(), 4320);
    EXPECT_EQ(Control<QDoubleSpinBox>("enWr_Bound")->value(), 100.0);
}
