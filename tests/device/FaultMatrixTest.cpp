// Each fault the simulator can put on the line, polled by the real request thread for as many
// cycles as the controller's failure threshold: what the controller's exchange state shows then,
// how many exchanges were parsed and requests went out, and that the event log holds one record
// for each request.
#include "device/Exchange.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "SimulatorProcess.h"
#include "TestFolder.h"
#include "UnitsOnPort.h"

#include <QCoreApplication>
#include <QDate>
#include <QTest>

#include <gtest/gtest.h>

#include <string_view>

namespace {

struct LineFault
{
    const char* Name;
    std::vector<std::string> Options;
    // The exchange state after the failure threshold's number of cycles: e_OK with Shown false
    // when nothing is shown yet, e_OK with Shown true for "Норма".
    TDeviceStates Outcome;
    bool Shown;
    // Exchanges of the three cycles: command 0 and 1 in the first, command 2 only after a reading
    // of full length.
    int Requests;
    // Requests that went out for them: after an exchange that did not end in an accepted answer,
    // a complete answer is asked for again until it has come twice.
    int Transfers;
};

void PrintTo(const LineFault& fault, std::ostream* out)
{
    *out << fault.Name;
}

const LineFault kFaults[] = {
    {"Silent", {"--silent"}, e_NoAnswer, true, 4, 4},
    // The poll looks only at the length: a spoiled reading of full length still asks the settings.
    {"BadCrc", {"--bad-crc", "1"}, e_CheckSum, true, 7, 7},
    // An exception is a complete answer: in doubt it is asked for twice.
    {"IllegalFunction", {"--exception", "1"}, mbe_IllegalFunction, true, 4, 7},
    {"IllegalDataAddress", {"--exception", "2"}, mbe_IllegalDataAdress, true, 4, 7},
    {"IllegalDataValue", {"--exception", "3"}, mbe_IllegalDataValue, true, 4, 7},
    {"SlaveDeviceFailure", {"--exception", "4"}, mbe_SlaveDeviceFailure, true, 4, 7},
    // Not a code of the four: the parse fails but counts no failure.
    {"UnknownExceptionCode", {"--exception", "5"}, e_OK, false, 4, 7},
    // Two good answers, then failures from the settings of the first cycle on.
    {"ExceptionFromTheThirdRequest", {"--exception", "4", "--exception-from", "3"}, mbe_SlaveDeviceFailure, true, 5, 7},
    {"ShortAnswer", {"--short"}, e_Read, true, 4, 7},
    // Longer than its byte count says: a failed read, and the settings are never asked.
    {"LongAnswer", {"--long"}, e_Read, true, 4, 7},
    // The adapter's echo is dropped: nothing else comes.
    {"EchoWithoutController", {"--echo", "--silent"}, e_NoAnswer, true, 4, 4},
    // Frames that pass the CRC but are not the answer to the request.
    {"WrongAddress", {"--wrong-address"}, e_IllegalCommand, true, 7, 13},
    {"WrongFunction", {"--wrong-function"}, e_IllegalCommand, true, 7, 13},
    // The read ends in the pause: the front half of each answer, with a CRC that cannot match.
    {"GapInTheAnswer", {"--gap-ms", "300"}, e_CheckSum, true, 4, 4},
    // Each answer comes well after the read gave up (80 ms), and goes out before the next cycle.
    {"LateAnswer", {"--late-ms", "300"}, e_NoAnswer, true, 4, 4},
};

qsizetype Count(const std::string& text, std::string_view what)
{
    qsizetype n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class FaultMatrix : public ::testing::Test
{
protected:
    ~FaultMatrix() override
    {
        StopUnits();
        LogRadix = 0;
    }

    void Start(const std::vector<std::string>& options, int readInterval = 10)
    {
        std::vector<std::string> verbose = options;
        verbose.push_back("--verbose");
        ASSERT_TRUE(Simulator.Start(verbose, true));
        // Short read limits keep the silent cases quick: a reply is due within 80 ms and the 14 ms
        // a group takes on the line at 115200 baud.
        ASSERT_TRUE(StartUnitsOnPort(Folder, Simulator.Path(), 5,
                                     "BaudRate=115200\r\nReadInterval=" + QByteArray::number(readInterval)
                                         + "\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n"));
        LogRadix = 10;
        Vantor()->OnRequest = [this](TVantor*, const QString&, const QString&, const QByteArray&, const QByteArray&,
                                     bool) { ++Parsed; };
        RequestThread()->OnCycle = [this](TRequestThread*, const QString&) { ++Cycles; };
    }

    // Waits until the simulator has answered, or passed over, every request the program logged:
    // an answer still to come (late, or the rest of one cut by a pause) then cannot fall into the
    // next cycle, whatever the machine's load makes of the timing.
    testing::AssertionResult LineSettled()
    {
        const qsizetype requests = LoggedExchanges();
        qsizetype handled = 0;
        const bool settled = Simulator.WaitForOutput(
            [&](const std::string& record) {
                const std::string lines = '\n' + record;
                handled = Count(lines, "\n-> ") + Count(lines, "\n   silent");
                return handled >= requests;
            },
            15s);
        if (settled)
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the simulator handled " << handled << " of " << requests << " requests";
    }

    qsizetype LoggedExchanges() const
    {
        const QByteArray log = Folder.Read("LOG/log_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt");
        return QString::fromLatin1(log).count(QStringLiteral("] -> ["));
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
    int Parsed = 0;
    int Cycles = 0;
};

class LineFaultMatrix : public FaultMatrix, public ::testing::WithParamInterface<LineFault>
{
};

TEST_P(LineFaultMatrix, StateAfterTheThresholdAndEveryRequestLogged)
{
    const LineFault& fault = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(fault.Options));
    TVantor& vantor = *Vantor();
    ASSERT_EQ(vantor.ErrorMax(), 3);
    for (int i = 0; i < vantor.ErrorMax(); ++i) {
        RequestThread()->Resume();
        // A hang guard, not a speed check.
        ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles > i && !RequestThread()->Busy(); }, 15000))
            << "cycle " << i + 1 << " did not end";
        ASSERT_TRUE(LineSettled());
    }
    QCoreApplication::processEvents();

    EXPECT_EQ(Parsed, fault.Requests);
    EXPECT_EQ(LoggedExchanges(), fault.Transfers);
    EXPECT_EQ(vantor.DeviceState, fault.Outcome);
    if (!fault.Shown) {
        EXPECT_EQ(vantor.ModuleError.GetOutValue().ToInteger(), tsUnknown);
        EXPECT_EQ(vantor.ErrorCount, 0);
    } else if (fault.Outcome == e_OK) {
        EXPECT_EQ(vantor.ModuleError.StateCaption(), "Норма");
        EXPECT_EQ(vantor.ErrorCount, 0);
    } else {
        EXPECT_EQ(vantor.ModuleError.GetOutValue().ToInteger(), tsTrue);
        EXPECT_EQ(vantor.ModuleError.StateCaption(), DeviceStateMessage(fault.Outcome));
        EXPECT_GE(vantor.ErrorCount, vantor.ErrorMax());
    }
}

// The controller dies half-way through the readings of the first cycle: the line hangs up 2 ms
// after the front half, well inside the read. That is the port gone, not a failing controller:
// the interrupted request is logged, nothing is parsed from it, and no request goes out while the
// device is away. (With a read that ends before the hang-up, the front half is an answer with a
// bad CRC, as in the gap case.)
TEST_F(FaultMatrix, KilledMidAnswerIsAPortLossNotAnExchangeFailure)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--die-mid-answer", "2", "--gap-ms", "2"}, 200));
    RequestThread()->Resume();
    ASSERT_TRUE(QTest::qWaitFor([] { return DeviceAway() && !RequestThread()->Busy(); }, 15000));
    for (int i = 0; i < 3; ++i) {
        RequestThread()->Resume();
        ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 15000));
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Parsed, 1);  // the general information, before the death
    EXPECT_EQ(LoggedExchanges(), 2);  // and the readings it cut short
    EXPECT_EQ(Cycles, 0);
    EXPECT_EQ(Vantor()->ErrorCount, 0);
    EXPECT_EQ(Vantor()->ModuleError.StateCaption(), "Норма");
}

INSTANTIATE_TEST_SUITE_P(LineFaults, LineFaultMatrix, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<LineFault>& info) { return std::string(info.param.Name); });

}  // namespace
