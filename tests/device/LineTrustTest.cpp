// What the poll takes from a line it cannot fully trust: an adapter that echoes, a controller that
// answers late at slow rates, frames spoiled now and then, probes replaced while it runs. The
// simulator's journal says which answer went out for which request: no answer is ever taken for
// another request's, and a valid answer is not lost for long to the doubt a bad one leaves.
#include "common/ByteText.h"
#include "device/Polling.h"
#include "device/VantorCodes.h"
#include "device/ProgramUnits.h"
#include "device/RequestThread.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "Fixtures.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"
#include "UnitsOnPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

struct TGroupAnswer
{
    int First;
    QByteArray Request;
    QByteArray Answer;
    bool Taken;
};

class LineTrust : public ::testing::Test
{
protected:
    ~LineTrust() override { StopUnits(); }

    void Start(std::vector<std::string> simulator, int pauseRead, const QByteArray& portSettings)
    {
        simulator.insert(simulator.end(), {"--journal", Folder.Path("journal.txt").toStdString()});
        ASSERT_TRUE(Simulator.Start(simulator));
        ASSERT_TRUE(StartUnitsOnPort(Folder, Simulator.Path(), pauseRead, portSettings));
        Listen();
    }

    // Every parsed exchange of a group read, and every probe that changed.
    void Listen()
    {
        Vantor()->OnRequest = [this](TVantor*, const QString&, const QString&, const QByteArray& request,
                                     const QByteArray& answer, bool result) {
            const bool readings = static_cast<quint8>(request[1]) == 0x04 && RegisterCount(request) == 64;
            const bool settings = static_cast<quint8>(request[1]) == 0x03 && RegisterCount(request) == 40;
            if (readings)
                Groups.push_back({(FirstRegister(request) - vantor::InputBlockFirst(1)) / vantor::kInputBlockSize + 1,
                                  request, answer, result});
            else if (settings)
                Groups.push_back({(FirstRegister(request) - vantor::SettingsBlockFirst(1)) / vantor::kSettingsBlockSize + 1,
                                  request, answer, result});
        };
        Vantor()->OnPlantNumberChange = [this](TVantor*, int input, quint16, quint16) { ++Changes[input - 1]; };
        RequestThread()->OnCycle = [this](TRequestThread*, const QString&) { ++Cycles; };
    }

    void RunCycles(int count, int limitMs = 30000)
    {
        for (int i = 0; i < count; ++i) {
            const int before = Cycles;
            RequestThread()->Resume();
            ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles > before && !RequestThread()->Busy(); }, limitMs)) << i;
        }
    }

    // The pairs of request and answer the simulator sent, as its journal has them.
    QSet<QString> Sent() const
    {
        QSet<QString> sent;
        QFile journal(Folder.Path("journal.txt"));
        if (!journal.open(QIODevice::ReadOnly))
            return sent;
        for (const QByteArray& line : journal.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() >= 3 && fields[2] != "-")
                sent.insert(QString::fromLatin1(fields[1] + '|' + fields[2]));
        }
        return sent;
    }

    // Every group answer taken went out from the simulator for that very request.
    void ExpectEveryTakenAnswerItsOwn() const
    {
        const QSet<QString> sent = Sent();
        for (const TGroupAnswer& g : Groups)
            EXPECT_TRUE(!g.Taken || sent.contains(ToHexText(g.Request) + u'|' + ToHexText(g.Answer)))
                << "group " << g.First << " took an answer that was not its own";
        for (int n = 1; n <= vantor::kInputCount; ++n) {
            const int plant = Vantor()->Input(n).PlantNumber;
            EXPECT_TRUE(plant == 0 || plant == 20000 + n) << "input " << n << " shows probe " << plant;
        }
    }

    qsizetype Taken() const
    {
        return std::count_if(Groups.begin(), Groups.end(), [](const TGroupAnswer& g) { return g.Taken; });
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
    std::vector<TGroupAnswer> Groups;
    std::array<int, vantor::kInputCount> Changes{};
    int Cycles = 0;
};

struct TSlowLine
{
    const char* Name;
    int Baud;
    bool Echo;
    int LateMs;
    int PauseRead;
    int Cycles;
    bool Answered;  // every answer comes within the read limit
};

void PrintTo(const TSlowLine& line, std::ostream* out)
{
    *out << line.Name;
}

class SlowLine : public LineTrust, public ::testing::WithParamInterface<TSlowLine>
{
};

}  // namespace

TEST_P(SlowLine, NoGroupTakesAnotherGroupsAnswer)
{
    const TSlowLine& line = GetParam();
    std::vector<std::string> options = {"--baud", std::to_string(line.Baud), "--late-ms", std::to_string(line.LateMs)};
    if (line.Echo)
        options.push_back("--echo");
    ASSERT_NO_FATAL_FAILURE(Start(options, line.PauseRead, "BaudRate=" + QByteArray::number(line.Baud) + "\r\n"));
    ASSERT_NO_FATAL_FAILURE(RunCycles(line.Cycles));
    ExpectEveryTakenAnswerItsOwn();
    if (line.Answered) {
        EXPECT_EQ(Taken(), static_cast<qsizetype>(Groups.size())) << "valid answers were refused";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SlowLine,
    ::testing::Values(
        // The echo comes at once, the answer after a silence longer than the end of a frame.
        TSlowLine{"Echo1200Late250", 1200, true, 250, 50, 3, true},
        TSlowLine{"Echo2400Late100Pause10", 2400, true, 100, 10, 4, true},
        // Answers that come after the read gave up, into the next group's exchange.
        TSlowLine{"Echo9600Late800", 9600, true, 800, 10, 4, false},
        TSlowLine{"Late800At9600", 9600, false, 800, 10, 4, false},
        TSlowLine{"Late1500At2400", 2400, false, 1500, 10, 4, false}),
    [](const ::testing::TestParamInfo<TSlowLine>& info) { return std::string(info.param.Name); });

// Every other cycle's answers are spoiled: the clean group after each spoiled one is in doubt, and
// is taken once its answer has come twice.
TEST_F(LineTrust, AfterASpoiledGroupTheNextIsTakenWithinOneRepeat)
{
    const QString control = Folder.Path("control");
    ASSERT_NO_FATAL_FAILURE(Start({"--control", control.toStdString()}, 5,
                                  "ReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n"));
    std::vector<int> spoiled;
    for (int cycle = 0; cycle < 12; ++cycle) {
        const bool spoil = cycle % 2 == 0;
        QFile file(control);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(spoil ? "--bad-crc 1" : "");
        file.close();
        if (spoil)
            spoiled.push_back(1 + 4 * cycle);
        ASSERT_NO_FATAL_FAILURE(RunCycles(1));
    }
    ExpectEveryTakenAnswerItsOwn();
    for (const TGroupAnswer& g : Groups) {
        const bool bad = std::find(spoiled.begin(), spoiled.end(), g.First) != spoiled.end();
        EXPECT_EQ(g.Taken, !bad) << "group " << g.First;
    }
}

// Answers spoiled at random: the doubt each leaves never turns into a chain of refusals.
TEST_F(LineTrust, SpoiledAnswersCostNoRound)
{
    ASSERT_NO_FATAL_FAILURE(Start({"--bad-crc", "0.15", "--seed", "5"}, 5,
                                  "ReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n"));
    ASSERT_NO_FATAL_FAILURE(RunCycles(2 * 48));
    ExpectEveryTakenAnswerItsOwn();
    QSet<int> read;
    for (const TGroupAnswer& g : Groups)
        if (g.Taken && static_cast<quint8>(g.Request[1]) == 0x04)
            read.insert(g.First);
    EXPECT_GE(read.size(), 46) << "of 48 groups read in two rounds";
}

// Every probe replaced and set up again (the same site, new plant numbers): each input shows its
// new probe within two rounds, with one change told per input.
TEST_F(LineTrust, ReplacedProbesAreLearnedWithinTwoRounds)
{
    const QByteArray quick = "ReadInterval=10\r\nReadTotalConstant=80\r\nReadTotalMultiplier=0\r\n";
    ASSERT_NO_FATAL_FAILURE(Start({}, 5, quick));
    ASSERT_NO_FATAL_FAILURE(RunCycles(48));
    SimulatorProcess replaced;
    ASSERT_TRUE(replaced.Start({"--plant-base", "30000"}));
    Transmitter()->DeactivatePort();
    Transmitter()->SetPort(QString::fromStdString(replaced.Path()));
    ASSERT_TRUE(Transmitter()->ActivatePort());
    ASSERT_NO_FATAL_FAILURE(RunCycles(2 * 48));
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        const TVantorInput& input = Vantor()->Input(n);
        EXPECT_EQ(input.SettingsPlantNumber, 30000 + n) << n;
        EXPECT_EQ(Changes[n - 1], 1) << n;
    }
    // The last round took every group's answers at once.
    const auto lastRound = Groups.end() - 2 * 48;
    EXPECT_TRUE(std::all_of(lastRound, Groups.end(), [](const TGroupAnswer& g) { return g.Taken; }));
}
