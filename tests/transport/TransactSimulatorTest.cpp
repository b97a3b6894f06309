#include "device/Frames.h"
#include "transport/Transmitter.h"

#include "Wait.h"
#include "SimulatorProcess.h"

#include <csignal>
#include <future>

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kAddress = 1;

class TransactWithSimulator : public ::testing::Test
{
protected:
    void Start(const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(Simulator_.Start(options));
        Port_.SetPort(QString::fromStdString(Simulator_.Path()));
        ASSERT_TRUE(Port_.ActivatePort());
    }

    QByteArray Exchange(const QByteArray& request)
    {
        QByteArray answer;
        Port_.Transact(request, answer, 245);
        return answer;
    }

    // The first request of a group of four inputs starting at input c.
    static QByteArray InputsRequest(int c) { return BuildReadFrame(kAddress, 0x04, 16 * (c - 1) + 10, 64); }

    SimulatorProcess Simulator_;
    TTransmitter Port_;
};

}  // namespace

TEST_F(TransactWithSimulator, ControllerStateAndInputGroups)
{
    Start();
    const QByteArray stateRequest = BuildReadFrame(kAddress, 0x04, 0, 2);
    const QByteArray state = Exchange(stateRequest);
    ASSERT_EQ(state.size(), 9);
    EXPECT_EQ(ValidateAnswer(state, stateRequest, 9).Verdict, TAnswerValidation::Accepted);
    for (const int c : {1, 97, 189}) {
        const QByteArray inputs = Exchange(InputsRequest(c));
        ASSERT_EQ(inputs.size(), 133) << "group " << c;
        EXPECT_EQ(ValidateAnswer(inputs, InputsRequest(c), 133).Verdict, TAnswerValidation::Accepted);
        EXPECT_EQ(inputs.left(3), QByteArray::fromHex("010480"));
    }
}

TEST_F(TransactWithSimulator, ASimulatorKilledMidAnswer)
{
    Start({"--baud", "9600"});  // 133 bytes take 152 ms on the wire
    // The request has left once the simulator has taken it; its answer is then under way.
    bool answering = false;
    Port_.OnTxEmpty = [&](TCustomComPort*) { answering = true; };
    auto exchange = std::async(std::launch::async, [this] { return Exchange(InputsRequest(1)); });
    ASSERT_TRUE(WaitUntil([&] { return answering; }));
    Simulator_.Stop(SIGKILL);
    ASSERT_EQ(exchange.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(exchange.get(), QByteArray());
    Port_.OnTxEmpty = nullptr;

    EXPECT_TRUE(Port_.DeactivatePort());
    Start();
    EXPECT_EQ(Exchange(InputsRequest(5)).size(), 133);
}
