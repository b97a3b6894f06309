#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/PollTimer.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/PortWatch.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "SimulatorProcess.h"
#include "TestFolder.h"
#include "UnitsOnPort.h"

#include <QDate>
#include <QTest>

#include <QFile>

#include <csignal>
#include <optional>

#include <gtest/gtest.h>

namespace {

// The units polling the simulator behind a link, as the program polls an adapter under its name.
class PortLoss : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::vector<std::string> options = Faults;
        options.insert(options.end(), {"--link", Link});
        ASSERT_TRUE(Simulator.Start(options));
        ASSERT_TRUE(StartUnitsOnPort(Folder, Link, 5, PortSettings));
        LogRadix = 10;
        PortWatch()->OnVanish = [this](TCustomComPort*) { ++Vanished; };
        PortWatch()->OnReturn = [this](TCustomComPort*) { ++Returned; };
        RequestThread()->OnCycle = [this](TRequestThread*, const QString&) {
            ++Cycles;
            Polled.push_back(Vantor()->CurrentInput);
        };
        PollTimer()->OnTimer = PollTick;
        PollTimer()->SetInterval(20);
    }

    ~PortLoss() override
    {
        StopUnits();
        LogRadix = 0;
    }

    // Killed, as an adapter pulled out, and its device node goes with it: the link the simulator
    // leaves behind would lead to whichever pseudo-terminal takes its number next.
    void Unplug()
    {
        EXPECT_EQ(Simulator.Stop(SIGKILL), -1);
        QFile::remove(QString::fromStdString(Link));
    }

    qsizetype EventLogLines() const
    {
        return Folder.Read("LOG/log_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt").count("\r\n");
    }

    // Simulator faults and more keys of the transmitter's section, set by a fixture that needs them.
    std::vector<std::string> Faults;
    QByteArray PortSettings;
    TestFolder Folder;
    const std::string Link = Folder.Path("tty").toStdString();
    SimulatorProcess Simulator;
    int Vanished = 0;
    int Returned = 0;
    int Cycles = 0;
    std::vector<int> Polled;
};

}  // namespace

TEST_F(PortLoss, PollingHoldsWhileTheDeviceIsAwayAndGoesOnWithTheGroupItMissed)
{
    ResumePolling();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 3; }, 10000));
    Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Vanished == 1; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));

    // Two attempts to reopen, a second apart, with the poll timer ticking every 20 ms all along:
    // nothing goes to the line and the round stays where it is.
    const int held = Vantor()->CurrentInput;
    const qsizetype lines = EventLogLines();
    const int cycles = Cycles;
    ASSERT_TRUE(QTest::qWaitFor([&] { return PortWatch()->Attempts() >= 2; }, 5000));
    EXPECT_EQ(Vantor()->CurrentInput, held);
    EXPECT_EQ(EventLogLines(), lines);
    EXPECT_EQ(Cycles, cycles);
    EXPECT_TRUE(PollTimer()->Enabled());
    EXPECT_TRUE(Transmitter()->Connected());
    // Each tick away is a cycle without an answer: what is shown no longer passes for current.
    EXPECT_EQ(Vantor()->ModuleError.StateCaption(), "Нет ответа от устройства");
    EXPECT_TRUE(Vantor()->InputsStale());
    EXPECT_EQ(Vantor()->Input(held).ExchangeCaption(), "Данные не обновились");

    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Returned == 1; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= cycles + 2; }, 10000));
    EXPECT_EQ(Polled[cycles], held == vantor::kInputCount - vantor::kGroupSize + 1 ? 1 : held + vantor::kGroupSize);
    EXPECT_EQ(Polled[cycles + 1], Polled[cycles] + vantor::kGroupSize);
    EXPECT_EQ(Vantor()->ErrorCount, 0);
    EXPECT_EQ(Vantor()->ModuleError.StateCaption(), "Норма");
    EXPECT_FALSE(Vantor()->InputsStale());
    EXPECT_EQ(Vanished, 1);
}

TEST_F(PortLoss, AfterTheReturnTheSignatureTellsWhetherTheSameControllerAnswers)
{
    // The signature was read: the controller the poll is for is known by its plant number.
    ASSERT_TRUE(ExecuteCommand(cmdSignature1));
    const quint16 first = Vantor()->PlantNumber;
    quint16 expected = 0, found = 0;
    std::optional<bool> same;
    // Checked as the program checks, on the return itself, before any cycle runs again.
    PortWatch()->OnReturn = [&](TCustomComPort*) { same = SameControllerAfterReturn(expected, found); };
    for (const bool sameController : {true, false}) {
        SCOPED_TRACE(sameController);
        ResumePolling();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
        Unplug();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Vantor()->InputsStale(); }, 5000));
        // A fresh simulator answers with the plant number it starts with; the second time the
        // program holds another one, as after reading another controller before the loss.
        if (!sameController)
            Vantor()->PlantNumber = first + 1;
        same.reset();
        ASSERT_TRUE(Simulator.Start({"--link", Link}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return same.has_value(); }, 5000));
        EXPECT_EQ(*same, sameController);
        EXPECT_EQ(PollTimer()->Enabled(), sameController);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));
        EXPECT_EQ(Vantor()->InputsStale(), !sameController);
        PollTimer()->Stop();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));
        Cycles = 0;
    }
    EXPECT_EQ(expected, first + 1);
    EXPECT_EQ(found, first);
    EXPECT_EQ(OtherControllerText("Vantor", expected, found),
              QString("Vantor: отвечает другой прибор (зав. № %1 вместо %2), опрос остановлен").arg(first).arg(first + 1));
}

namespace {

// The controller dies half-way through its eighth answer, the readings of inputs 13..16 (the first
// group takes three answers, each later one two): the adapter pulled out mid-answer. A read that
// waits 200 ms of silence sees the line hang up rather than end on a cut answer.
class PortLossMidAnswer : public PortLoss
{
protected:
    PortLossMidAnswer()
    {
        Faults = {"--die-mid-answer", "8", "--gap-ms", "2"};
        PortSettings = "ReadInterval=200\r\n";
    }
};

}  // namespace

TEST_F(PortLossMidAnswer, TheGroupOnTheLineIsPolledFirstWhenTheDeviceIsBack)
{
    ResumePolling();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Vanished == 1; }, 10000));
    // Its link would lead to whichever pseudo-terminal takes its number next.
    QFile::remove(QString::fromStdString(Link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !RequestThread()->Busy(); }, 5000));
    EXPECT_EQ(Polled, (std::vector<int>{1, 5, 9}));
    // The round stays at the last group read while the device is away.
    ASSERT_TRUE(QTest::qWaitFor([&] { return PortWatch()->Attempts() >= 1; }, 5000));
    EXPECT_EQ(Vantor()->CurrentInput, 9);

    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", Link}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Returned == 1; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Polled.size() >= 5; }, 10000));
    EXPECT_EQ(Polled[3], 13);
    EXPECT_EQ(Polled[4], 17);
}
