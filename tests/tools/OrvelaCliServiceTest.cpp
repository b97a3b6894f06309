#include "AsNobody.h"
#include "SimulatorProcess.h"
#include "TestFolder.h"

#include "common/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

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

    FinishedRun Cli(std::vector<std::string> args, bool withErrors = true)
    {
        args.insert(args.begin(), CliExecutable());
        args.insert(args.end(), {"--port", Simulator.Path()});
        return RunProgram(args, withErrors, 20s);
    }

    QJsonObject Json(const std::vector<std::string>& args)
    {
        const FinishedRun run = Cli(args, false);
        EXPECT_EQ(run.ExitCode, 0) << run.Output;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.Output), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.Output;
        return document.object();
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
    // A broadcast with another controller's plant number is taken by nobody: nobody answers at 5,
    // and the program keeps its address.
    const FinishedRun ignored = Cli({"address", "5", "--current", "0", "--plant", "1111"});
    EXPECT_EQ(ignored.ExitCode, 1) << ignored.Output;
    EXPECT_EQ(ignored.Output, "Не выполнена команда Записать системный адрес\n");
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=1\r\n"));

    const FinishedRun broadcast = Cli({"address", "5", "--current", "0", "--plant", "3107"});
    EXPECT_EQ(broadcast.ExitCode, 0) << broadcast.Output;
    EXPECT_EQ(broadcast.Output, "Системный адрес: 5\n");
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=5\r\n"));

    // Nobody at 9: the plant number is asked there, not at the program's address 5, and nothing is
    // written.
    const FinishedRun nobody = Cli({"address", "6", "--current", "9"});
    EXPECT_EQ(nobody.ExitCode, 1);
    EXPECT_EQ(nobody.Output, "Не выполнена команда Считать сигнатуру 1\n");
    const FinishedRun missing = Cli({"address", "6", "--current", "9", "--plant", "3107"});
    EXPECT_EQ(missing.Output, "Не выполнена команда Записать системный адрес\n");
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=5\r\n"));

    // Addressed at the program's own address, the plant number read first.
    const FinishedRun addressed = Cli({"address", "1"});
    EXPECT_EQ(addressed.ExitCode, 0) << addressed.Output;
    EXPECT_TRUE(Folder.Read("INI/VANTOR.ini").startsWith("[VANTOR]\r\nSystemAddress=1\r\n"));

    // Addressed at another controller's address with its number read there: the program's own
    // address 1 is not asked.
    Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=9\r\n");
    const FinishedRun elsewhere = Cli({"address", "3", "--current", "1"});
    EXPECT_EQ(elsewhere.ExitCode, 0) << elsewhere.Output;
    EXPECT_EQ(elsewhere.Output, "Системный адрес: 3\n");
}

// The controller answers at the new address while the program would ask the stored one: the
// operator must hear both. Root writes anywhere, so the operator runs as user nobody.
TEST_F(OrvelaCliService, AnAddressTheControllerTookButTheProgramCouldNotStoreIsAFailure)
{
    const std::string cli = CliExecutable();
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
                              " не сохранен: нет доступа (Permission denied)\n"),
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
             {"loader"}, {"sign", "--frob", "1"}, {"loader", "--plant"},
             // Keys of other commands, words too many, numbers that are not all digits.
             {"write-input", "5", "--plant", "1", "--bound", "25", "--period", "1", "--enabled", "1", "--current", "77"},
             {"sign", "--plant", "3107"}, {"modbus", "write", "8", "1", "--json"}, {"sign", "extra"},
             {"plant-number", "+5"}, {"plant-number", "5x"}, {"address", "5", "--current", " 1"},
             {"write-input", "1", "--plant", "1", "--bound", "nan", "--period", "1", "--enabled", "1"},
             {"modbus"}, {"service"}, {"mqtt"}, {"mqtt", "go"}, {"mqtt", "test", "--rounds", "1"},
             {"stations"}, {"stations", "--broker", "localhost:0"}, {"stations", "--broker", "localhost:http"},
             {"poll", "--rounds", "0"}}) {
        const FinishedRun run = Cli(bad);
        EXPECT_EQ(run.ExitCode, 2) << bad.front() << ' ' << bad.back() << '\n' << run.Output;
    }
    EXPECT_EQ(Folder.Read("INI/VANTOR.ini"), "[VANTOR]\r\nSystemAddress=1\r\n[ComPause]\r\nComPauseWrite=20\r\n");

    // The key is named, and told apart from one no command knows.
    const FinishedRun misplaced =
        Cli({"write-input", "5", "--plant", "1", "--bound", "25", "--period", "1", "--enabled", "1", "--current", "77"});
    EXPECT_EQ(misplaced.Output.rfind("Ключ --current не относится к команде write-input\n", 0), 0) << misplaced.Output;
    EXPECT_EQ(Cli({"sign", "--frob", "1"}).Output.rfind("Неизвестный ключ: --frob\n", 0), 0);
}

TEST_F(OrvelaCliService, EveryCommandHasItsOwnHelp)
{
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"sign"}, {"address"}, {"plant-number"}, {"service"}, {"modbus", "read"}, {"modbus", "write"},
             {"write-input"}, {"loader"}, {"poll"}, {"config", "save"}, {"config", "write"}}) {
        std::vector<std::string> args = command;
        args.push_back("--help");
        const FinishedRun help = Cli(args);
        std::string name = command[0] + (command.size() > 1 ? ' ' + command[1] : std::string());
        EXPECT_EQ(help.ExitCode, 0) << name;
        EXPECT_EQ(help.Output.rfind("Использование: orvela-cli " + name + ' ', 0), 0) << help.Output;
        EXPECT_NE(help.Output.find("--port PATH"), std::string::npos) << help.Output;
    }
    EXPECT_NE(Cli({"write-input", "-h"}).Output.find("--bound T"), std::string::npos);
}

TEST_F(OrvelaCliService, JsonCarriesNumbersAsNumbersAndTextsAsText)
{
    const QJsonObject sign = Json({"sign", "--json"});
    EXPECT_TRUE(sign.value("plantNumber").isDouble());
    EXPECT_EQ(sign.value("plantNumber").toInt(), 3107);
    EXPECT_EQ(sign.value("device").toString(), "Vantor-192");
    EXPECT_EQ(sign.size(), 9);

    const QJsonObject modbus = Json({"modbus", "read", "--json"});
    EXPECT_EQ(modbus.value("baud").toInt(), 9600);
    EXPECT_EQ(modbus.value("parityCode").toInt(), 2);
    EXPECT_EQ(modbus.value("parity").toString(), "Even parity");
}

TEST_F(OrvelaCliService, TooFewFileDescriptorsAreNamedAsTheCause)
{
    const FinishedRun run = RunProgram({"/bin/sh", "-c", "ulimit -n 8 && exec \"$0\" sign --port \"$1\"",
                                        CliExecutable(), Simulator.Path()},
                                       true, 20s);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Output, "Слишком мало файловых дескрипторов: разрешено 8 (ulimit -n), нужно не меньше 64.\n");
}

// An echo of the request (a two-wire adapter) or a frame of another address or function is not
// the controller's answer: without the controller's own answer nothing is reported done.
TEST_F(OrvelaCliService, AnEchoOrAnotherDevicesFrameFailsTheCommand)
{
    for (const std::vector<std::string>& fault : std::vector<std::vector<std::string>>{
             {"--echo", "--silent"}, {"--wrong-address"}, {"--wrong-function"}}) {
        Simulator.Stop(SIGTERM);
        ASSERT_TRUE(Simulator.Start(fault));
        const FinishedRun input =
            Cli({"write-input", "5", "--plant", "31000", "--bound", "25", "--period", "12", "--enabled", "1"});
        EXPECT_EQ(input.ExitCode, 1) << fault.front() << '\n' << input.Output;
        EXPECT_EQ(input.Output, "Не выполнена команда Записать свойства входа 5\n") << fault.front();
        const FinishedRun service = Cli({"service", "open"});
        EXPECT_EQ(service.ExitCode, 1) << fault.front() << '\n' << service.Output;
    }
    // Behind an echoing adapter the controller's answer follows the echo.
    Simulator.Stop(SIGTERM);
    ASSERT_TRUE(Simulator.Start({"--echo"}));
    const FinishedRun echoed = Cli({"write-input", "5", "--plant", "31000", "--bound", "25", "--period", "12", "--enabled", "1"});
    EXPECT_EQ(echoed.ExitCode, 0) << echoed.Output;
    Simulator.Stop(SIGTERM);
    ASSERT_TRUE(Simulator.Start({"--echo", "--silent"}));
    // The configuration write as well.
    Folder.Write("DATA/one.txt", "5    PNum:31000  Bound:25  Period:12  Enabled:1\r\n");
    const FinishedRun config = Cli({"config", "write", Folder.Path("DATA/one.txt").toStdString(), "--start", "5", "--stop", "5"});
    EXPECT_EQ(config.ExitCode, 1) << config.Output;
    EXPECT_NE(config.Output.find("Вход 5: не записан"), std::string::npos) << config.Output;
}

// Address 0 is the broadcast: a command is refused before anything is sent, but for the
// address write that is meant for it.
TEST_F(OrvelaCliService, WithoutASystemAddressOnlyTheBroadcastAddressWriteIsSent)
{
    Folder.Write("INI/VANTOR.ini", "[VANTOR]\r\nSystemAddress=0\r\n[ComPause]\r\nComPauseWrite=20\r\n");
    const std::string reason = "Системный адрес прибора не задан (0): сначала задайте системный адрес прибора\n";
    const FinishedRun input = Cli({"write-input", "6", "--plant", "31000", "--bound", "25", "--period", "12", "--enabled", "0"});
    EXPECT_EQ(input.ExitCode, 1);
    EXPECT_EQ(input.Output, "Не выполнена команда Записать свойства входа 6 " + reason);
    const FinishedRun sign = Cli({"sign"});
    EXPECT_EQ(sign.ExitCode, 1);
    EXPECT_EQ(sign.Output, "Не выполнена команда Считать сигнатуру 1 " + reason);
    for (const std::vector<std::string>& polling : std::vector<std::vector<std::string>>{
             {"poll", "--rounds", "1"}, {"config", "save", Folder.Path("DATA/saved.txt").toStdString()}}) {
        const FinishedRun run = Cli(polling);
        EXPECT_EQ(run.ExitCode, 1) << polling.front();
        EXPECT_EQ(run.Output, reason) << polling.front();
    }
    EXPECT_FALSE(QFile::exists(Folder.Path("DATA/saved.txt")));
    // Nothing went on the line: the event log holds no exchange.
    for (const QString& name : QDir(Folder.Path("LOG")).entryList({"log_*.txt"}))
        EXPECT_FALSE(Folder.Read("LOG/" + name).contains("] -> [")) << name.toStdString();

    const FinishedRun broadcast = Cli({"address", "1", "--current", "0", "--plant", "3107"});
    EXPECT_EQ(broadcast.ExitCode, 0) << broadcast.Output;
    const FinishedRun written =
        Cli({"write-input", "6", "--plant", "31000", "--bound", "25", "--period", "12", "--enabled", "0"});
    EXPECT_EQ(written.ExitCode, 0) << written.Output;
}
