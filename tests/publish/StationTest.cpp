#include "Broker.h"
#include "CliOnSimulator.h"
#include "StreamCheck.h"

#include "common/Cp1251.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDate>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QRegularExpression>

#include <csignal>

namespace {

// orvela-cli as a station: the simulator on its port, publishing to the test's broker.
class Station : public CliOnSimulator
{
protected:
    void SetUp() override
    {
        CliOnSimulator::SetUp();
        Folder.Write("INI/Timer.ini", "[ctReqDevices]\r\nInterval=20\r\n");
        Folder.Write("INI/MQTT.ini", MqttIni(Server.Port(), "line1"));
    }

    void StartPoll(const QStringList& extra = {}) { StartCli(QStringList{"poll", "--port", SimulatorPort()} + extra); }

    // SIGTERM, the service's stop: the poll ends in order.
    void StopPoll()
    {
        Cli.terminate();
        ASSERT_TRUE(Cli.waitForFinished(30000));
        EXPECT_EQ(Cli.exitCode(), 130) << Cli.readAllStandardError().toStdString();
    }

    // The simulator again, its faults switched by Control from now on.
    testing::AssertionResult Controlled(const QByteArray& faults)
    {
        Control(faults);
        Simulator.Stop(SIGTERM);
        return Simulator.Start({"--control", Folder.Path("control").toStdString()});
    }
    void Control(const QByteArray& faults) const
    {
        QSaveFile file(Folder.Path("control"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(faults);
        ASSERT_TRUE(file.commit());
    }

    QString History() const { return Folder.Path("DATA/history.sqlite"); }
    QString AlarmLog() const
    {
        return FromCp1251(Folder.Read("LOG/alarm_" + QDate::currentDate().toString("yyyy_MM_dd") + ".txt"));
    }

    std::size_t Arrived(const Subscriber& s) const { return ArrivedCount(s, "orvela/line1/readings"); }
    testing::AssertionResult StreamMatchesHistory(const Subscriber& s) const
    {
        return ::StreamMatchesHistory(s, "orvela/line1/readings", History());
    }

    // "stations --json" at once; empty when it failed.
    QJsonArray Stations() const
    {
        QProcess stations;
        stations.start(QString::fromStdString(CliExecutable()),
                       {"stations", "--broker", QString("127.0.0.1:%1").arg(Server.Port()), "--json"});
        // Live traffic never holds it up: the old way, a second live station kept it forever.
        if (!stations.waitForFinished(10000)) {
            stations.kill();
            stations.waitForFinished();
            return {};
        }
        return QJsonDocument::fromJson(stations.readAllStandardOutput()).array();
    }

    Broker Server;
};

// One more station: orvela-cli poll on a simulator and in a program folder of its own.
class OtherStation
{
public:
    testing::AssertionResult Start(int brokerPort, const QString& name)
    {
        if (auto started = Simulator.Start(); !started)
            return started;
        const auto write = [this](const QString& file, const QByteArray& bytes) {
            QDir().mkpath(Folder.path() + "/INI");
            QFile f(Folder.path() + "/INI/" + file);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        if (!write("VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=10\r\n")
            || !write("Timer.ini", "[ctReqDevices]\r\nInterval=20\r\n")
            || !write("MQTT.ini", MqttIni(brokerPort, name, "Heartbeat=1\r\n")))
            return testing::AssertionFailure() << "cannot write the settings";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ORVELA_HOME", Folder.path());
        Cli.setProcessEnvironment(environment);
        Cli.start(QString::fromStdString(CliExecutable()), {"poll", "--port", QString::fromStdString(Simulator.Path())});
        return Cli.waitForStarted(10000) ? testing::AssertionSuccess() : testing::AssertionFailure() << "no poll";
    }

    ~OtherStation()
    {
        Cli.kill();
        Cli.waitForFinished(10000);
    }

    SimulatorProcess Simulator;
    QTemporaryDir Folder;
    QProcess Cli;
};

// The alarm events a subscriber got, in order.
QVector<QJsonObject> Events(const Subscriber& s)
{
    QVector<QJsonObject> events;
    for (const Subscriber::Message& m : s.Messages())
        if (m.Topic == "orvela/line1/alarms/events")
            events.append(QJsonDocument::fromJson(m.Payload).object());
    return events;
}

// The first event of an alarm (kind, input, sensor) that begins (active) or ends.
QJsonObject EventOf(const QVector<QJsonObject>& events, const QString& kind, int input, int sensor, bool active)
{
    for (const QJsonObject& e : events)
        if (e.value("kind") == kind && e.value("input") == input && e.value("sensor") == sensor
            && e.value("active") == active)
            return e;
    return {};
}

QJsonObject ActiveOf(const Subscriber& s, const QString& kind, int input, int sensor)
{
    const QJsonArray alarms =
        QJsonDocument::fromJson(s.Last("orvela/line1/alarms/active")).object().value("alarms").toArray();
    for (const QJsonValue& a : alarms)
        if (a.toObject().value("kind") == kind && a.toObject().value("input") == input
            && a.toObject().value("sensor") == sensor)
            return a.toObject();
    return {};
}

QJsonObject Named(const QJsonArray& stations, const QString& name)
{
    for (const QJsonValue& s : stations)
        if (s.toObject().value("station") == name)
            return s.toObject();
    return {};
}

TEST_F(Station, RetainedStatesAfterARoundAreWhatThePollRead)
{
    ASSERT_TRUE(Server.Start());
    StartPoll({"--rounds", "1"});
    ASSERT_TRUE(Cli.waitForFinished(120000));
    ASSERT_EQ(Cli.exitCode(), 0) << Cli.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(Cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 193);

    // A consumer that comes after the station has gone still gets every state.
    Subscriber late(Server.Port(), "orvela/line1/#");
    // The broker gives them in an order of its own.
    ASSERT_TRUE(WaitUntil([&] {
        return !late.Last("orvela/line1/input/192").isEmpty() && !late.Last("orvela/line1/controller").isEmpty()
               && !late.Last("orvela/line1/status").isEmpty();
    }, 30s));
    EXPECT_EQ(QJsonDocument::fromJson(late.Last("orvela/line1/status")).object().value("status"), "offline");
    const QJsonObject controller = QJsonDocument::fromJson(late.Last("orvela/line1/controller")).object();
    EXPECT_EQ(controller.value("address").toInt(), 1);
    EXPECT_TRUE(lines[0].endsWith(": " + controller.value("stateText").toString()))
        << lines[0].toStdString();

    // "Вход 5: Норма; T: 25.0 -1.0 AAA7 ...; уставка 20.0; используется: Да"
    const QRegularExpression line("^Вход (\\d+): (.*); T: (.*); уставка (\\S+); используется: (.*)$");
    for (int n = 1; n <= 192; ++n) {
        SCOPED_TRACE(n);
        const auto match = line.match(lines[n]);
        ASSERT_TRUE(match.hasMatch()) << lines[n].toStdString();
        ASSERT_EQ(match.captured(1).toInt(), n);
        const QJsonObject input = QJsonDocument::fromJson(late.Last(QString("orvela/line1/input/%1").arg(n))).object();
        EXPECT_EQ(input.value("schema").toInt(), 2);
        EXPECT_EQ(input.value("unit"), "°C");
        EXPECT_EQ(input.value("stateText").toString(), match.captured(2));
        const QJsonValue enabled = input.value("enabled");
        EXPECT_EQ(enabled.isNull() ? "-" : enabled.toBool() ? "Да" : "Нет", match.captured(5));
        // The table rounds to its digits (a tenth, half up).
        EXPECT_NEAR(input.value("bound").toDouble(), match.captured(4).toDouble(), 0.0501);
        const QStringList shown = match.captured(3).split(' ');
        const QJsonArray sensors = input.value("sensors").toArray();
        ASSERT_EQ(shown.size(), 6);
        ASSERT_EQ(sensors.size(), 6);
        // Out of exchange (the simulator's 13 has no link, 16 is disabled) the last values are old.
        const bool inExchange = input.value("state").toInt() == 0;
        if (n == 13 || n == 16) {
            EXPECT_FALSE(inExchange);
        }
        for (int i = 0; i < 6; ++i) {
            const QJsonObject sensor = sensors[i].toObject();
            if (!inExchange)
                EXPECT_TRUE(sensor.value("temperature").isNull()) << i;
            else if (sensor.value("temperature").isNull())
                EXPECT_EQ(sensor.value("stateText").toString(), shown[i]);
            else
                EXPECT_NEAR(sensor.value("temperature").toDouble(), shown[i].toDouble(), 0.0501) << i;
        }
    }
}

TEST_F(Station, EveryStoredReadingArrivesOnceInOrderAcrossABrokerOutageDuringPolling)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/line1/#");
    ASSERT_TRUE(WaitUntil([&] { return watch.Connected() && Server.SessionsSaved(); }, 30s));
    StartPoll();
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) >= 192; }, 120s)) << Cli.readAllStandardError().toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(watch.Last("orvela/line1/status")).object().value("status") == "online");

    Server.Kill();
    // The poll goes on without the broker for a round and a half (some 10 s).
    const int before = HistoryCount(History());
    ASSERT_TRUE(WaitUntil([&] { return HistoryCount(History()) >= before + 288; }, 120s));
    ASSERT_TRUE(Server.Start());
    const int after = HistoryCount(History());
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) >= std::size_t(after); }, 120s));
    StopPoll();
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) >= std::size_t(HistoryCount(History())); }, 60s));
    EXPECT_TRUE(StreamMatchesHistory(watch));
    // One line on the loss and one on the return, whatever the retries between.
    const QString errors = QString::fromUtf8(Cli.readAllStandardError());
    EXPECT_EQ(errors.count("Нет соединения с брокером MQTT"), 1) << errors.toStdString();
    EXPECT_EQ(errors.count("Соединение с брокером MQTT восстановлено"), 1) << errors.toStdString();
}

TEST_F(Station, ReadingsOfARestartWhileTheBrokerIsDownArriveOnceItIsBack)
{
    ASSERT_TRUE(Server.Start());
    {
        Subscriber first(Server.Port(), "orvela/line1/#");
        ASSERT_TRUE(WaitUntil([&] { return first.Connected() && Server.SessionsSaved(); }, 30s));
    }
    Server.Stop();
    StartPoll();
    ASSERT_TRUE(WaitUntil([&] { return HistoryCount(History()) >= 192; }, 120s));
    StopPoll();
    const int first = HistoryCount(History());
    StartPoll();
    ASSERT_TRUE(WaitUntil([&] { return HistoryCount(History()) >= first + 192; }, 180s))
        << HistoryCount(History()) << " of " << first << " + 192\n" << Cli.readAllStandardError().toStdString();
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/line1/#");
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) >= std::size_t(first + 192); }, 120s));
    StopPoll();
    ASSERT_TRUE(WaitUntil([&] { return Arrived(watch) >= std::size_t(HistoryCount(History())); }, 60s));
    EXPECT_TRUE(StreamMatchesHistory(watch));
}

TEST_F(Station, AStationKilledOutrightIsReportedOfflineByTheBroker)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/line1/status");
    StartPoll();
    ASSERT_TRUE(WaitUntil([&] { return watch.Last("orvela/line1/status").contains("\"online\""); }, 60s));
    ::kill(pid_t(Cli.processId()), SIGKILL);
    ASSERT_TRUE(Cli.waitForFinished(10000));
    ASSERT_TRUE(WaitUntil([&] { return watch.Last("orvela/line1/status").contains("\"offline\""); }, 60s));
    // The last will cannot know the time of the death.
    const QJsonObject will = QJsonDocument::fromJson(watch.Last("orvela/line1/status")).object();
    EXPECT_EQ(will.value("reason"), "lost");
    EXPECT_TRUE(will.value("time").isNull());
}

TEST_F(Station, StationsListsTwoLiveStationsAtOnceAndCallsOneThatDiedUnseenStale)
{
    ASSERT_TRUE(Server.Start());
    Folder.Write("INI/MQTT.ini", MqttIni(Server.Port(), "line1", "Heartbeat=1\r\n"));
    OtherStation line2;
    ASSERT_TRUE(line2.Start(Server.Port(), "line2"));
    StartPoll();
    Subscriber watch(Server.Port(), "orvela/+/status");
    const auto polling = [&](const QString& name) {
        const QJsonObject status = QJsonDocument::fromJson(watch.Last("orvela/" + name + "/status")).object();
        return status.value("status") == "online" && status.value("period") == 1 && !status.value("poll").isNull();
    };
    ASSERT_TRUE(WaitUntil([&] { return polling("line1") && polling("line2"); }, 60s));

    QJsonArray stations = Stations();
    ASSERT_EQ(stations.size(), 2);
    for (const QString name : {"line1", "line2"}) {
        EXPECT_EQ(Named(stations, name).value("status"), "online") << name.toStdString();
        EXPECT_EQ(Named(stations, name).value("stale"), false) << name.toStdString();
    }

    // The broker crashes and line2 dies while it is down: its retained "online" comes back with
    // the broker, and only its age tells.
    Server.Kill();
    line2.Cli.kill();
    ASSERT_TRUE(line2.Cli.waitForFinished(10000));
    ASSERT_TRUE(Server.Start());
    ASSERT_TRUE(WaitUntil(
        [&] {
            stations = Stations();
            const QJsonObject dead = Named(stations, "line2");
            return dead.value("status") == "online" && dead.value("stale") == true
                   && Named(stations, "line1").value("stale") == false;
        },
        60s))
        << QJsonDocument(stations).toJson().toStdString();
}

TEST_F(Station, StationsListsWhatTheBrokerKnowsAndExitsThreeOnAnActiveAlarm)
{
    ASSERT_TRUE(Server.Start());
    StartPoll({"--rounds", "1"});
    ASSERT_TRUE(Cli.waitForFinished(120000));
    ASSERT_EQ(Cli.exitCode(), 0);

    const QString cli = QString::fromStdString(CliExecutable());
    QProcess stations;
    stations.start(cli, {"stations", "--broker", QString("127.0.0.1:%1").arg(Server.Port()), "--json"});
    ASSERT_TRUE(stations.waitForFinished(30000));
    const QJsonArray list = QJsonDocument::fromJson(stations.readAllStandardOutput()).array();
    ASSERT_EQ(list.size(), 1);
    const QJsonObject station = list[0].toObject();
    EXPECT_EQ(station.value("station"), "line1");
    EXPECT_EQ(station.value("status"), "offline");
    EXPECT_EQ(station.value("stale"), false);
    EXPECT_FALSE(station.value("lastReading").toString().isEmpty());
    // Without a link, or not updated; a disabled input (16) is not expected to answer.
    const QJsonArray notInExchange = station.value("notInExchange").toArray();
    EXPECT_TRUE(notInExchange.contains(13) && notInExchange.contains(21)) << QJsonDocument(notInExchange).toJson().toStdString();
    EXPECT_FALSE(notInExchange.contains(16));
    const bool alarms = !station.value("alarms").toArray().isEmpty();
    EXPECT_EQ(stations.exitCode(), alarms ? 3 : 0);

    // An alarm on the broker, as a station would leave it.
    QProcess pub;
    pub.start("mosquitto_pub", {"-h", "127.0.0.1", "-p", QString::number(Server.Port()), "-r", "-t",
                                "orvela/line2/alarms/active", "-m",
                                R"({"schema":2,"count":1,"alarms":[{"input":3,"text":"Вход 3 (№ 0) Состояние обмена: Нет связи"}]})"});
    ASSERT_TRUE(pub.waitForFinished(30000));
    stations.start(cli, {"stations", "--broker", QString("127.0.0.1:%1").arg(Server.Port())});
    ASSERT_TRUE(stations.waitForFinished(30000));
    EXPECT_EQ(stations.exitCode(), 3);
    EXPECT_TRUE(QString::fromUtf8(stations.readAllStandardOutput()).contains("line2: unknown"));

    // No broker there: a failure, not an empty list.
    Server.Kill();
    stations.start(cli, {"stations", "--broker", QString("127.0.0.1:%1").arg(Server.Port())});
    ASSERT_TRUE(stations.waitForFinished(30000));
    EXPECT_EQ(stations.exitCode(), 1);
}

TEST_F(Station, ARisingSensorIsAnAlarmInTheLogOnTheBrokerAndInTheStationsList)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/line1/alarms/#");
    ASSERT_TRUE(WaitUntil([&] { return watch.Connected(); }, 30s));
    // A trial's rise alarm, far above the probes' wandering sixteenths of a degree.
    Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=10\r\n"
                                   "[RiseAlarm]\r\nRatePerDay=10000\r\nMinHours=0.004\r\nWindowHours=0.01\r\n");
    Simulator.Stop(SIGTERM);
    ASSERT_TRUE(Simulator.Start({"--rise", "11.3:30"}));
    StartPoll({"--interval", "20"});

    const QString rising = "Состояние датчика 11.3: рост ";
    ASSERT_TRUE(WaitUntil([&] { return AlarmLog().contains(rising); }, 120s)) << Cli.readAllStandardError().toStdString();
    QJsonObject event;
    ASSERT_TRUE(WaitUntil([&] {
        for (const Subscriber::Message& m : watch.Messages())
            if (m.Topic.endsWith("/events") && m.Payload.contains("\"kind\":\"rise\""))
                event = QJsonDocument::fromJson(m.Payload).object();
        return !event.isEmpty();
    }, 30s));
    EXPECT_TRUE(event["active"].toBool());
    EXPECT_EQ(event["input"].toInt(), 11);
    EXPECT_EQ(event["sensor"].toInt(), 3);
    EXPECT_NEAR(event["threshold"].toDouble(), 10000.0 / 24, 0.001);
    // 30 °C a minute is 1800 an hour, taken from readings some seconds apart.
    EXPECT_GT(event["rate"].toDouble(), 1000);
    EXPECT_TRUE(event["text"].toString().startsWith(rising)) << event["text"].toString().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return watch.Last("orvela/line1/alarms/active").contains("\"kind\":\"rise\""); }, 30s));
    StopPoll();
    // The state changes are in the alarm log as the window writes them.
    const QString log = AlarmLog();
    EXPECT_TRUE(log.contains("Вход 1 (№ 20001) Состояние обмена: Норма"));
    EXPECT_TRUE(log.contains("Вход 13 (№ 20013) Состояние обмена: Нет связи"));

    // The dispatcher's list counts the station's rise among its alarms.
    const FinishedRun stations = RunProgram(
        {CliExecutable(), "stations", "--broker", "127.0.0.1:" + std::to_string(Server.Port()), "--json"}, false, 30s);
    EXPECT_EQ(stations.ExitCode, 3);
    EXPECT_TRUE(QString::fromStdString(stations.Output).contains(rising)) << stations.Output;
}

// Stopped with a faulty sensor (5.3) and a probe without link (7); while it is down, 7's link
// returns and 190's goes. The next start tells just that: the alarms that went on began once, under
// one identity and start.
TEST_F(Station, AlarmsAcrossARestartBeginOnceAndThoseThatEndedWhileDownEnd)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/line1/alarms/#");
    ASSERT_TRUE(WaitUntil([&] { return watch.Connected(); }, 30s));
    ASSERT_TRUE(Controlled("--sensor-fault 5.3 --probe-lost 7"));
    StartPoll();
    ASSERT_TRUE(WaitUntil(
        [&] { return !ActiveOf(watch, "sensor", 5, 3).isEmpty() && !ActiveOf(watch, "input", 7, 0).isEmpty(); }, 120s))
        << Cli.readAllStandardError().toStdString();
    StopPoll();
    Control("--sensor-fault 5.3 --probe-lost 190");
    StartPoll();
    ASSERT_TRUE(WaitUntil([&] {
        return !EventOf(Events(watch), "input", 7, 0, false).isEmpty()
               && !EventOf(Events(watch), "input", 190, 0, true).isEmpty();
    }, 120s)) << Cli.readAllStandardError().toStdString();
    StopPoll();

    const QVector<QJsonObject> events = Events(watch);
    QMap<QString, int> begins;
    for (const QJsonObject& e : events)
        if (e.value("active").toBool())
            ++begins[QString("%1 %2.%3")
                         .arg(e.value("kind").toString())
                         .arg(e.value("input").toInt())
                         .arg(e.value("sensor").toInt())];
    for (auto it = begins.cbegin(); it != begins.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    const QJsonObject faulty = EventOf(events, "sensor", 5, 3, true);
    const QJsonObject kept = ActiveOf(watch, "sensor", 5, 3);
    EXPECT_EQ(kept.value("id"), faulty.value("id"));
    EXPECT_EQ(kept.value("since"), faulty.value("start"));
    EXPECT_EQ(faulty.value("id").toString(), "line1/sensor/5/3/" + faulty.value("start").toString());
    EXPECT_EQ(faulty.value("state"), 5);  // AAAA
    EXPECT_EQ(faulty.value("severity"), "warning");
    EXPECT_EQ(EventOf(events, "input", 7, 0, false).value("id"), EventOf(events, "input", 7, 0, true).value("id"));
    EXPECT_TRUE(ActiveOf(watch, "input", 7, 0).isEmpty());
    EXPECT_EQ(ActiveOf(watch, "input", 190, 0).value("state"), 3);
}

// The controller silent is an alarm of its own, ended by its first answer.
TEST_F(Station, ASilentControllerIsAnAlarmUntilItAnswersAgain)
{
    ASSERT_TRUE(Server.Start());
    Subscriber watch(Server.Port(), "orvela/line1/alarms/#");
    ASSERT_TRUE(WaitUntil([&] { return watch.Connected(); }, 30s));
    ASSERT_TRUE(Controlled(""));
    StartPoll();
    ASSERT_TRUE(WaitUntil([&] { return !watch.Last("orvela/line1/alarms/active").isEmpty(); }, 60s));
    Control("--silent");
    ASSERT_TRUE(WaitUntil([&] { return !ActiveOf(watch, "controller", 0, 0).isEmpty(); }, 60s))
        << Cli.readAllStandardError().toStdString();
    const QJsonObject silent = ActiveOf(watch, "controller", 0, 0);
    EXPECT_TRUE(silent.value("text").toString().endsWith("Нет ответа от устройства"))
        << silent.value("text").toString().toStdString();
    EXPECT_EQ(silent.value("state"), 2);
    EXPECT_EQ(silent.value("severity"), "critical");
    Control("");
    ASSERT_TRUE(WaitUntil([&] { return !EventOf(Events(watch), "controller", 0, 0, false).isEmpty(); }, 60s));
    EXPECT_EQ(EventOf(Events(watch), "controller", 0, 0, false).value("id"), silent.value("id"));
    EXPECT_EQ(EventOf(Events(watch), "controller", 0, 0, true).value("id"), silent.value("id"));
    ASSERT_TRUE(WaitUntil([&] { return ActiveOf(watch, "controller", 0, 0).isEmpty(); }, 30s));
}

}  // namespace
