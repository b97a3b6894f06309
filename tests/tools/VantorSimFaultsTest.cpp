#include "SimulatorTest.h"

#include "device/VantorCodes.h"

#include <thread>

namespace {

using VantorSimFaults = SimulatorTest;

const QByteArray kControllerBlock = BuildReadFrame(1, 0x04, 0, 2);  // 9-byte answer
const QByteArray kInputGroup = BuildReadFrame(1, 0x04, vantor::InputBlockFirst(5), 64);  // 133 bytes

TEST_F(VantorSimFaults, SilentNeverAnswers)
{
    StartWith({"--silent"});
    EXPECT_TRUE(Port->Exchange(kControllerBlock, 9, 1500ms).isEmpty());
    EXPECT_TRUE(Sim.Running());
}

TEST_F(VantorSimFaults, ExceptionAnswersEverythingWithTheCode)
{
    StartWith({"--exception", "2"});
    EXPECT_EQ(Port->Exchange(kControllerBlock, 5), ExceptionAnswer(1, 0x04, 2));
    EXPECT_EQ(Port->Exchange(BuildIdentificationFrame(1, 1, 0), 5), ExceptionAnswer(1, 0x2B, 2));
}

TEST_F(VantorSimFaults, ExceptionFromANumberedRequestOn)
{
    StartWith({"--exception", "4", "--exception-from", "2"});
    EXPECT_EQ(Port->Exchange(kControllerBlock, 9).size(), 9);
    EXPECT_EQ(Port->Exchange(kControllerBlock, 5), ExceptionAnswer(1, 0x04, 4));
    EXPECT_EQ(Port->Exchange(kControllerBlock, 5), ExceptionAnswer(1, 0x04, 4));
}

TEST_F(VantorSimFaults, BadCrcAtRateOneSpoilsEveryAnswer)
{
    StartWith({"--bad-crc", "1"});
    for (int i = 0; i < 3; ++i) {
        const QByteArray answer = Port->Exchange(kControllerBlock, 9);
        EXPECT_EQ(answer.size(), 9);
        EXPECT_FALSE(CheckCrc(answer));
    }
}

TEST_F(VantorSimFaults, BadCrcAtAFractionSpoilsSomeAnswers)
{
    StartWith({"--bad-crc", "0.5", "--seed", "7"});
    int bad = 0;
    for (int i = 0; i < 20; ++i)
        bad += CheckCrc(Port->Exchange(kControllerBlock, 9)) ? 0 : 1;
    EXPECT_GT(bad, 0);
    EXPECT_LT(bad, 20);
}

TEST_F(VantorSimFaults, ShortAndLongKeepAValidCrc)
{
    StartWith({"--short"});
    QByteArray answer = Port->Exchange(kInputGroup, 132);
    EXPECT_EQ(answer.size(), 132);
    EXPECT_TRUE(CheckCrc(answer));

    SimulatorProcess longSim;
    ASSERT_TRUE(longSim.Start({"--long"}));
    PortClient port(longSim.Path());
    answer = port.Exchange(kInputGroup, 134);
    EXPECT_EQ(answer.size(), 134);
    EXPECT_TRUE(CheckCrc(answer));
}

TEST_F(VantorSimFaults, GapSplitsTheAnswer)
{
    // A long pause, so that a reader held up by a busy machine still sees most of it.
    StartWith({"--gap-ms", "1000"});
    const QByteArray answer = Port->Exchange(kInputGroup, 133);
    EXPECT_EQ(answer.size(), 133);
    EXPECT_TRUE(CheckCrc(answer));
    EXPECT_GE(Port->LongestPause(), 600ms);
}

TEST_F(VantorSimFaults, LateAnswersComeAfterTheDelay)
{
    StartWith({"--late-ms", "400"});
    EXPECT_EQ(Port->Exchange(kControllerBlock, 9).size(), 9);
    EXPECT_GE(Port->FirstByteAfter(), 390ms);
}

TEST_F(VantorSimFaults, PacingTakesTheWireTimeOfTheAnswer)
{
    StartWith({"--baud", "9600"});
    EXPECT_EQ(Port->Exchange(kInputGroup, 133).size(), 133);
    // 133 characters of 11 bits at 9600 baud: 152 ms. Only the lower bound is safe to test.
    EXPECT_GE(Port->LastByteAfter(), 140ms);
}

TEST_F(VantorSimFaults, PacingTakesTheRequestInAtTheLineRate)
{
    // 209 characters at 1200 baud: 1.92 s on the wire before the controller has it all.
    StartWith({"--baud", "1200"});
    const QByteArray request = BuildWriteFrame(1, vantor::SettingsBlockFirst(1), QList<std::uint16_t>(100, 0));
    EXPECT_FALSE(Port->Exchange(request, 5, 6s).isEmpty());
    EXPECT_GE(Port->FirstByteAfter(), 1850ms);
}

TEST_F(VantorSimFaults, EchoComesBeforeTheAnswerAndAloneWithoutAController)
{
    StartWith({"--echo"});
    const QByteArray both = Port->Exchange(kControllerBlock, 8 + 9);
    EXPECT_EQ(both.left(8), kControllerBlock);
    EXPECT_EQ(both.size(), 8 + 9);
    EXPECT_TRUE(CheckCrc(both.mid(8)));

    SimulatorProcess adapter;
    ASSERT_TRUE(adapter.Start({"--echo", "--silent"}));
    PortClient port(adapter.Path());
    EXPECT_EQ(port.Exchange(kControllerBlock, 8, 1500ms), kControllerBlock);
    const QByteArray write = BuildWriteFrame(1, vantor::SettingsBlockFirst(5), {1, 20005, 60, 400});
    EXPECT_EQ(port.Exchange(write, write.size(), 1500ms), write);
}

TEST_F(VantorSimFaults, WrongAddressAndWrongFunctionKeepAValidCrc)
{
    StartWith({"--wrong-address"});
    QByteArray answer = Port->Exchange(kControllerBlock, 9);
    EXPECT_EQ(answer.left(2), QByteArray::fromHex("0204"));
    EXPECT_TRUE(CheckCrc(answer));

    SimulatorProcess other;
    ASSERT_TRUE(other.Start({"--wrong-function"}));
    PortClient port(other.Path());
    answer = port.Exchange(kControllerBlock, 9);
    EXPECT_EQ(answer.left(2), QByteArray::fromHex("0103"));
    EXPECT_TRUE(CheckCrc(answer));
    EXPECT_EQ(port.Exchange(BuildWriteFrame(1, 2000, {0}), 8).left(2), QByteArray::fromHex("0103"));
}

TEST_F(VantorSimFaults, GarbageOnTheLineIsSurvived)
{
    StartWith();
    QByteArray noise;
    for (int i = 0; i < 1000; ++i)
        noise += static_cast<char>(i * 37 % 256);
    Port->Send(noise);                                                // far longer than any frame
    Port->Send(QByteArray::fromHex("0104"));                          // a torn frame
    Port->Send(BuildReadFrame(1, 0x04, 0, 2).chopped(1) + '\xFF');    // a wrong CRC
    Port->Send(QByteArray(300, '\xFF'));
    Port->Send(QByteArray::fromHex("01100000007B02"));                // announces 123 registers, sends none
    Port->Send(QByteArray(1, '\x01'));

    // Bytes that arrive together form one frame, so ask until the noise has passed.
    const QByteArray answer = Port->AskUntilAnswered(kControllerBlock, 9, 1s, 6s);
    EXPECT_EQ(answer.size(), 9);
    EXPECT_TRUE(CheckCrc(answer));
    EXPECT_TRUE(Sim.Running());
}

TEST_F(VantorSimFaults, CrcFramesThatLieAboutTheirLengthGetAnException)
{
    StartWith();
    QByteArray bare = QByteArray::fromHex("01100000007B02");  // 123 registers announced, none sent
    EXPECT_EQ(Port->Exchange(bare + AppendCrc(Crc16(bare)), 5), ExceptionAnswer(1, 0x10, 3));
    QByteArray empty = QByteArray::fromHex("01");
    EXPECT_TRUE(Port->Exchange(empty + AppendCrc(Crc16(empty)), 5, 1s).isEmpty()) << "too short for a frame";
    EXPECT_EQ(Port->Exchange(kControllerBlock, 9).size(), 9);
}

TEST_F(VantorSimFaults, SilentRateLosesSomeRequestsTheSameForTheSameSeed)
{
    const auto pattern = [](SimulatorProcess& sim) {
        PortClient port(sim.Path());
        std::string lost;
        for (int i = 0; i < 12; ++i)
            lost += port.Exchange(kControllerBlock, 9, 300ms).isEmpty() ? 'x' : '.';
        return lost;
    };
    StartWith({"--silent-rate", "0.5", "--seed", "7"});
    Port.reset();
    const std::string first = pattern(Sim);
    EXPECT_NE(first.find('x'), std::string::npos) << first;
    EXPECT_NE(first.find('.'), std::string::npos) << first;
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--silent-rate", "0.5", "--seed", "7"}));
    EXPECT_EQ(pattern(again), first);
}

TEST_F(VantorSimFaults, DieMidAnswerSendsTheFrontHalfThenTheProcessIsKilled)
{
    StartWith({"--die-mid-answer", "2"});
    EXPECT_EQ(Port->Exchange(kControllerBlock, 9).size(), 9);
    const QByteArray front = Port->Exchange(kInputGroup, 133, 2s);
    EXPECT_EQ(front.size(), 133 / 2);
    EXPECT_EQ(front.left(3), QByteArray::fromHex("010480"));
    // Gone by itself, without being asked to stop.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (Sim.Running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);  // polling the child's state
    EXPECT_FALSE(Sim.Running());
}

}  // namespace
