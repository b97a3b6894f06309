#include "device/CommandTable.h"
#include "device/PollTimer.h"
#include "device/Exchange.h"
#include "device/Frames.h"
#include "device/Operations.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"
#include "common/ByteText.h"
#include "common/Cp1251.h"
#include "common/OperatorMessage.h"
#include "device/SignatureFields.h"

#include "Fixtures.h"
#include "ExchangeInFlight.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"
#include "UnitsOnPort.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <iostream>
#include <thread>

namespace {

struct Seen
{
    QString Command;
    QByteArray Request;
    QByteArray Answer;
    bool Result;
};

class Polling : public ::testing::Test
{
protected:
    // portSettings: more keys of the transmitter's section. The simulator writes each answer at
    // once, so 10 ms of silence end it as surely as the port's 50.
    void Start(const std::vector<std::string>& simulator = {}, const QByteArray& portSettings = "ReadInterval=10\r\n")
    {
        ASSERT_TRUE(Simulator.Start(simulator));
        ASSERT_TRUE(StartUnitsOnPort(Folder, Simulator.Path(), 10, portSettings));
        LogRadix = 10;
        AnswersDue = simulator.empty();
        Vantor()->OnRequest = [this](TVantor*, const QString&, const QString& command, const QByteArray& request,
                                     const QByteArray& answer, bool result) {
            Exchanges.push_back({command, request, answer, result});
            GiveUpOnABrokenLine(answer);
        };
        RequestThread()->OnCycle = [this](TRequestThread*, const QString&) { ++Cycles; };
    }

    ~Polling() override
    {
        StopUnits();
        ComPauseRead = 50;
        PollSettings = true;
        LogRadix = 0;
    }

    // A simulator without faults answers every request, but for a moment in loading mode. Two
    // requests in a row without an answer mean a broken line: the port is closed, so that every
    // later exchange fails at once and the test ends in seconds rather than waiting out each
    // read limit.
    void GiveUpOnABrokenLine(const QByteArray& answer)
    {
        Unanswered = answer.isEmpty() ? Unanswered + 1 : 0;
        if (!AnswersDue || LineBroken || Unanswered < 2)
            return;
        LineBroken = true;
        ADD_FAILURE() << "two requests in a row without an answer: the line to the simulator is broken";
        Transmitter()->DeactivatePort();
    }

    // Cycles back to back, each started once the one before has ended.
    void RunCycles(int count)
    {
        for (int i = 0; i < count && !LineBroken; ++i) {
            const int before = Cycles;
            RequestThread()->Resume();
            ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles > before && !RequestThread()->Busy(); }, 10000));
        }
    }

    QByteArray EventLog() const
    {
        return Folder.Read("LOG/log_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt");
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
    std::vector<Seen> Exchanges;
    int Cycles = 0;
    bool AnswersDue = false;
    int Unanswered = 0;
    bool LineBroken = false;
};

}  // namespace

TEST_F(Polling, ARoundWalksEveryGroupThenStartsAgainAtOne)
{
    Start();
    RunCycles(vantor::kInputCount / vantor::kGroupSize + 1);

    std::vector<std::pair<int, quint16>> expected;  // function and first register
    for (int cycle = 0; cycle <= 48; ++cycle) {
        const int first = 1 + 4 * (cycle % 48);
        if (first == 1)
            expected.push_back({0x04, 0});
        expected.push_back({0x04, vantor::InputBlockFirst(first)});
        expected.push_back({0x03, vantor::SettingsBlockFirst(first)});
    }
    ASSERT_EQ(Exchanges.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Exchanges[i].Request[1], expected[i].first) << i;
        EXPECT_EQ(FirstRegister(Exchanges[i].Request), expected[i].second) << i;
        EXPECT_TRUE(Exchanges[i].Result) << i;
    }
    EXPECT_EQ(Exchanges[1].Command, "Считать показания четырех входов 1 - 4");
    EXPECT_EQ(Exchanges[Exchanges.size() - 4].Command, "Считать настройки четырех входов 189 - 192");
    EXPECT_EQ(Vantor()->ModuleError.StateCaption(), "Норма");
    for (int n = 1; n <= vantor::kInputCount; ++n)
        EXPECT_NE(Vantor()->Input(n).ChannelEnabled.GetOutValue().ToInteger(), tsUnknown) << n;
}

TEST_F(Polling, WithoutSettingsOnlyReadingsAreSent)
{
    Start();
    PollSettings = false;
    RunCycles(2);
    ASSERT_EQ(Exchanges.size(), 3u);
    EXPECT_EQ(FirstRegister(Exchanges[0].Request), 0);
    EXPECT_EQ(FirstRegister(Exchanges[1].Request), vantor::InputBlockFirst(1));
    EXPECT_EQ(FirstRegister(Exchanges[2].Request), vantor::InputBlockFirst(5));
}

// OnCycle comes once per cycle, after the parse of the cycle's last exchange, and sees whether the
// group's readings were read, with the settings asked or not; a failing subscriber is reported
// once and the next cycle runs.
TEST_F(Polling, OnCycleComesOnceAfterTheLastParseOfTheCycle)
{
    Start();
    struct TSeen
    {
        size_t Exchanges;
        int Group;
        bool Read;
    };
    std::vector<TSeen> seen;
    RequestThread()->OnCycle = [&](TRequestThread* sender, const QString&) {
        ++Cycles;
        seen.push_back({Exchanges.size(), sender->Group, sender->GroupRead});
    };
    RunCycles(2);
    PollSettings = false;
    RunCycles(2);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].Exchanges, 3u);
    EXPECT_EQ(seen[1].Exchanges, 5u);
    EXPECT_EQ(seen[2].Exchanges, 6u);
    EXPECT_EQ(seen[3].Exchanges, 7u);
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].Group, 1 + 4 * int(i)) << i;
        EXPECT_TRUE(seen[i].Read) << i;
    }

    QuietErrors = false;
    std::vector<QString> shown;
    const TShowMessage previous = SetShowMessage([&](const QString& caption, const QString& text, TMessageIcon) {
        shown.push_back(caption + ": " + text);
    });
    RequestThread()->OnCycle = [&](TRequestThread*, const QString&) {
        ++Cycles;
        throw std::runtime_error("a subscriber's failure");
    };
    const int before = Cycles;
    RunCycles(2);
    QCoreApplication::processEvents();
    SetShowMessage(previous);
    QuietErrors = true;
    EXPECT_EQ(Cycles - before, 2);
    EXPECT_EQ(Exchanges.size(), 9u);
    EXPECT_EQ(shown, std::vector<QString>(2, "Функция: OprosDevices"));
}

TEST_F(Polling, AResumeDuringACycleHasNoEffect)
{
    Start();
    RequestThread()->Resume();
    RequestThread()->Resume();
    ASSERT_TRUE(QTest::qWaitFor(ExchangeInFlight, 10000));
    RequestThread()->Resume();  // inside the first exchange
    // A second cycle would keep the worker busy until it too had ended.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles == 1 && !RequestThread()->Busy(); }, 10000));
    EXPECT_EQ(Exchanges.size(), 3u);
}

TEST_F(Polling, EveryExchangeIsLoggedInTheChosenRadix)
{
    Start();
    PollSettings = false;
    RunCycles(1);
    LogRadix = 16;
    RunCycles(1);
    LogRadix = 0;
    RunCycles(1);

    const auto exchangeLines = [](const Seen& e, bool hex) {
        const QString request = hex ? ToHexText(e.Request) : ToDecText(e.Request, true);
        const QString answer = hex ? ToHexText(e.Answer) : ToDecText(e.Answer, true);
        return ToCp1251(QString("  %1\r\n[%2] -> [%3]\r\n").arg(e.Command, request, answer));
    };
    ASSERT_EQ(Exchanges.size(), 4u);
    const QByteArray expected = exchangeLines(Exchanges[0], false) + exchangeLines(Exchanges[1], false) +
                                exchangeLines(Exchanges[2], true);
    // Time stamps vary; everything else is compared byte for byte.
    QString log = QString::fromLatin1(EventLog());
    const QRegularExpression stamp("(?m)^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d,\\d{3}");
    EXPECT_EQ(log.count(stamp), 3);
    log.remove(stamp);
    EXPECT_EQ(log.toLatin1(), expected);
}

TEST_F(Polling, ASilentControllerIsShownFailedAfterErrorMaxAndItsSettingsAreNotAsked)
{
    Start({"--silent"});
    RunCycles(1);  // general information and readings fail
    EXPECT_EQ(Vantor()->ModuleError.GetOutValue().ToInteger(), tsUnknown);
    RunCycles(1);
    EXPECT_EQ(Vantor()->ModuleError.StateCaption(), "Нет ответа от устройства");
    EXPECT_EQ(Vantor()->DeviceState, e_NoAnswer);
    ASSERT_EQ(Exchanges.size(), 3u);
    for (const Seen& e : Exchanges) {
        EXPECT_NE(e.Request[1], 0x03);
        EXPECT_TRUE(e.Answer.isEmpty());
    }
}

TEST_F(Polling, EveryCommandOfTheTableAgainstTheSimulator)
{
    Start();
    TVantor& vantor = *Vantor();
    EXPECT_TRUE(ExecuteCommand(cmdGeneralInfo));
    EXPECT_EQ(vantor.FreqChannel, 7);
    vantor.CurrentInput = 5;
    EXPECT_TRUE(ExecuteCommand(cmdReadInputs));
    EXPECT_EQ(vantor.Input(5).PlantNumber, 20005);
    EXPECT_TRUE(ExecuteCommand(cmdReadSettings));
    EXPECT_TRUE(ExecuteCommand(cmdReadModbus));

    vantor.WrBaud = 8;
    vantor.WrParity = 1;
    EXPECT_FALSE(ExecuteCommand(cmdWriteModbus));  // the service range is closed
    EXPECT_EQ(vantor.DeviceState, e_OK);           // one failure is not shown yet
    EXPECT_TRUE(ExecuteCommand(cmdOpenService));
    EXPECT_EQ(vantor.ServiceRange, 2);
    EXPECT_TRUE(ExecuteCommand(cmdWriteModbus));
    EXPECT_TRUE(ExecuteCommand(cmdReadModbus));
    EXPECT_EQ(vantor.ModbusBaud, 8);
    EXPECT_EQ(vantor.ModbusParity, 1);
    vantor.WrDevicePlantNumber = 3107;
    EXPECT_TRUE(ExecuteCommand(cmdWritePlantNumber));
    EXPECT_TRUE(ExecuteCommand(cmdCloseService));
    EXPECT_EQ(vantor.ServiceRange, 1);

    vantor.CurrentInput = 9;
    vantor.WrEnabled = 1;
    vantor.WrPlantNumber = 777;
    vantor.WrInterval = 12;
    vantor.WrBound = 16.5;
    EXPECT_TRUE(ExecuteCommand(cmdWriteInput));
    vantor.Input(9).TemperBound.SetValue(0);
    EXPECT_TRUE(ExecuteCommand(cmdReadSettings));  // reads back what was written
    EXPECT_DOUBLE_EQ(vantor.Input(9).TemperBound.Value(), 16.5);
    EXPECT_EQ(vantor.Input(9).PlantNumber, 777);
    EXPECT_EQ(vantor.Input(9).Interval, 12);

    for (const int command : {cmdSignature1, cmdSignature2, cmdSignature3})
        EXPECT_TRUE(ExecuteCommand(command)) << command;
    EXPECT_EQ(vantor.PlantNumber, 3107);
    EXPECT_FALSE(vantor.Manufacturer.isEmpty());
    EXPECT_FALSE(vantor.DeviceName.isEmpty());
    EXPECT_FALSE(vantor.CRC.isEmpty());

    vantor.WrSystemAddress = 2;  // the simulator answers the new address from now on
    EXPECT_TRUE(ExecuteCommand(cmdWriteAddress));
    EXPECT_EQ(vantor.SystemAddress(), 2);
    EXPECT_TRUE(ExecuteCommand(cmdGeneralInfo));

    EXPECT_TRUE(ExecuteCommand(cmdLoadingMode));
    EXPECT_FALSE(ExecuteCommand(cmdGeneralInfo));  // waiting for firmware, silent
    EXPECT_EQ(QString::fromLatin1(EventLog()).count(QStringLiteral("] -> [")), 19);
}

TEST_F(Polling, EverySetPointTheRegisterHoldsIsWrittenAndReadBackUnaltered)
{
    Start();
    TVantor& vantor = *Vantor();
    TVantorInput& input = vantor.Input(9);  // a live probe, its sensors at 2..23 degrees
    vantor.CurrentInput = 9;
    vantor.WrEnabled = 1;
    vantor.WrPlantNumber = 909;
    vantor.WrInterval = 5;
    for (const double bound : {-10.5, 20.0625, 2047.9375, -2048.0}) {
        SCOPED_TRACE(bound);
        vantor.WrBound = bound;
        ASSERT_TRUE(ExecuteCommand(cmdWriteInput));
        EXPECT_DOUBLE_EQ(input.TemperBound.Value(), bound);
        input.TemperBound.SetValue(0);
        ASSERT_TRUE(ExecuteCommand(cmdReadSettings));
        EXPECT_DOUBLE_EQ(input.TemperBound.Value(), bound);
        if (bound > 2 && bound < 23)
            continue;
        // The controller compares with the set-point it holds, sign included.
        ASSERT_TRUE(ExecuteCommand(cmdReadInputs));
        for (int i = 0; i < kSensorCount; ++i)
            EXPECT_EQ(input.Bound[i].GetOutValue().ToInteger(), bound < 2 ? tsTrue : tsFalse) << i;
    }
}

TEST_F(Polling, OperatorCommandsNeverBreakIntoAPollExchange)
{
    Start();
    PollTimer()->SetInterval(1);
    PollTimer()->OnTimer = PollTick;
    ResumePolling();
    int commands = 0;
    while (Cycles < 6) {
        for (const int command : {cmdReadModbus, cmdSignature1, cmdSignature2, cmdSignature3})
            EXPECT_TRUE(ExecuteCommand(command)) << command;
        ++commands;
        QCoreApplication::processEvents();
    }
    PollTimer()->Stop();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_GT(commands, 1);
    for (const Seen& e : Exchanges)
        EXPECT_TRUE(e.Result) << e.Command.toStdString();
    EXPECT_EQ(Vantor()->ErrorCount, 0);
}

TEST_F(Polling, ShutdownWhileTheWorkerWaitsOnTheLineEndsPromptly)
{
    Start({"--silent"});
    RequestThread()->Resume();
    ASSERT_TRUE(QTest::qWaitFor(ExchangeInFlight, 10000));
    QElapsedTimer clock;
    clock.start();
    StopUnits();
    std::cout << "[ measured ] shutdown during an exchange: " << clock.elapsed() << " ms\n";
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(Polling, ShutdownWhileTheWorkerWaitsOnTheUiThreadEndsPromptly)
{
    Start();
    RequestThread()->Resume();
    // The exchange is logged before the worker hands the answer over; the UI thread is not
    // serving events, so the worker is left waiting for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!EventLog().contains("] -> [") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(EventLog().contains("] -> ["));
    QElapsedTimer clock;
    clock.start();
    StopUnits();
    std::cout << "[ measured ] shutdown while the worker waits for the UI: " << clock.elapsed() << " ms\n";
    EXPECT_LT(clock.elapsed(), 2000);
    QCoreApplication::processEvents();  // the hand-over still queued must come to nothing
    EXPECT_TRUE(Exchanges.empty());
}

TEST_F(Polling, ALateAnswerIsNeverShownAsTheNextGroup)
{
    // Every answer comes after the read limit, 80 ms and the 14 ms a group takes at 115200 baud:
    // without a quiet line before the next request, each would be decoded as the following
    // group's.
    Start({"--late-ms", "100"},
          "BaudRate=115200\r\nReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n");
    int misplaced = 0;
    Vantor()->OnRequest = [&](TVantor* vantor, const QString&, const QString& command, const QByteArray& request,
                              const QByteArray& answer, bool result) {
        Exchanges.push_back({command, request, answer, result});
        for (int n = vantor->CurrentInput; n < vantor->CurrentInput + vantor::kGroupSize; ++n) {
            const int plant = vantor->Input(n).PlantNumber;
            if (plant != 0 && plant != 20000 + n)
                ++misplaced;
        }
    };
    std::atomic<int> transfers = 0;
    Transmitter()->OnTransact = [&](TTransmitter*, const QByteArray&, const QByteArray&) { ++transfers; };
    PollTimer()->SetInterval(1);
    PollTimer()->OnTimer = PollTick;
    ResumePolling();
    // One round and the step back to its start meet every change of group.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 48 + 1; }, 60000));
    PollTimer()->Stop();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
    Transmitter()->OnTransact = nullptr;

    EXPECT_EQ(misplaced, 0);
    const auto failed = std::count_if(Exchanges.begin(), Exchanges.end(), [](const Seen& e) { return !e.Result; });
    EXPECT_GT(failed, 40);
    // Every request on the line is logged, the failed ones too; most of those with no answer at
    // all, some with the front of a late answer cut by the read limit.
    const QString log = QString::fromLatin1(EventLog());
    EXPECT_EQ(log.count(QStringLiteral("] -> [")), transfers.load());
    EXPECT_GE(transfers.load(), static_cast<int>(Exchanges.size()));
    EXPECT_GT(log.count(QStringLiteral("] -> []")), failed / 2);
}

TEST_F(Polling, AnAnswerLaterThanAnyQuietWaitNeverLandsInAnotherGroup)
{
    // One round on a sound line tells every input's probe; then the line goes to controllers that
    // answer seconds late, well past the quiet wait, so that their answers come while later groups
    // are asked.
    const QByteArray quick = "ReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n";
    Start({}, quick);
    RunCycles(48);
    for (int n = 1; n <= vantor::kInputCount; ++n)
        ASSERT_TRUE(Vantor()->Input(n).SettingsKnown) << n;

    for (const int late : {2000, 3000, 5000}) {
        SCOPED_TRACE(late);
        SimulatorProcess slow;
        ASSERT_TRUE(slow.Start({"--late-ms", std::to_string(late)}));
        Transmitter()->DeactivatePort();
        Transmitter()->SetPort(QString::fromStdString(slow.Path()));
        ASSERT_TRUE(Transmitter()->ActivatePort());
        int misplaced = 0;
        std::atomic<int> landed = 0;
        const auto readings = [](const QByteArray& request) {
            return static_cast<quint8>(request[1]) == 0x04 && RegisterCount(request) == 64;
        };
        // A whole readings answer that came to another group's request: its first probe is not
        // the group's.
        Transmitter()->OnTransact = [&](TTransmitter*, const QByteArray& request, const QByteArray& answer) {
            const int first = (FirstRegister(request) - 10) / 16 + 1;
            if (readings(request) && answer.size() == 133 && MakeWord(answer[23], answer[24]) != 20000 + first)
                ++landed;
        };
        Vantor()->OnRequest = [&](TVantor* vantor, const QString&, const QString&, const QByteArray& request,
                                  const QByteArray&, bool result) {
            if (!readings(request))
                return;
            const int first = (FirstRegister(request) - 10) / 16 + 1;
            for (int n = first; result && n < first + vantor::kGroupSize; ++n) {
                const int plant = vantor->Input(n).PlantNumber;
                if (plant != 0 && plant != 20000 + n)
                    ++misplaced;
            }
        };
        PollTimer()->SetInterval(1);
        PollTimer()->OnTimer = PollTick;
        PollTimer()->Start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return landed >= 2; }, 20 * late));
        PollTimer()->Stop();
        ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
        Transmitter()->OnTransact = nullptr;
        EXPECT_EQ(misplaced, 0);
        for (int n = 1; n <= vantor::kInputCount; ++n) {
            const int plant = Vantor()->Input(n).PlantNumber;
            EXPECT_TRUE(plant == 0 || plant == 20000 + n) << "input " << n << " shows probe " << plant;
        }
    }
}

TEST_F(Polling, HandlersReassignedWhileCyclesRun)
{
    // Under ThreadSanitizer this shows a handler read in one thread while written in another.
    Start();
    PollSettings = false;
    PollTimer()->SetInterval(1);
    PollTimer()->OnTimer = PollTick;
    ResumePolling();
    std::atomic<int> transacts = 0;
    while (Cycles < 30) {
        RequestThread()->OnCycle = [this](TRequestThread*, const QString&) { ++Cycles; };
        Transmitter()->OnTransact = [&transacts](TTransmitter*, const QByteArray&, const QByteArray&) { ++transacts; };
        QCoreApplication::processEvents();
        Transmitter()->OnTransact = nullptr;
        RequestThread()->OnCycle = nullptr;
        RequestThread()->OnCycle = [this](TRequestThread*, const QString&) { ++Cycles; };
        QCoreApplication::processEvents();
    }
    PollTimer()->Stop();
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
    EXPECT_GT(transacts, 0);
}

TEST_F(Polling, ACommandFromANotificationUnderTheExchangeLockGoesThrough)
{
    Start();
    bool nested = false;
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString& command, const QByteArray& request,
                              const QByteArray& answer, bool result) {
        Exchanges.push_back({command, request, answer, result});
        if (!std::exchange(nested, true)) {
            EXPECT_TRUE(ExecuteCommand(cmdReadModbus));
        }
    };
    // A lock that is not re-entrant would hang here for ever.
    auto outer = std::async(std::launch::async, [] { return ExecuteCommand(cmdGeneralInfo); });
    if (outer.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the nested command deadlocked";
        std::_Exit(1);
    }
    EXPECT_TRUE(outer.get());
    ASSERT_EQ(Exchanges.size(), 2u);
    EXPECT_EQ(Exchanges[0].Command, CommandTable().Name(cmdGeneralInfo));
    EXPECT_EQ(Exchanges[1].Command, CommandTable().Name(cmdReadModbus));
    EXPECT_TRUE(Exchanges[1].Result);
}

TEST_F(Polling, AFailureInsideACycleEndsItAndStillRaisesOnCycle)
{
    Start();
    QuietErrors = false;
    std::vector<QString> shown;
    const TShowMessage previous = SetShowMessage([&](const QString& caption, const QString& text, TMessageIcon) {
        shown.push_back(caption + ": " + text);
    });
    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString& command, const QByteArray& request,
                              const QByteArray& answer, bool result) {
        Exchanges.push_back({command, request, answer, result});
        throw std::runtime_error("a subscriber's failure");
    };
    RunCycles(1);
    EXPECT_EQ(Exchanges.size(), 1u);  // the general information, then the cycle ended

    Vantor()->OnRequest = [&](TVantor*, const QString&, const QString& command, const QByteArray& request,
                              const QByteArray& answer, bool result) {
        Exchanges.push_back({command, request, answer, result});
        throw EConvertError(QStringLiteral("\"x\" не является допустимым целым числом"));
    };
    RunCycles(1);
    EXPECT_EQ(Exchanges.size(), 3u);  // a conversion error is shown and the cycle goes on
    QCoreApplication::processEvents();
    SetShowMessage(previous);
    QuietErrors = true;
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "TRequestThread.Visual: \"x\" не является допустимым целым числом");
}

// On a slow line the request and the answer take longer than the read limit set for a fast one:
// the simulator takes the request in and sends the answer at the line's pace, 11 bits a
// character. At 2400 baud a group answer alone takes 610 ms.
TEST_F(Polling, ASlowLineReadsGroupsAndTheSignatureAt2400Baud)
{
    Start({"--baud", "2400"}, "BaudRate=2400\r\n");
    RunCycles(2);
    ASSERT_EQ(Exchanges.size(), 5u);
    for (const Seen& e : Exchanges)
        EXPECT_TRUE(e.Result) << e.Command.toStdString() << ": " << e.Answer.size() << " bytes";
    EXPECT_EQ(Vantor()->Input(5).PlantNumber, 20005);
    EXPECT_EQ(ReadSignature(), 0);
    EXPECT_EQ(Vantor()->PlantNumber, 3107);
}

TEST_F(Polling, ASlowLineReadsAGroupAndTheSignatureAt1200Baud)
{
    Start({"--baud", "1200"}, "BaudRate=1200\r\n");
    RunCycles(1);
    ASSERT_EQ(Exchanges.size(), 3u);
    for (const Seen& e : Exchanges)
        EXPECT_TRUE(e.Result) << e.Command.toStdString() << ": " << e.Answer.size() << " bytes";
    EXPECT_EQ(ReadSignature(), 0);
    EXPECT_EQ(Vantor()->PlantNumber, 3107);
}

// Nobody answers a broadcast: its silence is no failed exchange whose late answer must be waited
// out before the next request (that wait lasts the read limit, here 1 s).
TEST_F(Polling, ABroadcastIsNotWaitedOutLikeAFailedExchange)
{
    Start({}, "ReadTotalConstant=1000\r\nReadTotalMultiplier=0\r\n");
    TVantor& vantor = *Vantor();
    vantor.SetSystemAddress(0);
    vantor.WrSystemAddress = 1;
    vantor.WrDevicePlantNumber = 3107;
    // Nothing is heard while it goes out: as far as the line tells, it went through.
    EXPECT_TRUE(ExecuteCommand(cmdWriteAddress));
    vantor.SetSystemAddress(1);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(ExecuteCommand(cmdReadModbus));
    EXPECT_LT(clock.elapsed(), 800);
}

// A late answer still due when the address is broadcast may drown it, unheard by anyone: the
// write counts as done only when the controller then answers at the new address.
TEST_F(Polling, ABroadcastBehindALateAnswerIsNeverReportedDone)
{
    Start({"--late-ms", "300"}, "ReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n");
    TVantor& vantor = *Vantor();
    EXPECT_FALSE(ExecuteCommand(cmdReadModbus));
    QString saveError;
    EXPECT_FALSE(WriteSystemAddress(5, 0, 3107, &saveError));
    EXPECT_EQ(vantor.SystemAddress(), 1);
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=1\r\n"));
    EXPECT_TRUE(saveError.isEmpty());
}

// Address 0 is the broadcast: no request but the address write goes there.
TEST_F(Polling, WithoutASystemAddressNothingButTheAddressWriteIsSent)
{
    Start();
    Vantor()->SetSystemAddress(0);
    for (int command = 0; command < kCommandCount; ++command) {
        if (command != cmdWriteAddress) {
            EXPECT_FALSE(ExecuteCommand(command)) << command;
        }
    }
    // The reason is told at the first tick, not at every one.
    int ticks = 0;
    int told = 0;
    PollTimer()->SetInterval(1);
    PollTimer()->OnTimer = [&](TCustomTimer* timer) {
        ++ticks;
        told += PollTick(timer) ? 1 : 0;
    };
    EXPECT_TRUE(ResumePolling());
    EXPECT_EQ(PollHeldReason(), AddressUnsetText());
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 20; }, 10000));
    PollTimer()->Stop();
    EXPECT_EQ(told, 0);
    EXPECT_EQ(Cycles, 0);
    EXPECT_TRUE(Exchanges.empty());
    EXPECT_TRUE(EventLog().isEmpty());
}

TEST(PollTimer, TicksAreNeverEarly)
{
    // The operator's period is a lower bound: a coarse timer would tick up to 5 % early.
    TCustomTimer timer;
    timer.SetInterval(100);
    QElapsedTimer clock;
    std::vector<qint64> gaps;
    // As the poll tick does: each tick restarts the period.
    timer.OnTimer = [&](TCustomTimer* sender) {
        if (clock.isValid())
            gaps.push_back(clock.nsecsElapsed());
        sender->SetSuspended(true);
        sender->SetSuspended(false);
        clock.start();
    };
    timer.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gaps.size() >= 8; }, 20000));
    timer.Stop();
    for (const qint64 gap : gaps)
        EXPECT_GE(gap, 99'000'000) << gap;
}

TEST(PollTimer, SettingsFileAndNotifications)
{
    TestFolder folder;
    TCustomTimer timer;
    timer.Name = "ctReqDevices";
    int changes = 0;
    timer.OnChange = [&changes](TCustomTimer*) { ++changes; };

    timer.LoadFromIni();  // no INI folder: nothing is created
    EXPECT_FALSE(QFileInfo::exists(folder.Path("INI")));
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 500);

    timer.SetInterval(-1);
    timer.SetInterval(500);
    EXPECT_EQ(changes, 0);
    timer.SetInterval(2000);
    timer.Start();
    timer.SetSuspended(true);
    EXPECT_FALSE(timer.Enabled());
    timer.SetSuspended(false);
    EXPECT_EQ(changes, 2);
    ASSERT_TRUE(timer.SaveToIni());
    EXPECT_EQ(folder.Read("INI/Timer.ini"), "[ctReqDevices]\r\nEnabled=1\r\nInterval=2000\r\n");
    timer.Stop();
    EXPECT_EQ(changes, 3);

    TCustomTimer back;
    back.Name = "ctReqDevices";
    back.LoadFromIni();
    EXPECT_TRUE(back.Enabled());
    EXPECT_EQ(back.Interval(), 2000);

    folder.Write("INI/Timer.ini", "[ctReqDevices]\r\nEnabled=yes\r\nInterval=-5\r\n");
    back.LoadFromIni();
    EXPECT_FALSE(back.Enabled());
    EXPECT_EQ(back.Interval(), 500);
    QFile::remove(folder.Path("INI/Timer.ini"));
    back.LoadFromIni();  // the INI folder exists now: an empty file is created
    EXPECT_TRUE(QFileInfo::exists(folder.Path("INI/Timer.ini")));
}
