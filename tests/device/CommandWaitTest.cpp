#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/InputWrite.h"
#include "device/Polling.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "ExchangeInFlight.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"
#include "UnitsOnPort.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

namespace {

// Operator commands run in the UI thread; the window must keep answering while one waits for the
// line, however late the controller answers.
class CommandWait : public ::testing::Test
{
protected:
    void Start(const std::vector<std::string>& simulator, const QByteArray& portSettings = {})
    {
        ASSERT_TRUE(Simulator.Start(simulator));
        ASSERT_TRUE(StartUnitsOnPort(Folder, Simulator.Path(), 10, portSettings));
    }

    ~CommandWait() override { StopUnits(); }

    TestFolder Folder;
    SimulatorProcess Simulator;
};

// The longest time the UI thread's timers went unserved while call ran.
struct Heartbeat
{
    Heartbeat()
    {
        Since.start();
        QObject::connect(&Timer, &QTimer::timeout, [this] { Beat(); });
        Timer.start(20);
    }
    void Beat()
    {
        Longest = std::max(Longest, Since.restart());
        ++Beats;
    }

    QTimer Timer;
    QElapsedTimer Since;
    qint64 Longest = 0;
    int Beats = 0;
};

}  // namespace

TEST_F(CommandWait, TheUiThreadAnswersWhileAWriteWaitsBehindAPollExchangeForALateAnswer)
{
    // Answers 2 s late, past the 640 ms read limit: the poll exchange fails, and the write waits
    // for it, then for its late answer to pass, then for its own read limit.
    Start({"--late-ms", "2000"});
    // The cycle of the second group: its exchanges are all long ones (the first group's begins with
    // the short controller read, whose end may come before the write is even asked for).
    Vantor()->CurrentInput = 1;
    RequestThread()->Resume();
    ASSERT_TRUE(QTest::qWaitFor(ExchangeInFlight, 10000));

    QElapsedTimer clock;
    clock.start();
    Heartbeat heart;
    TInputSettings settings;
    settings.PNum = 20005;
    settings.Period = 10;
    settings.Bound = 40.5;
    EXPECT_FALSE(WriteInputSettings(5, settings, kWriteInputSettingsName + QStringLiteral("5")));
    heart.Beat();
    std::cout << "[ measured ] write " << clock.elapsed() << " ms, the UI thread's longest stop " << heart.Longest
              << " ms\n";
    // Else the write did not wait for the line at all, and the test proves nothing.
    ASSERT_GT(clock.elapsed(), 1000);
    EXPECT_LT(heart.Longest, 1000);
    EXPECT_GT(heart.Beats, 10);
    ASSERT_TRUE(QTest::qWaitFor([] { return !RequestThread()->Busy(); }, 10000));
}

TEST_F(CommandWait, ACommandRaisedWhileAnotherIsOnTheLineWaitsForItsAnswer)
{
    // Each answer comes 300 ms after its request, well inside this read limit: both commands go
    // through only when the second waits for the first's answer before it sends.
    Start({"--late-ms", "300"}, "ReadTotalConstant=2000\r\n");
    bool nestedRan = false, nestedOk = false;
    QTimer::singleShot(0, [&] {
        nestedOk = ExecuteCommand(cmdSignature1);
        nestedRan = true;
    });
    EXPECT_TRUE(ExecuteCommand(cmdReadModbus));
    ASSERT_TRUE(nestedRan);
    EXPECT_TRUE(nestedOk);
    // The line is sound afterwards: nothing of either exchange is left to be taken for the next.
    EXPECT_TRUE(ExecuteCommand(cmdSignature2));
}
