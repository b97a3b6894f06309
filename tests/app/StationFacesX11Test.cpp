// The station's two faces against each other: the window under the test's X server and
// orvela-cli poll, each on a simulator of its own led through the same script of faults, write the
// same alarm-log lines in the same order and send the same alarm events to the broker.
#include "Broker.h"
#include "WindowFixture.h"
#include "X11Display.h"

#include "station/StationUnits.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

namespace {

// What a face is led through: each step's faults go into the control file (or the adapter is
// pulled out or put back), then the face must have written the step's lines, in order, and sent
// its alarm event to the broker, if it names one, before the next step begins.
struct Step
{
    enum Kind { Faults, Unplug, Replug };
    Kind What = Faults;
    QByteArray Control;
    QStringList Lines;  // the starts of the lines awaited
    QString Event;      // "input.sensor:active" awaited on the broker: the cycle that wrote the lines is over
};

const QString kPort = QStringLiteral("<порт>");

const Step kScript[] = {
    // The first round: every input's state has been written once.
    {Step::Faults, "", {"Вход 191 (№ 20191) Состояние обмена: Норма"}, {}},
    {Step::Faults, "--sensor-fault 7.2", {"Состояние датчика 7.2: AAAA"}, {}},
    {Step::Faults, "--sensor-fault 7.2 --probe-lost 9", {"Вход 9 (№ 20009) Состояние обмена: Нет связи"}, {}},
    {Step::Faults, "--probe-lost 9", {}, "7.2:false"},
    {Step::Faults, "", {"Вход 9 (№ 20009) Состояние обмена: Норма"}, {}},
    {Step::Faults, "--rise 11.3:30", {"Состояние датчика 11.3: рост "}, {}},
    {Step::Faults, "", {"Состояние датчика 11.3: рост прекратился"}, {}},
    {Step::Faults, "--silent", {"Vantor Ошибка обмена: Нет ответа от устройства"}, {}},
    {Step::Faults, "", {"Vantor Состояние обмена: Норма"}, "0.0:false"},
    {Step::Unplug, "", {"Порт отключен: " + kPort, "Vantor Ошибка обмена: Нет ответа от устройства"}, {}},
    {Step::Replug, "", {"Порт " + kPort + " восстановлен", "Vantor Состояние обмена: Норма"}, "0.0:false"},
};

// A line as the comparison sees it: no time stamp, the face's own port named alike, and a rise's
// slope, which depends on when its readings were taken, left out.
QString Comparable(QString line, const QString& port)
{
    static const QRegularExpression slope(QStringLiteral("рост [^°]+°С/сут"));
    if (const qsizetype stamp = line.indexOf(QStringLiteral("  ")); stamp >= 0)
        line = line.mid(stamp + 2);
    return line.replace(port, kPort).replace(slope, QStringLiteral("рост N °С/сут"));
}

// One face on its own simulator behind a link, with its own program folder and broker name.
struct Face
{
    QString Name;
    QString Home;
    QString Link() const { return Home + QStringLiteral("/tty"); }
    QString Control() const { return Home + QStringLiteral("/control"); }
    std::unique_ptr<SimulatorProcess> Simulator;
    int Next = 0;        // the step in progress
    qsizetype From = 0;  // its lines begin after so many
    qsizetype EventsFrom = 0;  // and its events

    QStringList Lines() const
    {
        QFile file(Home + QStringLiteral("/LOG/alarm_") + QDate::currentDate().toString(QStringLiteral("yyyy_MM_dd"))
                   + QStringLiteral(".txt"));
        QStringList lines;
        if (file.open(QIODevice::ReadOnly))
            for (const QString& line : FromCp1251(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
                lines << Comparable(line, Link());
        return lines;
    }

    testing::AssertionResult Start()
    {
        Simulator = std::make_unique<SimulatorProcess>();
        return Simulator->Start({"--link", Link().toStdString(), "--control", Control().toStdString()});
    }
};

class StationFaces : public Window
{
protected:
    ~StationFaces() override
    {
        Form.reset();
        StopStationUnits();
        if (Cli.state() != QProcess::NotRunning) {
            Cli.kill();
            Cli.waitForFinished(10000);
        }
    }

    static void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        ASSERT_TRUE(file.commit());
    }

    // Both faces alike: a round in a few seconds, a rise seen within a minute (the window's rounds
    // take longer: its slope needs a few of them in its span). The simulator's
    // probes wander by sixteenths of a degree: over seconds that is hundreds of degrees a day,
    // far below the rate here and the rising sensor far above it.
    void Prepare(Face& face)
    {
        WriteFile(face.Home + "/INI/VANTOR.ini",
                  "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=5\r\n"
                  "[RiseAlarm]\r\nRatePerDay=10000\r\nMinHours=0.004\r\nWindowHours=0.01\r\n");
        WriteFile(face.Home + "/INI/ComPort.ini", "[Transmitter]\r\nPort=" + face.Link().toUtf8() + "\r\n");
        WriteFile(face.Home + "/INI/MQTT.ini", MqttIni(Server.Port(), face.Name));
        WriteFile(face.Control(), "");
        ASSERT_TRUE(face.Start());
    }

    void Begin(Face& face)
    {
        const Step& step = kScript[face.Next];
        face.From = face.Lines().size();
        face.EventsFrom = Events(face.Name).size();
        if (step.What == Step::Unplug) {
            // As an adapter pulled out: the process goes, and its node with it.
            face.Simulator->Stop(SIGKILL);
            QFile::remove(face.Link());
        } else if (step.What == Step::Replug) {
            EXPECT_TRUE(face.Start());
        } else {
            WriteFile(face.Control(), step.Control);
        }
    }

    bool Done(const Face& face) const
    {
        const Step& step = kScript[face.Next];
        if (!step.Event.isEmpty() && !Events(face.Name).mid(face.EventsFrom).contains(step.Event))
            return false;
        const QStringList lines = face.Lines().mid(face.From);
        qsizetype at = 0;
        for (const QString& awaited : step.Lines) {
            while (at < lines.size() && !lines[at].startsWith(awaited))
                ++at;
            if (at++ >= lines.size())
                return false;
        }
        return true;
    }

    // Leads a face on once its step is done; true when its script is over.
    bool Advance(Face& face)
    {
        while (face.Next < int(std::size(kScript)) && Done(face))
            if (++face.Next < int(std::size(kScript)))
                Begin(face);
        return face.Next == int(std::size(kScript));
    }

    // The station's alarm events as "input.sensor:active", and in full for the comparison.
    QStringList Events(const QString& station, bool full = false) const
    {
        QStringList events;
        for (const Subscriber::Message& m : Watch->Messages()) {
            if (m.Topic != "orvela/" + station + "/alarms/events")
                continue;
            const QJsonObject e = QJsonDocument::fromJson(m.Payload).object();
            QString event = QStringLiteral("%1.%2:%3").arg(e["input"].toInt()).arg(e["sensor"].toInt())
                                .arg(e["active"].toBool() ? "true" : "false");
            if (full)
                event += u' ' + e["kind"].toString() + u' ' + Comparable(e["text"].toString(), kPort)
                         + (e.contains("threshold") ? QStringLiteral(" %1").arg(e["threshold"].toDouble()) : QString());
            events << event;
        }
        return events;
    }

    Broker Server;
    std::unique_ptr<Subscriber> Watch;
    QTemporaryDir CliHome;
    QProcess Cli;
};

}  // namespace

TEST_F(StationFaces, TheWindowAndThePollWriteTheSameAlarmLinesAndSendTheSameAlarmEvents)
{
    SKIP_WITHOUT_X11();
    ASSERT_TRUE(Server.Start());
    Watch = std::make_unique<Subscriber>(Server.Port(), "orvela/+/alarms/events");
    Face window{"window", Folder.Path().chopped(1), {}};
    Face poll{"poll", CliHome.path(), {}};
    ASSERT_NO_FATAL_FAILURE(Prepare(window));
    ASSERT_NO_FATAL_FAILURE(Prepare(poll));

    // The window as the program starts it, polling as fast as the poll below.
    Interval = 20;
    StartRecording();
    Open();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORVELA_HOME", poll.Home);
    Cli.setProcessEnvironment(environment);
    Cli.start(QString::fromStdString(CliExecutable()), {"poll", "--interval", "20", "--port", poll.Link()});
    ASSERT_TRUE(Cli.waitForStarted(10000));

    Begin(window);
    Begin(poll);
    // Both advance at every look, whichever is ahead.
    const bool over = QTest::qWaitFor(
        [&] {
            const bool windowDone = Advance(window);
            const bool pollDone = Advance(poll);
            return windowDone && pollDone;
        },
        300000);
    ASSERT_TRUE(over) << "window at step " << window.Next << ", poll at step " << poll.Next << "\n"
                      << Cli.readAllStandardError().toStdString();
    Form->close();
    Cli.terminate();
    ASSERT_TRUE(Cli.waitForFinished(30000));
    EXPECT_EQ(Cli.exitCode(), 130) << Cli.readAllStandardError().toStdString();

    const QStringList lines = window.Lines();
    EXPECT_EQ(lines, poll.Lines());
    EXPECT_GT(lines.size(), 150);
    // The broker has the events once the publishers' last passes are over.
    const auto same = [&] { return Events("window", true) == Events("poll", true); };
    EXPECT_TRUE(QTest::qWaitFor(same, 30000)) << Events("window", true).join('\n').toStdString() << "\n---\n"
                                             << Events("poll", true).join('\n').toStdString();
    const QStringList events = Events("poll", true);
    EXPECT_TRUE(events.contains("11.3:true rise Состояние датчика 11.3: рост N °С/сут 416.667")) << events.join('\n').toStdString();
    EXPECT_TRUE(events.contains("11.3:false rise Состояние датчика 11.3: рост прекратился 416.667"));
    // The silent line, and the adapter away.
    EXPECT_EQ(events.count("0.0:true controller Vantor Ошибка обмена: Нет ответа от устройства"), 2);
}
