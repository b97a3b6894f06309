#include "logs/Logs.h"

#include "TestFolder.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// A clock the test sets by hand.
struct ManualClock
{
    QDateTime Now{QDate(2024, 3, 5), QTime(14, 7, 9, 42)};
    TFileTXT::TClock Function()
    {
        return [this] { return Now; };
    }
};

}  // namespace

TEST(Logs, LinesAreCp1251WithCrLfByteForByte)
{
    TestFolder folder;
    ManualClock clock;
    TLog log(folder.Path(), clock.Function());
    log.WriteStart();
    log.WriteExchange(QStringLiteral("Общая информация"), QStringLiteral("001 004"), QString());
    TAlarm alarm(folder.Path(), clock.Function());
    alarm.WriteLine(QStringLiteral("Vantor Ошибка обмена: Нет ответа от устройства"));

    EXPECT_EQ(log.FileName(), folder.Path("LOG/log_2024_03_05.txt"));
    EXPECT_EQ(folder.Read("LOG/log_2024_03_05.txt"),
              QByteArray("\r\n"
                         "05.03.2024 14:07:09,042  \xD1\xD2\xC0\xD0\xD2 \xCF\xD0\xCE\xC3\xD0\xC0\xCC\xCC\xDB\r\n"
                         "05.03.2024 14:07:09,042  \xCE\xE1\xF9\xE0\xFF \xE8\xED\xF4\xEE\xF0\xEC\xE0\xF6\xE8\xFF\r\n"
                         "[001 004] -> []\r\n"));
    EXPECT_EQ(folder.Read("LOG/alarm_2024_03_05.txt"),
              QByteArray("05.03.2024 14:07:09,042  Vantor \xCE\xF8\xE8\xE1\xEA\xE0 \xEE\xE1\xEC\xE5\xED\xE0: "
                         "\xCD\xE5\xF2 \xEE\xF2\xE2\xE5\xF2\xE0 \xEE\xF2 \xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0\r\n"));
}

TEST(Logs, MidnightStartsTheNextDaysFile)
{
    TestFolder folder;
    ManualClock clock;
    clock.Now = QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999));
    TAlarm alarm(folder.Path(), clock.Function());
    alarm.WriteLine("late");
    clock.Now = QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0, 0));
    alarm.WriteLine("early");
    EXPECT_EQ(folder.Read("LOG/alarm_2024_12_31.txt"), "31.12.2024 23:59:59,999  late\r\n");
    EXPECT_EQ(folder.Read("LOG/alarm_2025_01_01.txt"), "01.01.2025 00:00:00,000  early\r\n");
}

TEST(Logs, DisabledWritesNothingAndCreatesNothing)
{
    TestFolder folder;
    TLog log(folder.Path());
    log.Enabled = false;
    log.WriteStart();
    log.WriteLine("x");
    log.WriteExchange("a", "b", "c");
    EXPECT_FALSE(QFileInfo::exists(folder.Path("LOG")));
}

TEST(Logs, AnUnwritableLogLosesTheLineAndRecovers)
{
    TestFolder folder;
    ManualClock clock;
    TLog log(folder.Path(), clock.Function());
    // The day's file name taken by a folder: the write fails quietly.
    ASSERT_TRUE(QDir().mkpath(folder.Path("LOG/log_2024_03_05.txt")));
    log.WriteLine("lost");
    clock.Now = clock.Now.addDays(1);
    log.WriteLine("kept");
    EXPECT_EQ(folder.Read("LOG/log_2024_03_06.txt"), "06.03.2024 14:07:09,042  kept\r\n");
    // LOG itself a file: nothing can be created under it.
    TestFolder other;
    other.Write("LOG", "not a folder");
    TAlarm alarm(other.Path(), clock.Function());
    alarm.WriteLine("lost too");
    EXPECT_EQ(other.Read("LOG"), "not a folder");
}

TEST(Logs, AFullDiskLosesTheLineWithoutThrowing)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TestFolder folder;
    ManualClock clock;
    QDir().mkpath(folder.Path("LOG"));
    ASSERT_TRUE(QFile::link("/dev/full", folder.Path("LOG/log_2024_03_05.txt")));
    TLog log(folder.Path(), clock.Function());
    log.WriteExchange("a", "b", "c");  // ENOSPC at flush
    SUCCEED();
}
