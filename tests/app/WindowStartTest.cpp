#include "WindowFixture.h"

#include "logs/Logs.h"
#include "logs/LogsUnit.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include <QDir>
#include <QFile>
#include <QMap>

namespace {

QMap<QString, QByteArray> Snapshot(const TestFolder& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder.Path("INI")).entryList(QDir::Files))
        files[name] = folder.Read("INI/" + name);
    return files;
}

}  // namespace

TEST_F(Window, StartsEmptyThenPollsAtOnceAndFillsTheGridFourRowsPerCycle)
{
    // The poll interval is far longer than the test: the first cycle must not wait for it.
    OpenOnSimulator();
    EXPECT_EQ(Form->windowTitle(), "Orvela - Программа настройки");
    EXPECT_EQ(Form->size(), QSize(1023, 738));
    EXPECT_EQ(Form->minimumSize(), QSize(800, 560));
    EXPECT_EQ(Vantor()->CurrentInput, vantor::kInputCount);
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        EXPECT_EQ(Cell(n, 0), QString::number(n));
        for (int column = 1; column < 24; ++column)
            ASSERT_EQ(Cell(n, column), "") << n << ' ' << column;
    }
    EXPECT_EQ(Form->StatusText(2), "Опрос остановлен");

    ASSERT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    EXPECT_EQ(Commands.value(0), CommandTable().Name(cmdGeneralInfo));
    EXPECT_EQ(Form->StatusText(1), "Порт открыт");
    EXPECT_EQ(Form->StatusText(2), "Опрос возобновлен");
    EXPECT_EQ(Text("lbFreqChannel"), "7");
    EXPECT_EQ(Text("lbSystemAddress"), "1");
    EXPECT_EQ(Text("lbModuleError"), "Норма");
    EXPECT_EQ(Cell(4, 1), "Норма");
    EXPECT_EQ(Cell(5, 1), "");

    ASSERT_TRUE(PollUntilCycle(48));
    for (int n = 1; n <= vantor::kInputCount; ++n)
        for (int column = 1; column < 24; ++column) {
            if (column != 18 && column != 22) {
                ASSERT_FALSE(Cell(n, column).isEmpty()) << n << ' ' << column;
            }
        }
    // The next round starts with the general information and rows 1..4 again.
    const QString before = Cell(1, 23);
    ASSERT_TRUE(PollUntilCycle(49));
    EXPECT_EQ(Commands.count(CommandTable().Name(cmdGeneralInfo)), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Cell(1, 23) != before; }, 5000));
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
}

TEST_F(Window, WithoutItsPortShowsOneErrorAndDoesNotPollUntilThePortIsThere)
{
    const QString link = Folder.Path("tty");
    WriteSettings(link.toStdString(), 20000);
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->TimerStartConnection()->isActive(); }, 5000));
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith("Внимание|Ошибка активации порта :" + link + "\nПорта " + link
                                                 + " нет в системе."))
        << Messages.Messages[0].toStdString();
    EXPECT_EQ(Form->StatusText(0), link);
    EXPECT_EQ(Form->StatusText(1), "Не удалось открыть порт");
    EXPECT_EQ(Form->StatusText(2), "Опрос остановлен");
    EXPECT_FALSE(PollTimer()->Enabled());
    EXPECT_FALSE(Action("actOprosStart")->isEnabled());
    EXPECT_TRUE(Action("actPortOpen")->isEnabled());
    EXPECT_TRUE(Action("actConfigComPort")->isEnabled());

    ASSERT_TRUE(Simulator.Start({"--link", link.toStdString()}));
    Action("actPortOpen")->trigger();
    EXPECT_TRUE(Transmitter()->Connected());
    EXPECT_EQ(Form->StatusText(1), "Порт открыт");
    EXPECT_TRUE(Action("actOprosStart")->isEnabled());
    EXPECT_FALSE(Action("actPortOpen")->isEnabled());
    Action("actOprosStart")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Cycles >= 1; }, 10000));
    EXPECT_EQ(Messages.Messages.size(), 1);
}

TEST_F(Window, BothLogsStartBeforeTheFirstExchangeAndNoSettingChangesOnDisk)
{
    ASSERT_TRUE(Simulator.Start());
    WriteSettings(Simulator.Path(), 20000);
    const QMap<QString, QByteArray> before = Snapshot(Folder);
    Open();
    ASSERT_TRUE(PollUntilCycle(3));
    Form->close();
    Form.reset();
    StopUnits();

    const QStringList events = LogLines("log");
    const qsizetype start = events.indexOf("СТАРТ ПРОГРАММЫ");
    ASSERT_GE(start, 0);
    const qsizetype exchange = events.indexOf(CommandTable().Name(cmdGeneralInfo));
    ASSERT_GT(exchange, start) << events.join('\n').toStdString();
    EXPECT_EQ(LogLines("alarm").indexOf("СТАРТ ПРОГРАММЫ"), start);
    EXPECT_EQ(Snapshot(Folder), before);
}

TEST_F(Window, JunkSettingsFilesDoNotKeepTheWindowFromOpening)
{
    Folder.Write("INI/Timer.ini", QByteArray("[ctReqDevices]\r\nInterval=-x\r\nEnabled=ja\r\n\xff\x00[[", 44));
    Folder.Write("INI/VANTOR.ini", QByteArray("[VANTOR\r\nSystemAddress=999\r\nSensitivity=-4\r\n[ComPause]\r\nComPauseRead=1e9\r\n"));
    Folder.Write("INI/ComPort.ini", "[Transmitter]\r\nPort=" + Folder.Path("none").toLocal8Bit() + "\r\nBaudRate=zz\r\n");
    Open();
    EXPECT_TRUE(Form->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->TimerStartConnection()->isActive(); }, 5000));
    EXPECT_EQ(Form->StatusText(1), "Не удалось открыть порт");
    EXPECT_EQ(Text("lbCh_CRC"), "_ _");
}

// A log that cannot be written is told in the status bar until it writes again.
TEST_F(Window, LogsThatCannotBeWrittenAreShownInTheStatusBarUntilTheyWriteAgain)
{
    Folder.Write("LOG", "not a folder");
    OpenOnSimulator();
    auto* panel = Form->findChild<QLabel*>(QStringLiteral("StatusLogs"));
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->text().contains(QStringLiteral("Лог аварий")); }, 10000));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->text(), QStringLiteral("Лог событий не записывается: ") + Folder.Path("LOG/log_") +
                                 QDate::currentDate().toString("yyyy_MM_dd") +
                                 QStringLiteral(".txt: не удалось создать файл или его папку; Лог аварий не записывается: ") +
                                 Folder.Path("LOG/alarm_") + QDate::currentDate().toString("yyyy_MM_dd") +
                                 QStringLiteral(".txt: не удалось создать файл или его папку"));

    ASSERT_TRUE(QFile::remove(Folder.Path("LOG")));
    AlarmLog()->WriteLine(QStringLiteral("снова"));
    ASSERT_TRUE(PollUntilCycle(Cycles + 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->isHidden(); }, 10000)) << panel->text().toStdString();
}
