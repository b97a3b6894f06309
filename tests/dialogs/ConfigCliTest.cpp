#include "common/Cp1251.h"

#include "CliRun.h"
#include "DialogsSupport.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {


class ConfigCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Simulator.Start());
        Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseRead=5\r\nComPauseWrite=5\r\n");
        // The simulator writes each answer at once: 10 ms of silence end it as surely as 50.
        Folder.Write("INI/ComPort.ini", "[Transmitter]\r\nReadInterval=10\r\n");
    }

    // orvela-cli under a Russian locale on the simulator's port; prefix runs it through another
    // program (setpriv).
    CliRun Cli(QStringList args, const QStringList& prefix = {})
    {
        args << "--port" << QString::fromStdString(Simulator.Path());
        return RunCli(args, {"LANG=ru_RU.UTF-8", "LC_ALL=ru_RU.UTF-8"}, prefix);
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
};

}  // namespace

TEST_F(ConfigCli, SaveThenWriteBackCommissionsTheController)
{
    const CliRun save = Cli({"config", "save", Folder.Path("DATA/site.txt")});
    ASSERT_EQ(save.ExitCode, 0) << save.Err.toStdString();
    const QStringList lines = FromCp1251(Folder.Read("DATA/site.txt")).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 192);
    EXPECT_EQ(lines[4], "5    PNum:20005 Bound:15,000  Period:5  Enabled:1");
    EXPECT_EQ(lines[15], "16   PNum:20016 Bound:15,000  Period:5  Enabled:0");

    // The engineer edits the file: new probes, new set-points.
    QByteArray edited;
    for (int n = 1; n <= 192; ++n)
        edited += QByteArray::number(n) + " PNum:" + QByteArray::number(40000 + n) + " Bound:" +
                  (n == 1 ? "85,03" : n == 2 ? "85,04" : n == 4 ? "-10,5" : "20,5") + " Period:10 Enabled:" + (n == 3 ? "0" : "1") + "\r\n";
    Folder.Write("DATA/site.txt", edited);
    const CliRun write = Cli({"config", "write", Folder.Path("DATA/site.txt")});
    ASSERT_EQ(write.ExitCode, 0) << write.Err.toStdString();
    ASSERT_EQ(write.Lines().size(), 193);
    EXPECT_EQ(write.Lines()[0], "Вход 1: записан");
    EXPECT_EQ(write.Lines()[191], "Вход 192: записан");
    EXPECT_EQ(write.Lines()[192], "Запись настроек входов прошла успешно");

    // What the controller now reports, saved again.
    ASSERT_EQ(Cli({"config", "save", Folder.Path("DATA/again.txt")}).ExitCode, 0);
    const QStringList again = FromCp1251(Folder.Read("DATA/again.txt")).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(again.size(), 192);
    EXPECT_EQ(again[0], "1    PNum:40001 Bound:85,000  Period:10  Enabled:1");
    EXPECT_EQ(again[1], "2    PNum:40002 Bound:85,063  Period:10  Enabled:1");
    EXPECT_EQ(again[2], "3    PNum:40003 Bound:20,500  Period:10  Enabled:0");
    EXPECT_EQ(again[3], "4    PNum:40004 Bound:-10,500 Period:10  Enabled:1");
    EXPECT_EQ(again[191], "192  PNum:40192 Bound:20,500  Period:10  Enabled:1");
}

TEST_F(ConfigCli, ARangeWritesOnlyTheListedInputsAndFailuresAreListed)
{
    Folder.Write("DATA/few.txt", "3 1 1 1 1\r\n5 1 1 1 1\r\n9 1 1 1 1\r\n");
    const CliRun some = Cli({"config", "write", Folder.Path("DATA/few.txt"), "--start", "4", "--stop", "9"});
    EXPECT_EQ(some.ExitCode, 0);
    EXPECT_EQ(some.Lines(), (QStringList{"Вход 5: записан", "Вход 9: записан", "Запись настроек входов прошла успешно"}));

    const CliRun none = Cli({"config", "write", Folder.Path("DATA/few.txt"), "--start", "10", "--stop", "5"});
    EXPECT_EQ(none.ExitCode, 0);
    EXPECT_EQ(none.Lines(), QStringList{"Запись настроек входов прошла успешно"});

    ASSERT_EQ(Simulator.Stop(SIGTERM), 0);
    ASSERT_TRUE(Simulator.Start({"--silent"}));
    const CliRun silent = Cli({"config", "write", Folder.Path("DATA/few.txt")});
    EXPECT_EQ(silent.ExitCode, 1);
    EXPECT_EQ(silent.Lines().last(), "Не удалось записать настройки входов: 3,5,9");
}

TEST_F(ConfigCli, BadFilesAndCommandLinesSendNothing)
{
    Folder.Write("DATA/bad.txt", "1 1 1 1 1\r\n2 PNum:7 Bound:2048 Period:1 Enabled:1\r\n");
    const CliRun bad = Cli({"config", "write", Folder.Path("DATA/bad.txt")});
    EXPECT_EQ(bad.ExitCode, 2);
    EXPECT_TRUE(bad.Err.contains("Неверный формат данных")) << bad.Err.toStdString();
    EXPECT_TRUE(bad.Err.contains("строка 2")) << bad.Err.toStdString();
    EXPECT_TRUE(bad.Lines().isEmpty());

    EXPECT_EQ(Cli({"config", "write", Folder.Path("DATA/none.txt")}).ExitCode, 2);
    EXPECT_EQ(Cli({"config", "write", Folder.Path("DATA/bad.txt"), "--start", "0"}).ExitCode, 2);
    EXPECT_EQ(Cli({"config", "save", Folder.Path("DATA/x.txt"), "--start", "1"}).ExitCode, 2);
    EXPECT_EQ(Cli({"config", "erase", Folder.Path("DATA/x.txt")}).ExitCode, 2);
}

TEST_F(ConfigCli, ASaveThatCannotBeWrittenKeepsTheOldFile)
{
    Folder.Write("DATA/old.txt", "old\r\n");
    // A folder the operator may not write into.
    QFile::setPermissions(Folder.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                             QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile::setPermissions(Folder.Path("DATA"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                   QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile::setPermissions(Folder.Path("DATA/old.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                           QFileDevice::ReadOther | QFileDevice::WriteOther);
    // The logs stay writable for the operator.
    for (const QString& folder : {Folder.Path("INI"), Folder.Path("LOG")}) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    QFile::setPermissions(Folder.Path("INI/VANTOR.ini"), QFileDevice::ReadOther | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The operator's run comes first on a fresh line.
    chmod(Simulator.Path().c_str(), 0666);
    const CliRun readOnly = Cli({"config", "save", Folder.Path("DATA/old.txt")},
                             {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    EXPECT_EQ(readOnly.ExitCode, 1) << readOnly.Err.toStdString();
    EXPECT_TRUE(readOnly.Err.contains("не сохранен")) << readOnly.Err.toStdString();
    EXPECT_EQ(Folder.Read("DATA/old.txt"), "old\r\n");

    // A device where the file should be.
    const CliRun device = Cli({"config", "save", "/dev/full"});
    EXPECT_EQ(device.ExitCode, 1);
    EXPECT_TRUE(device.Err.contains("не сохранен")) << device.Err.toStdString();
}
