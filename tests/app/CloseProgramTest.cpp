// The program itself, on a virtual display, closed with Esc at random moments while it polls:
// it must end by itself within a second with exit code 0, its logs on whole lines and its
// settings files as they were.
#include "SimulatorProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>
#include <random>

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QMap<QString, QByteArray> Files(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        files[info.fileName()] = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    }
    return files;
}

// An X server of our own for the runs; stopped with the object.
class VirtualDisplay
{
public:
    bool Start()
    {
        Server_.setProgram(QStringLiteral("Xvfb"));
        Server_.setArguments({"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        Server_.start();
        if (!Server_.waitForStarted(5000))
            return false;
        // The server prints its display number once it accepts clients.
        QElapsedTimer clock;
        clock.start();
        while (!Server_.canReadLine() && clock.elapsed() < 15000 && Server_.state() == QProcess::Running)
            Server_.waitForReadyRead(500);
        const QByteArray number = Server_.readLine().trimmed();
        if (number.isEmpty())
            return false;
        Name_ = ":" + QString::fromLatin1(number);
        return true;
    }
    ~VirtualDisplay()
    {
        Server_.terminate();
        if (!Server_.waitForFinished(5000))
            Server_.kill();
    }
    const QString& Name() const { return Name_; }

private:
    QProcess Server_;
    QString Name_;
};

// xdotool with its arguments on the display; its output, or nothing when it failed.
QByteArray Xdotool(const QString& display, const QStringList& arguments)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(15000)) {
        tool.kill();
        tool.waitForFinished();
        return {};
    }
    return tool.exitCode() == 0 ? tool.readAllStandardOutput() : QByteArray();
}

TEST(CloseProgram, TwentyRunsClosedWithEscWhilePollingEndCleanly)
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/install-deps.sh installs them)";
    VirtualDisplay display;
    ASSERT_TRUE(display.Start());
    SimulatorProcess simulator;
    ASSERT_TRUE(simulator.Start({"--bad-crc", "0.05"}));

    std::mt19937 random(20261208);
    constexpr int kRuns = 20;
    qint64 longest = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        QTemporaryDir home;
        ASSERT_TRUE(WriteFile(home.path() + "/INI/VANTOR.ini",
                              "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=5\r\n"));
        ASSERT_TRUE(WriteFile(home.path() + "/INI/ComPort.ini",
                              QByteArray("[Transmitter]\r\nPort=") + simulator.Path().c_str() + "\r\n"));
        ASSERT_TRUE(WriteFile(home.path() + "/INI/Timer.ini", "[ctReqDevices]\r\nInterval=20\r\nEnabled=0\r\n"));
        const QMap<QString, QByteArray> settings = Files(home.path() + "/INI");

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVELA_HOME"), home.path());
        env.insert(QStringLiteral("DISPLAY"), display.Name());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(ORVELA_PROGRAM), {});
        ASSERT_TRUE(program.waitForStarted(5000));
        const QByteArray window = Xdotool(display.Name(), {"search", "--sync", "--onlyvisible", "--pid",
                                                           QString::number(program.processId()), "--name", "Orvela"})
                                      .split('\n')
                                      .value(0);
        ASSERT_FALSE(window.isEmpty()) << "the window did not appear";
        // From before the port opens to a few rounds of cycles in.
        QTest::qWait(std::uniform_int_distribution(0, 1500)(random));
        Xdotool(display.Name(), {"windowfocus", "--sync", QString::fromLatin1(window), "key", "Escape"});
        QElapsedTimer clock;
        clock.start();
        const bool ended = program.waitForFinished(1000);
        longest = std::max(longest, clock.elapsed());
        if (!ended) {
            program.kill();
            program.waitForFinished();
        }
        ASSERT_TRUE(ended) << "still running a second after Esc";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QMap<QString, QByteArray> logs = Files(home.path() + "/LOG");
        EXPECT_EQ(logs.size(), 2) << "the event log and the alarm log";
        for (auto log = logs.begin(); log != logs.end(); ++log)
            EXPECT_TRUE(log.value().endsWith("\r\n")) << log.key().toStdString();
        EXPECT_EQ(Files(home.path() + "/INI"), settings);
    }
    std::cout << "[ measured ] " << kRuns << " runs closed with Esc; longest from the key to the exit " << longest
              << " ms\n";
}

}  // namespace
