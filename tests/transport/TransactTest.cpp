#include "transport/Transmitter.h"

#include "Wait.h"
#include "PtyPeer.h"

#include <QElapsedTimer>

#include <sys/resource.h>

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kRequest = QByteArray::fromHex("01040000000271CB");
const QByteArray kAnswer = QByteArray::fromHex("010404000A00146BF9");

class Transact : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Port_.SetPort(Peer_.SlavePath());
        ASSERT_TRUE(Port_.ActivatePort());
    }

    // The peer's part of one exchange, on a thread of its own.
    std::future<void> Peer(std::function<void(TPtyPeer&)> script)
    {
        return std::async(std::launch::async, [this, script] { script(Peer_); });
    }

    QByteArray Exchange(const QByteArray& request, int count = 245)
    {
        QByteArray response("stale");
        Port_.Transact(request, response, count);
        return response;
    }

    // Pauses of 60 % and 200 % of it fall on their side of the interval even when a busy machine
    // stretches them by a third of a second; the total limit stays far beyond both.
    static constexpr std::chrono::milliseconds kInterval = 800ms;
    void RaiseReadInterval()
    {
        Port_.Timeouts().SetReadInterval(kInterval.count());
        Port_.Timeouts().SetReadTotalConstant(10 * kInterval.count());
    }

    TPtyPeer Peer_;
    TTransmitter Port_;
};

// Process CPU time, this thread and every other.
std::chrono::microseconds CpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto time = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
    return time(usage.ru_utime) + time(usage.ru_stime);
}

}  // namespace

TEST_F(Transact, AnAnswerEndsAtASilence)
{
    auto peer = Peer([](TPtyPeer& p) {
        EXPECT_EQ(p.Read(kRequest.size()), kRequest);
        p.Write(kAnswer);
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer);
    peer.get();
}

TEST_F(Transact, APauseShorterThanTheIntervalIsBridged)
{
    RaiseReadInterval();
    auto peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write(kAnswer.left(5));
        std::this_thread::sleep_for(kInterval * 6 / 10);  // past half the interval, well short of it
        p.Write(kAnswer.mid(5));
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer);
    peer.get();
}

TEST_F(Transact, APauseLongerThanTheIntervalCutsTheAnswerAndTheRestIsPurged)
{
    RaiseReadInterval();
    std::promise<void> tailWritten;
    auto peer = Peer([&](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write(kAnswer.left(5));
        std::this_thread::sleep_for(kInterval * 2);
        p.Write(kAnswer.mid(5));
        tailWritten.set_value();
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer.left(5));
    ASSERT_EQ(tailWritten.get_future().wait_for(5s), std::future_status::ready);
    peer.get();

    peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write("OK");
    });
    EXPECT_EQ(Exchange(kRequest), QByteArray("OK"));
    peer.get();
}

TEST_F(Transact, AnAnswerLongerThanCountLeavesTheRestForThePurge)
{
    auto peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write("0123456789abcdefghij");
    });
    EXPECT_EQ(Exchange(kRequest, 10), QByteArray("0123456789"));
    peer.get();
    EXPECT_EQ(Port_.PendingInputCount(), 10);

    peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write(kAnswer);
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer);
    peer.get();
}

TEST_F(Transact, ASilentLineGivesNothingAfterTheTotalLimitAndLateBytesArePurged)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Exchange({}), QByteArray());
    EXPECT_GE(clock.elapsed(), 150 + 2 * 245);
    EXPECT_EQ(Peer_.Read(1, 0ms), QByteArray());  // an empty request sends nothing

    Peer_.Write("late");
    ASSERT_TRUE(WaitUntil([&] { return Port_.PendingInputCount() == 4; }));
    auto peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write(kAnswer);
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer);
    peer.get();
}

TEST_F(Transact, AClosedPortGivesAnEmptyAnswer)
{
    ASSERT_TRUE(Port_.DeactivatePort());
    EXPECT_EQ(Exchange(kRequest), QByteArray());
    EXPECT_TRUE(Port_.DeactivatePort());
}

TEST_F(Transact, ClosingEndsAnExchangeOnAnotherThread)
{
    Port_.Timeouts().SetReadTotalConstant(60000);
    auto exchange = std::async(std::launch::async, [this] { return Exchange(kRequest); });
    ASSERT_EQ(Peer_.Read(kRequest.size()), kRequest);
    // A first byte also sets the event thread waiting for this thread, which does not serve it.
    Peer_.Write(kAnswer.left(1));
    EXPECT_TRUE(Port_.DeactivatePort());
    ASSERT_EQ(exchange.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(exchange.get(), QByteArray());
    EXPECT_FALSE(Port_.Connected());
}

// An abort ends the transfers pending then and no later one: the exchanges after it, on this
// thread and another, run to their answers.
TEST_F(Transact, AnAbortedExchangeLeavesTheNextOnesWhole)
{
    Port_.Timeouts().SetReadTotalConstant(60000);
    auto aborted = std::async(std::launch::async, [this] { return Exchange(kRequest); });
    ASSERT_EQ(Peer_.Read(kRequest.size()), kRequest);
    // An abort ends the transfers pending at its moment: the read may not have begun yet.
    for (int i = 0; i < 500 && aborted.wait_for(10ms) != std::future_status::ready; ++i)
        Port_.AbortTransfers();
    ASSERT_EQ(aborted.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(aborted.get(), QByteArray());
    for (int i = 0; i < 3; ++i) {
        auto peer = Peer([](TPtyPeer& p) {
            EXPECT_EQ(p.Read(kRequest.size()), kRequest);
            p.Write(kAnswer);
        });
        auto other = std::async(std::launch::async, [this] { return Exchange(kRequest); });
        EXPECT_EQ(other.get(), kAnswer);
        peer.get();
        peer = Peer([](TPtyPeer& p) {
            EXPECT_EQ(p.Read(kRequest.size()), kRequest);
            p.Write(kAnswer);
        });
        EXPECT_EQ(Exchange(kRequest), kAnswer);
        peer.get();
    }
}

TEST_F(Transact, AVanishingDeviceEndsTheExchangeAndNothingSpins)
{
    TComErrors errors;
    Port_.OnError = [&](TCustomComPort*, TComErrors e) { errors = e; };
    auto peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write(kAnswer.left(3));
        p.Close();
    });
    EXPECT_EQ(Exchange(kRequest), QByteArray());
    peer.get();
    EXPECT_TRUE(WaitUntil([&] { return errors.Contains(ceIO); }));
    EXPECT_EQ(Exchange(kRequest), QByteArray());  // fails at once

    // A hang-up that is reported for ever must not keep any thread busy.
    const auto cpuBefore = CpuTime();
    QElapsedTimer wall;
    wall.start();
    WaitUntil([] { return false; }, 300ms);
    EXPECT_LT((CpuTime() - cpuBefore).count(), wall.elapsed() * 1000 / 4);

    // The device comes back under a new name; the port closes and opens again.
    EXPECT_TRUE(Port_.DeactivatePort());
    TPtyPeer back;
    Port_.SetPort(back.SlavePath());
    ASSERT_TRUE(Port_.ActivatePort());
    auto answer = std::async(std::launch::async, [&] {
        back.Read(kRequest.size());
        back.Write(kAnswer);
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer);
    answer.get();
    Port_.OnError = nullptr;
}

TEST_F(Transact, TheSubscriberSeesEachExchange)
{
    QByteArray seen;
    Port_.OnTransact = [&](TTransmitter*, const QByteArray& request, const QByteArray& response) {
        seen = request + '|' + response;
        throw std::runtime_error("a subscriber's failure");
    };
    auto peer = Peer([](TPtyPeer& p) {
        p.Read(kRequest.size());
        p.Write(kAnswer);
    });
    EXPECT_EQ(Exchange(kRequest), kAnswer);
    peer.get();
    EXPECT_EQ(seen, kRequest + '|' + kAnswer);
    Port_.OnTransact = nullptr;
}
