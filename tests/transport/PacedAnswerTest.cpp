// Answers that come in at the line's pace: where the end-of-answer silence falls, and how often
// the reading thread wakes for them.
#include "device/Frames.h"
#include "transport/Transmitter.h"

#include "PtyPeer.h"
#include "SimulatorProcess.h"

#include <QFile>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kRequest = QByteArray::fromHex("01040000000271CB");

// At 110 baud a character takes 100 ms (11 bits), so the reader sleeps through batches of 8 to
// 32 of them, far longer than the interval: a sleep that ran past the silence, or bytes dated at
// the wrong end of a sleep, put bytes on the wrong side of it by hundreds of milliseconds, while
// a busy machine that holds the peer up by a third of a second still leaves them on their side.
constexpr auto kCharacter = 100ms;
constexpr auto kInterval = 1000ms;
constexpr auto kUnder = kInterval - 350ms;
constexpr auto kOver = kInterval + 350ms;

// A run of bytes back to back at the line's pace, then a pause before the next run.
struct TRun
{
    int Bytes;
    std::chrono::milliseconds PauseAfter;
};

struct TPacedCase
{
    const char* Name;
    std::vector<TRun> Runs;
    int Expected;  // bytes of the answer: up to the first pause over the interval
};

void PrintTo(const TPacedCase& c, std::ostream* out)
{
    *out << c.Name;
}

class PacedAnswer : public ::testing::TestWithParam<TPacedCase>
{
};

}  // namespace

TEST_P(PacedAnswer, TheSilenceCountsFromTheLastByte)
{
    TPtyPeer peer;
    TTransmitter port;
    port.SetPort(peer.SlavePath());
    port.SetBaudRate(br110);
    port.Timeouts().SetReadInterval(kInterval.count());
    port.Timeouts().SetReadTotalConstant(60000);
    ASSERT_TRUE(port.ActivatePort());

    QByteArray sent;
    for (const TRun& run : GetParam().Runs)
        sent += QByteArray(run.Bytes, 'a' + static_cast<char>(sent.size() % 26));
    auto written = std::async(std::launch::async, [&] {
        peer.Read(kRequest.size());
        // On a fixed schedule, so that a late write does not move the ones after it.
        auto at = std::chrono::steady_clock::now();
        qsizetype next = 0;
        for (const TRun& run : GetParam().Runs) {
            for (int i = 0; i < run.Bytes; ++i, at += kCharacter) {
                std::this_thread::sleep_until(at);
                peer.Write(sent.mid(next++, 1));
            }
            at += run.PauseAfter - kCharacter;
        }
    });
    QByteArray answer;
    port.Transact(kRequest, answer, 245);
    ASSERT_EQ(written.wait_for(30s), std::future_status::ready);
    written.get();
    EXPECT_EQ(answer, sent.left(GetParam().Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Line, PacedAnswer,
    ::testing::Values(
        // The reader was asleep through the last bytes before the pause: dated late, the bytes
        // after it would still count.
        TPacedCase{"ShortRunThenAPauseOver", {{2, kOver}, {1, 0ms}}, 2},
        // Dated early, a pause the interval bridges would end the answer.
        TPacedCase{"LongRunThenAPauseUnder", {{8, kUnder}, {2, 0ms}}, 10},
        // A stream long enough for the longest sleep, which must still end at the silence.
        TPacedCase{"StreamThenAPauseOver", {{10, kOver}, {1, 0ms}}, 10}),
    [](const ::testing::TestParamInfo<TPacedCase>& info) { return info.param.Name; });

namespace {

// Voluntary context switches of the calling thread so far.
long WakeUps()
{
    QFile status(QStringLiteral("/proc/thread-self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLong();
    return -1;
}

}  // namespace

TEST(PacedAnswerWakeUps, AByteByByteAnswerWakesTheReaderOncePerTenBytesAtMost)
{
    for (const char* chunk : {"1", "16"}) {
        SimulatorProcess simulator;
        ASSERT_TRUE(simulator.Start({"--baud", "9600", "--chunk", chunk}));
        TTransmitter port;
        port.SetPort(QString::fromStdString(simulator.Path()));
        ASSERT_TRUE(port.ActivatePort());
        // 64 registers of input group 1: a 133-byte answer, 152 ms on the line.
        const QByteArray request = BuildReadFrame(1, 0x04, 10, 64);
        QByteArray answer;
        long wakeUps = 0;
        std::thread([&] {
            const long before = WakeUps();
            port.Transact(request, answer, 245);
            wakeUps = WakeUps() - before;
        }).join();
        ASSERT_EQ(answer.size(), 133) << "chunk " << chunk;
        EXPECT_TRUE(ValidateAnswer(answer, request, 133).Verdict == TAnswerValidation::Accepted);
        EXPECT_LE(wakeUps, 133 / 10) << "chunk " << chunk;
    }
}

// Modbus allows up to 1.5 characters of silence between the bytes of a frame: at every rate such
// an answer comes whole, however long it then takes; a silence past the read interval (50 ms)
// ends it.
TEST(PacedAnswerGaps, SilencesModbusAllowsInsideAnAnswerNeverCutIt)
{
    struct TCase
    {
        int Baud;
        const char* Gap;
        int Registers;  // 2: the 9-byte controller state; 64: a 133-byte group of readings
        int Expected;
    };
    const TCase cases[] = {
        {1200, "0", 2, 9},    {1200, "0.5", 2, 9},  {1200, "1", 2, 9},    {1200, "1.5", 2, 9},  {1200, "1.5", 64, 133},
        {2400, "0.5", 2, 9},  {2400, "1.5", 2, 9},  {4800, "1", 2, 9},    {4800, "1.5", 64, 133},
        {9600, "0.5", 64, 133}, {9600, "1.5", 64, 133},
        // 6 characters at 1200 baud are 55 ms: the first byte is the answer.
        {1200, "6", 2, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Baud << " baud, gap " << c.Gap << ", " << c.Registers << " registers");
        SimulatorProcess simulator;
        ASSERT_TRUE(simulator.Start({"--baud", std::to_string(c.Baud), "--byte-gap", c.Gap}));
        TTransmitter port;
        port.SetPort(QString::fromStdString(simulator.Path()));
        port.SetBaudRate(ParseBaudRate(QString::number(c.Baud)));
        ASSERT_TRUE(port.ActivatePort());
        const QByteArray request = BuildReadFrame(1, 0x04, c.Registers == 2 ? 0 : 10, c.Registers);
        QByteArray answer;
        port.Transact(request, answer, 245, 2 * c.Registers + 5);
        EXPECT_EQ(answer.size(), c.Expected);
        if (c.Expected > 1) {
            EXPECT_EQ(ValidateAnswer(answer, request, c.Expected).Verdict, TAnswerValidation::Accepted);
        }
    }
}
