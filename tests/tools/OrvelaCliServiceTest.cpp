#include "AsNobody.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include "common/Cp1251.h"

#include <QDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

// orvela-cli's service commands against the simulator, each run a process of its own, so that
// what one run wrote into the controller is seen by the next.
class OrvelaCliService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Simulator.Start());
        Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseWrite=20\r\n");
    }

    static std::string CliPath()
    {
        const std::string tools = SimulatorProcess::Executable().substr(0, SimulatorProcess::Executable().rfind('/'));
        return tools + "/../orvela-cli/orvela-cli";
    }

    FinishedRun Cli(std::vector<std::string> args)
    {
        args.insert(args.begin(), CliPath());
        args.insert(args.end(), {"--port", Simulator.Path()});
        return RunProgram(args, true, 20s);
    }

    TestFolder Folder;
    SimulatorProcess Simulator;
};

}  // namespace

TEST_F(OrvelaCliService, WritesReachTheControllerAndAreReadBack)
{
    const FinishedRun sign = Cli({"sign"});
    EXPECT_EQ(sign.ExitCode, 0) << sign.Output;
    EXPECT_NE(sign.Output.find("Заводской номер: 3107\n"), std::string::npos) << sign.Output;
    EXPECT_NE(sign.Output.find("Устройство: Vantor-192\n"), std::string::npos) << sign.Output;

    // Closed range: the Modbus registers refuse the write.
    const FinishedRun refused = Cli({"modbus", "write", "8", "1"});
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(refused.Output, "Не выполнена команда Записать параметры Modbus\n");
    EXPECT_EQ(Cli({"modbus", "read"}).Output, "Скорость: 9600 бит/с\nЧетность: Even parity\n");

    EXPECT_EQ(Cli({"service", "open"}).ExitCode, 0);
    EXPECT_EQ(Cli({"modbus", "write", "8", "1"}).ExitCode, 0);
    const FinishedRun modbus = Cli({"modbus", "read"});
    EXPECT_EQ(modbus.ExitCode, 0);
    EXPECT_EQ(modbus.Output, "Скорость: 19200 бит/с\nЧетность: Odd parity\n");

    const FinishedRun plant = Cli({"plant-number", "4242"});
    ASSERT_EQ(plant.ExitCode, 0) << plant.Output;
    const QString passport = QString::fromStdString(plant.Output).trimmed();
    EXPECT_TRUE(passport.startsWith(Folder.Path("ORVELA/PN04242_"))) << plant.Output;
    const QString text = FromCp1251(Folder.Read(QDir(Folder.Path()).relativeFilePath(passport)));
    EXPECT_TRUE(text.startsWith("[VANTOR_4242]\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("\r\nPlantNumber=4242\r\n")) << text.toStdString();
    EXPECT_NE(Cli({"sign"}).Output.find("Заводской номер: 4242\n"), std::string::npos);

    const FinishedRun input = Cli({"write-input", "7", "--plant", "31000", "--bound", "25.03", "--period", "12", "--enabled", "0"});
    EXPECT_EQ(input.ExitCode, 0) << input.Output;
    EXPECT_EQ(input.Output, "Уставка: 25\n");

    // The loading mode wants the controller's own number; after it the controller is silent.
    const FinishedRun wrong = Cli({"loader", "--plant", "3107"});
    EXPECT_EQ(wrong.ExitCode, 1);
    EXPECT_EQ(wrong.Output, "Не выполнена команда Переход в режим загрузки ПО\n");
    EXPECT_EQ(Cli({"loader", "--plant", "4242"}).ExitCode, 0);
    const FinishedRun silent = Cli({"sign"});
    EXPECT_EQ(silent.ExitCode, 1);
    EXPECT_EQ(silent.Output, "Не выполнена команда Считать сигнатуру 1\n");
}

TEST_F(OrvelaCliService, AddressWritesBroadcastAndAddressedAndKeepTheOldOnFailure)
{
    const FinishedRun broadcast = Cli({"address", "5", "--current", "0", "--plant", "3107"});
    EXPECT_EQ(broadcast.ExitCode, 0) << broadcast.Output;
    EXPECT_EQ(broadcast.Output, "Системный адрес: 5\n");
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=5\r\n"));

    // Nobody at 9: the plant number is read at the program's address 5, the write fails.
    const FinishedRun nobody = Cli({"address", "6", "--current", "9"});
    EXPECT_EQ(nobody.ExitCode, 1);
    const FinishedRun missing = Cli({"address", "6", "--current", "9", "--plant", "3107"});
    EXPECT_EQ(missing.Output, "Не выполнена команда Записать системный адрес\n");
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=5\r\n"));

    // Addressed at the program's own address, the plant number read first.
    const FinishedRun addressed = Cli({"address", "1"});
    EXPECT_EQ(addressed.ExitCode, 0) << addressed.Output;
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=1\r\n"));
}

// The controller answers at the new address while the program would ask the stored one: the
// operator must hear both. Root writes anywhere, so the operator runs as user nobody.
TEST_F(OrvelaCliService, AnAddressTheControllerTookButTheProgramCouldNotStoreIsAFailure)
{
    const std::string cli = CliPath();
    std::string skip;
    std::vector<std::string> command = AsNobody(cli, skip);
    if (command.empty())
        GTEST_SKIP() << skip;
    ASSERT_EQ(chmod(Simulator.Path().c_str(), 0666), 0);
    const QByteArray folder = QFile::encodeName(Folder.Path());
    ASSERT_EQ(chmod(folder.constData(), 0555), 0);
    command.insert(command.end(), {cli, "address", "5", "--current", "1", "--port", Simulator.Path()});
    const FinishedRun run = RunProgram(command, true, 20s);
    chmod(folder.constData(), 0700);

    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    const std::string ini = Folder.Path("INI/VANTOR.ini").toStdString();
    EXPECT_NE(run.Output.find("Прибор принял системный адрес 5, но программа не сохранила его: Файл " + ini +
                              " не сохранен: нет прав на запись\n"),
              std::string::npos)
        << run.Output;
    EXPECT_NE(run.Output.find("Системный адрес: 5\n"), std::string::npos) << run.Output;
    // The logs cannot be written either: each says so once.
    const std::string log = "Лог событий не записывается: " + Folder.Path("LOG/log_").toStdString();
    EXPECT_NE(run.Output.find(log), std::string::npos) << run.Output;
    EXPECT_EQ(run.Output.find(log), run.Output.rfind(log)) << run.Output;
    EXPECT_EQ(Folder.Read("INI/VANTOR.ini"), "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseWrite=20\r\n");
}

TEST_F(OrvelaCliService, BadCommandLinesChangeNothing)
{
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"address", "0"}, {"address", "248"}, {"address", "5", "--current", "256"}, {"address", "5", "--current", "0"},
             {"plant-number", "0"}, {"plant-number", "65536"}, {"service", "ajar"}, {"modbus", "write", "13", "0"},
             {"modbus", "write", "0", "3"}, {"write-input", "193", "--plant", "1", "--bound", "1", "--period", "1", "--enabled", "1"},
             {"write-input", "1", "--plant", "1", "--bound", "2048", "--period", "1", "--enabled", "1"},
             {"write-input", "1", "--plant", "1", "--bound", "1", "--period", "1", "--enabled", "2"},
             {"loader"}, {"sign", "--frob", "1"}, {"loader", "--plant"}}) {
        const FinishedRun run = Cli(bad);
        EXPECT_EQ(run.ExitCode, 2) << bad.front() << ' ' << bad.back() << '\n' << run.Output;
    }
    EXPECT_EQ(Folder.Read("INI/VANTOR.ini"), "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseWrite=20\r\n");
}
