#include "WindowFixture.h"

#include "transport/PortWatch.h"
#include "transport/TransmitterUnit.h"

#include <QFile>

#include <csignal>

namespace {

constexpr int kStateColumn = 1;
constexpr int kTimeColumn = 23;

class WindowPortLoss : public Window
{
protected:
    // The window polling the simulator behind a link, every 20 ms.
    void OpenOnLink()
    {
        ASSERT_TRUE(Simulator.Start({"--link", Link}));
        WriteSettings(Link, 20);
        Open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 2; }, 10000));
    }

    // Killed, as an adapter pulled out, and its device node goes with it: the link the simulator
    // leaves behind would lead to whichever pseudo-terminal takes its number next.
    void Unplug()
    {
        EXPECT_EQ(Simulator.Stop(SIGKILL), -1);
        QFile::remove(QString::fromStdString(Link));
    }

    bool WaitForStatus(const QString& text)
    {
        return QTest::qWaitFor([&] { return Form->StatusText(1) == text; }, 5000);
    }

    const std::string Link = Folder.Path("tty").toStdString();
    const QString Port = QString::fromStdString(Link);
};

}  // namespace

TEST_F(WindowPortLoss, AnUnpluggedPortIsShownAndLoggedOnceAndPollingGoesOnWhenItIsBack)
{
    OpenOnLink();
    Unplug();
    ASSERT_TRUE(WaitForStatus("Порт отключен: " + Port));
    // The whole text is seen, port path and all.
    QLabel* panel = Control<QLabel>("StatusPanel1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel->width() >= panel->sizeHint().width(); }, 2000));
    // The operator's polling stays on; it only waits for the device.
    EXPECT_EQ(Form->StatusText(2), "Опрос возобновлен");
    EXPECT_TRUE(Action("actOprosStop")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));
    const int cycles = Cycles;
    const int held = Vantor()->CurrentInput;
    const QString state = Vantor()->Input(held).OprosState.StateCaption();
    // After as many cycles as a silent controller takes, nothing shown passes for current.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text("lbModuleError") == "Нет ответа от устройства"; }, 5000));
    EXPECT_EQ(Cell(held, kStateColumn), "Данные не обновились");
    EXPECT_EQ(Text("lbCh_OprosState"), "Данные не обновились");
    EXPECT_EQ(Cell(192, kStateColumn), "") << "a row never polled stays empty";
    const int next = held >= vantor::kInputCount - vantor::kGroupSize + 1 ? 1 : held + vantor::kGroupSize;
    const QString before = Cell(next, kTimeColumn);

    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(WaitForStatus("Порт открыт"));
    // Back to the width of its own texts.
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel->width() == panel->minimumWidth(); }, 2000));
    EXPECT_GE(panel->minimumWidth(), 145);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles > cycles; }, 10000));
    // The group the loss cut short is the first one polled, and its row is drawn.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Cell(next, kTimeColumn) != before; }, 5000));
    EXPECT_EQ(Text("lbModuleError"), "Норма");
    EXPECT_EQ(Cell(held, kStateColumn), state);
    Form->close();
    EXPECT_EQ(LogLines("alarm").filter(Port), (QStringList{"Порт отключен: " + Port, "Порт " + Port + " восстановлен"}));
    EXPECT_EQ(LogLines("alarm").filter("Ошибка обмена"), QStringList{"Vantor Ошибка обмена: Нет ответа от устройства"});
    EXPECT_TRUE(LogLines("alarm").filter("Состояние обмена: Данные").isEmpty());
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
}

TEST_F(WindowPortLoss, ThePortClosedByTheOperatorWhileAwayIsNotReopened)
{
    OpenOnLink();
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));
    ASSERT_EQ(Simulator.Stop(SIGTERM), 0);
    ASSERT_TRUE(WaitForStatus("Порт отключен: " + Port));
    ASSERT_TRUE(Action("actPortClose")->isEnabled());
    Action("actPortClose")->trigger();
    EXPECT_EQ(Form->StatusText(1), "Порт закрыт");

    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    const int attempts = PortWatch()->Attempts();
    EXPECT_FALSE(QTest::qWaitFor([&] { return PortWatch()->Attempts() > attempts; }, 1500));
    EXPECT_EQ(Form->StatusText(1), "Порт закрыт");
    EXPECT_TRUE(Action("actPortOpen")->isEnabled());
}

TEST_F(WindowPortLoss, ClosingWhileTheDeviceIsAwayOrReturningEndsAtOnce)
{
    for (const bool returning : {false, true}) {
        OpenOnLink();
        Unplug();
        ASSERT_TRUE(WaitForStatus("Порт отключен: " + Port));
        SimulatorProcess again;
        if (returning) {
            ASSERT_TRUE(again.Start({"--link", Link}));
        }
        Form->close();
        Form.reset();
        StopUnits();
        EXPECT_TRUE(Folder.Read("LOG/alarm_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt").endsWith("\r\n"));
        Cycles = 0;
    }
}

TEST_F(WindowPortLoss, AnotherControllerBehindTheReturnedPortStopsPolling)
{
    OpenOnLink();
    Action("actOprosStop")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));
    Action("actSignRead")->trigger();
    ASSERT_EQ(Text("lbPlantNumber"), "3107");
    // As if the signature read had been another controller's: the simulator that comes back
    // answers with 3107.
    Vantor()->PlantNumber = 3108;
    Action("actOprosStart")->trigger();
    Unplug();
    ASSERT_TRUE(WaitForStatus("Порт отключен: " + Port));
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->StatusText(2) == "Опрос остановлен"; }, 5000));
    EXPECT_TRUE(Action("actOprosStart")->isEnabled());
    EXPECT_EQ(Cell(1, kStateColumn), "Данные не обновились");
    Form->close();
    EXPECT_EQ(LogLines("alarm").filter("другой прибор"),
              QStringList{"Vantor: отвечает другой прибор (зав. № 3107 вместо 3108), опрос остановлен"});
}
