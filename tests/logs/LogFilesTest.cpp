#include "logs/Logs.h"
#include "logs/LogsUnit.h"

#include "SmallDisk.h"
#include "TestFolder.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QDateTime At(int year, int month, int day)
{
    return QDateTime(QDate(year, month, day), QTime(12, 0));
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList LogFolder(const QString& folder)
{
    return QDir(folder + QStringLiteral("LOG")).entryList(QDir::Files, QDir::Name);
}

}  // namespace

TEST(LogFiles, EventLogDaysOlderThanKeptAreRemovedAtStartAndAtTheFirstWriteOfADay)
{
    TestFolder folder;
    for (const char* name : {"log_2024_02_03.txt", "log_2024_02_04.txt", "log_2024_03_05.txt", "log_2024_13_01.txt",
                             "log_2024_02_03.txt.bak", "alarm_2020_01_01.txt", "notes.txt"})
        folder.Write(QStringLiteral("LOG/") + name, "x\r\n");
    QDateTime now = At(2024, 3, 5);
    TLog log(folder.Path(), [&now] { return now; });
    log.KeepDays = 30;
    log.PruneOldFiles();
    // 30 days before 5 March is 4 February: that day stays; what cannot be read as a day stays.
    EXPECT_EQ(LogFolder(folder.Path()),
              QStringList({"alarm_2020_01_01.txt", "log_2024_02_03.txt.bak", "log_2024_02_04.txt", "log_2024_03_05.txt",
                           "log_2024_13_01.txt", "notes.txt"}));
    now = At(2024, 3, 6);
    log.WriteLine("next day");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("LOG/log_2024_02_04.txt")));
    EXPECT_TRUE(QFileInfo::exists(folder.Path("LOG/alarm_2020_01_01.txt")));
}

TEST(LogFiles, DaysKeptComeFromTheSettingsWithThirtyForMissingZeroOrJunk)
{
    const QDate today = QDate::currentDate();
    for (const auto& [setting, kept] : {std::pair{"", 30}, {"EventLogDays=0", 30}, {"EventLogDays=abc", 30},
                                        {"EventLogDays=-3", 30}, {"EventLogDays=5", 5}}) {
        TestFolder folder;
        folder.Write("INI/VANTOR.ini", QByteArray("[Logs]\r\n") + setting + "\r\n");
        for (int age : {kept, kept + 1})
            folder.Write(QStringLiteral("LOG/log_%1.txt").arg(today.addDays(-age).toString("yyyy_MM_dd")), "x\r\n");
        LogsStartup();
        const QStringList left = LogFolder(folder.Path());
        LogsShutdown();
        EXPECT_EQ(left, QStringList({QStringLiteral("log_%1.txt").arg(today.addDays(-kept).toString("yyyy_MM_dd"))}))
            << setting;
    }
}

TEST(LogFiles, TheFreeSpaceFloorIsSetInMegabytesWithFiveHundredForMissingOrJunk)
{
    constexpr qint64 kMB = 1024 * 1024;
    for (const auto& [setting, floor] : {std::pair{"", 500 * kMB}, {"MinFreeMB=abc", 500 * kMB},
                                         {"MinFreeMB=-1", 500 * kMB}, {"MinFreeMB=0", qint64(0)}, {"MinFreeMB=3", 3 * kMB}}) {
        TestFolder folder;
        folder.Write("INI/VANTOR.ini", QByteArray("[Logs]\r\n") + setting + "\r\n");
        LogsStartup();
        const qint64 set = EventLog()->FreeFloor;
        LogsShutdown();
        EXPECT_EQ(set, floor) << setting;
    }
}

TEST(LogFiles, AFullDiskIsToldOnceAndLeavesNoHalfRecord)
{
    const SmallDisk disk(64);
    if (!disk.Skip().empty())
        GTEST_SKIP() << disk.Skip();
    QDateTime now = At(2024, 3, 5);
    TLog log(disk.Path(), [&now] { return now; });
    QStringList told;
    log.OnTrouble = [&told](const QString& text) { told << text; };
    log.WriteExchange("first", "001 003", "001 003 002");
    disk.Fill();
    const QString answer = QStringLiteral("001 003 080").leftJustified(8000, u'0');
    for (int i = 0; i < 5; ++i)
        log.WriteExchange("lost", "001 003", answer);
    disk.Free();
    log.WriteExchange("kept", "001 003", "001 003 002");

    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[0], QStringLiteral("Лог событий не записывается: ") + disk.Path("LOG/log_2024_03_05.txt") +
                           QStringLiteral(": диск переполнен (No space left on device)"));
    EXPECT_EQ(told[1], QString());
    const QByteArray text = Read(disk.Path("LOG/log_2024_03_05.txt"));
    EXPECT_EQ(text.toStdString(), "05.03.2024 12:00:00,000  first\r\n[001 003] -> [001 003 002]\r\n"
                    "05.03.2024 12:00:00,000  kept\r\n[001 003] -> [001 003 002]\r\n");
}

TEST(LogFiles, BelowTheFreeSpaceFloorTheEventLogStopsWithOneAlarmLineAndResumes)
{
    const SmallDisk disk(2048);
    if (!disk.Skip().empty())
        GTEST_SKIP() << disk.Skip();
    QDateTime now = At(2024, 3, 5);
    TLog log(disk.Path(), [&now] { return now; });
    log.FreeFloor = 1024 * 1024;
    QStringList alarms;
    log.OnLowSpace = [&alarms](const QString& text) { alarms << text; };
    log.WriteExchange("before", "1", "2");
    disk.Fill(1536 * 1024);
    for (int i = 0; i < 3; ++i)
        log.WriteExchange("while low", "1", "2");
    disk.Free();
    log.WriteExchange("after", "1", "2");

    ASSERT_EQ(alarms.size(), 2);
    EXPECT_TRUE(alarms[0].startsWith(QStringLiteral("Лог событий остановлен: на диске программы осталось ")))
        << alarms[0].toStdString();
    EXPECT_TRUE(alarms[0].endsWith(QStringLiteral(", меньше 1 МБ"))) << alarms[0].toStdString();
    EXPECT_TRUE(alarms[1].startsWith(QStringLiteral("Лог событий снова ведется"))) << alarms[1].toStdString();
    EXPECT_EQ(Read(disk.Path("LOG/log_2024_03_05.txt")),
              "05.03.2024 12:00:00,000  before\r\n[1] -> [2]\r\n05.03.2024 12:00:00,000  after\r\n[1] -> [2]\r\n");
}
