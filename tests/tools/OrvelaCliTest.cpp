#include "CliOnSimulator.h"

#include "common/Cp1251.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace {

class OrvelaCli : public CliOnSimulator
{
protected:
    // Faster than the file may set: the run's own period.
    void StartPoll(int rounds, const QStringList& more = {})
    {
        StartCli(QStringList{"poll", "--rounds", QString::number(rounds), "--interval", "20", "--port", SimulatorPort()}
                 + more);
    }

    QByteArray Log(const QString& kind) const
    {
        return Folder.Read("LOG/" + kind + "_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt");
    }

    // Polls through a link to the simulator until that many exchanges went on the line, then puts
    // another simulator, started with these options, behind the link: an adapter pulled and back.
    void PollThenSwapSimulator(int exchanges, std::vector<std::string> other)
    {
        Link = Folder.Path("tty");
        Simulator.Stop(SIGTERM);
        ASSERT_TRUE(Simulator.Start({"--link", Link.toStdString()}));
        StartCli({"poll", "--interval", "20", "--port", Link});
        ASSERT_TRUE(WaitWhilePolling([&] { return Log("log").count("] -> [") >= exchanges; }, 20s));
        Simulator.Stop(SIGKILL);
        QFile::remove(Link);
        other.insert(other.begin(), {"--link", Link.toStdString()});
        ASSERT_TRUE(Other.Start(other));
    }

    // Waits while the poll runs. The simulator answers every request, so two exchanges logged
    // without an answer mean a broken line: the wait gives up then rather than at its limit.
    testing::AssertionResult WaitWhilePolling(const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (Log("log").count("] -> []") >= 2)
                return testing::AssertionFailure() << "two requests without an answer: the line is broken";
            if (Cli.state() == QProcess::NotRunning || std::chrono::steady_clock::now() >= deadline)
                return testing::AssertionFailure() << "the poll ended or the wait timed out first";
            Cli.waitForFinished(20);
        }
        return testing::AssertionSuccess();
    }

    QString Link;
    SimulatorProcess Other;
};

}  // namespace

TEST_F(OrvelaCli, BothLogsStartWithTheirMarkerBeforeTheFirstExchange)
{
    StartPoll(1);
    ASSERT_TRUE(WaitWhilePolling([this] { return Cli.state() == QProcess::NotRunning; }, 60s));
    EXPECT_EQ(Cli.exitCode(), 0);
    // "СТАРТ ПРОГРАММЫ" in cp1251, after an empty line and the time stamp.
    const QRegularExpression start(QString::fromLatin1("^\r\n\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d,\\d{3}  "
                                                       "\xD1\xD2\xC0\xD0\xD2 \xCF\xD0\xCE\xC3\xD0\xC0\xCC\xCC\xDB\r\n"));
    const QString events = QString::fromLatin1(Log("log"));
    EXPECT_TRUE(start.match(QString::fromLatin1(Log("alarm"))).hasMatch());
    ASSERT_TRUE(start.match(events).hasMatch()) << events.left(200).toStdString();
    EXPECT_GT(events.count("] -> ["), 48);
}

TEST_F(OrvelaCli, JsonOutputIsOneDocumentWithEveryInput)
{
    StartPoll(1, {"--json"});
    ASSERT_TRUE(WaitWhilePolling([this] { return Cli.state() == QProcess::NotRunning; }, 60s));
    EXPECT_EQ(Cli.exitCode(), 0);
    QJsonParseError error;
    const QJsonObject poll = QJsonDocument::fromJson(Cli.readAllStandardOutput(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(poll.value("controller").toObject().value("stateText").toString(), "Норма");
    const QJsonArray inputs = poll.value("inputs").toArray();
    ASSERT_EQ(inputs.size(), 192);
    // Input 5: sensor 1 in status 0xAAA7, no temperature; set-point 15 °C; input 16 not in use.
    const QJsonObject five = inputs[4].toObject();
    EXPECT_EQ(five.value("input").toInt(), 5);
    const QJsonObject sensor = five.value("sensors").toArray()[0].toObject();
    EXPECT_TRUE(sensor.value("temperature").isNull());
    EXPECT_EQ(sensor.value("stateText").toString(), "AAA7");
    EXPECT_TRUE(five.value("sensors").toArray()[1].toObject().value("temperature").isDouble());
    EXPECT_DOUBLE_EQ(five.value("bound").toDouble(), 15.0);
    EXPECT_EQ(inputs[15].toObject().value("enabled"), QJsonValue(false));
}

TEST_F(OrvelaCli, AStopSignalEndsThePollAfterTheExchangeAndPrintsWhatWasRead)
{
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        const qsizetype before = Log("log").count("] -> [");
        StartPoll(100);
        // A few cycles in: the event log has lines by then.
        ASSERT_TRUE(WaitWhilePolling([&] { return Log("log").count("] -> [") >= before + 6; }, 20s));
        kill(static_cast<pid_t>(Cli.processId()), stop);
        ASSERT_TRUE(Cli.waitForFinished(10000)) << stop;
        EXPECT_EQ(Cli.exitStatus(), QProcess::NormalExit) << stop;
        EXPECT_EQ(Cli.exitCode(), 130) << stop;
        const QStringList lines = QString::fromUtf8(Cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 193) << stop;
        EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8("Вход 1: Норма"))) << lines[1].toStdString();
    }
}

TEST_F(OrvelaCli, AnUnpluggedPortHoldsThePollUntilItIsBackAndSaysSo)
{
    const QString link = Folder.Path("tty");
    Simulator.Stop(SIGTERM);
    ASSERT_TRUE(Simulator.Start({"--link", link.toStdString()}));
    StartCli({"poll", "--rounds", "2", "--interval", "20", "--port", link});
    ASSERT_TRUE(WaitWhilePolling([&] { return Log("log").count("] -> [") >= 6; }, 20s));

    // Pulled out: the simulator goes, and its node with it.
    Simulator.Stop(SIGKILL);
    QFile::remove(link);
    QByteArray errors;
    const auto told = [&](const QString& text) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!QString::fromUtf8(errors).contains(text) && std::chrono::steady_clock::now() < deadline) {
            Cli.waitForReadyRead(50);
            errors += Cli.readAllStandardError();
        }
        return QString::fromUtf8(errors).contains(text);
    };
    ASSERT_TRUE(told("Порт отключен: " + link)) << errors.toStdString();
    SimulatorProcess again;
    ASSERT_TRUE(again.Start({"--link", link.toStdString()}));
    ASSERT_TRUE(Cli.waitForFinished(60000));
    errors += Cli.readAllStandardError();
    EXPECT_EQ(Cli.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(errors), "Порт отключен: " + link + "\nПорт " + link + " восстановлен\n");
    const QStringList lines = QString::fromUtf8(Cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 193);
    EXPECT_EQ(lines[0], "Vantor: Норма");
}

TEST_F(OrvelaCli, AnotherControllerBehindTheReturnedAdapterEndsThePollWithExitOne)
{
    ASSERT_NO_FATAL_FAILURE(PollThenSwapSimulator(6, {"--plant", "3108"}));
    const QString& link = Link;
    ASSERT_TRUE(Cli.waitForFinished(60000));
    EXPECT_EQ(Cli.exitCode(), 1);
    const QString line = "Vantor: отвечает другой прибор (зав. № 3108 вместо 3107), опрос остановлен";
    EXPECT_TRUE(QString::fromUtf8(Cli.readAllStandardError()).contains(line));
    // The port's lines and this one are in the alarm log too, as the window writes them.
    const QString alarms = FromCp1251(Log("alarm"));
    EXPECT_TRUE(alarms.contains("Порт отключен: " + link));
    EXPECT_TRUE(alarms.contains("Порт " + link + " восстановлен"));
    EXPECT_TRUE(alarms.contains(line));
}

// The same controller comes back with every probe replaced and set up again: their new plant
// numbers are learned, each with one alarm line, and their readings go on under their inputs.
TEST_F(OrvelaCli, ProbesReplacedBehindTheReturnedAdapterAreLearnedWithALine)
{
    // The first two groups' settings, with their plant numbers, known first.
    ASSERT_NO_FATAL_FAILURE(PollThenSwapSimulator(8, {"--plant-base", "30000"}));
    const auto line = [](int n) {
        return QString("Вход %1 (№ %2) Заводской номер термоподвески изменился, был № %3").arg(n).arg(30000 + n).arg(20000 + n);
    };
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!(FromCp1251(Log("alarm")).contains(line(1)) && FromCp1251(Log("alarm")).contains(line(6))) &&
           Cli.state() == QProcess::Running && std::chrono::steady_clock::now() < deadline)
        Cli.waitForFinished(50);
    kill(static_cast<pid_t>(Cli.processId()), SIGTERM);
    ASSERT_TRUE(Cli.waitForFinished(10000));
    const QString alarms = FromCp1251(Log("alarm"));
    EXPECT_EQ(alarms.count(line(1)), 1) << alarms.toStdString();
    EXPECT_EQ(alarms.count(line(6)), 1);
    EXPECT_EQ(alarms.count("Заводской номер термоподвески изменился"), alarms.count("был № 2"));
}

TEST_F(OrvelaCli, APortThatCannotBeOpenedIsExplainedOnStandardError)
{
    Folder.Write("notes.txt", "not a port");
    const QString file = Folder.Path("notes.txt");
    Cli.setProgram(QString::fromStdString(CliExecutable()));
    Cli.setArguments({"poll", "--rounds", "1", "--port", file});
    Cli.start();
    ASSERT_TRUE(Cli.waitForFinished(30000));
    EXPECT_EQ(Cli.exitCode(), 1);
    const QString errors = QString::fromUtf8(Cli.readAllStandardError());
    EXPECT_TRUE(errors.contains("Ошибка активации порта :" + file + "\n" + file + " — не последовательный порт.\n"))
        << errors.toStdString();
    EXPECT_TRUE(Cli.readAllStandardOutput().isEmpty());
    EXPECT_EQ(Folder.Read("notes.txt"), "not a port");
}
