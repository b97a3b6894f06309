#include "HistorySupport.h"
#include "Wait.h"
#include "MessageRecorder.h"
#include "SmallDisk.h"
#include "TestFolder.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryUnit.h"
#include "common/Cp1251.h"
#include "logs/LogsUnit.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

class HistoryRecorder : public ::testing::Test
{
protected:
    QString Path() const { return Folder.Path("DATA/history.sqlite"); }

    QVector<THistoryReading> Kept(int input)
    {
        THistoryStore store;
        EXPECT_TRUE(store.Open(Path())) << store.ErrorText().toStdString();
        return store.Query(input, 0, kDay0 + 1000 * kDayMs);
    }

    // Lets the recorder's posted report reach the operator.
    void WaitReported(THistoryRecorder& recorder)
    {
        ASSERT_TRUE(WaitUntil([&] { return recorder.Failed(); }, 20s));
        ASSERT_TRUE(WaitUntil([&] { return !Messages.Messages.isEmpty(); }, 20s));
    }

    // Readings 40 days, 20 days and a minute before now.
    void StoreAged(qint64 now)
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Path()));
        ASSERT_TRUE(store.Append({MakeReading(1, now - 40 * kDayMs), MakeReading(1, now - 20 * kDayMs),
                                  MakeReading(1, now - kMinute)}));
    }

    // Runs run on an empty store that another program holds in an exclusive lock meanwhile.
    void WhileLocked(const std::function<void()>& run)
    {
        {
            THistoryStore store;
            ASSERT_TRUE(store.Open(Path()));
        }
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        db.setDatabaseName(Path());
        ASSERT_TRUE(db.open());
        {
            QSqlQuery lock(db);
            ASSERT_TRUE(lock.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
            ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
            run();
            ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    }

    TestFolder Folder;
    MessageRecorder Messages;
};

TEST_F(HistoryRecorder, KeepsAChangeAtOnceAndASteadyProbeOncePerItsInterval)
{
    {
        THistoryRecorder recorder(Path(), 730);
        // Polled every 30 s for an hour: a steady probe with a 10-minute interval on input 1, one
        // whose interval is not known on input 2, a probe changing every reading on input 3.
        for (int n = 0; n <= 120; ++n) {
            const qint64 time = kDay0 + n * 30'000;
            recorder.Record(MakeReading(1, time), 10);
            recorder.Record(MakeReading(2, time), 0);
            recorder.Record(MakeReading(3, time, n), 10);
            // A state that changes for one poll is kept, and so is its return.
            THistoryReading four = MakeReading(4, time);
            four.TemperState[5] = n == 50 ? 3 : 1;
            recorder.Record(four, 10);
            recorder.Flush();
        }
        // A clock set back is not taken for a steady probe.
        recorder.Record(MakeReading(1, kDay0 + 59 * kMinute), 10);
        recorder.Flush();
        recorder.WaitWritten();
        EXPECT_FALSE(recorder.Failed());
    }
    const QVector<THistoryReading> one = Kept(1);
    ASSERT_EQ(one.size(), 8);
    EXPECT_EQ(one[1].Time, kDay0 + 10 * kMinute);
    EXPECT_EQ(one[6].Time, kDay0 + 59 * kMinute);
    EXPECT_EQ(Kept(2).size(), 13);  // every 5 minutes
    EXPECT_EQ(Kept(3).size(), 121);
    const QVector<THistoryReading> four = Kept(4);
    ASSERT_EQ(four.size(), 8);
    EXPECT_EQ(four[3].TemperState[5], 3);
    EXPECT_EQ(four[4].TemperState[5], 1);
    EXPECT_TRUE(Messages.Messages.isEmpty());
}

TEST_F(HistoryRecorder, ADamagedFileIsToldOnceAndRecordingGoesOnWithoutIt)
{
    Folder.Write("DATA/history.sqlite", QByteArray(4096, '\x5a'));
    {
        THistoryRecorder recorder(Path(), 730);
        WaitReported(recorder);
        for (int n = 0; n < 50; ++n) {
            recorder.Record(MakeReading(1, kDay0 + n * kMinute, n), 5);
            recorder.Flush();
        }
        recorder.WaitWritten();
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith(QStringLiteral("Внимание|История показаний не ведется.\r")));
    EXPECT_TRUE(Messages.Messages[0].contains(QStringLiteral("файл базы поврежден"))) << Messages.Messages[0].toStdString();
    EXPECT_EQ(Folder.Read("DATA/history.sqlite"), QByteArray(4096, '\x5a'));
}

TEST_F(HistoryRecorder, ADatabaseLockedByAnotherProgramIsToldOnce)
{
    ASSERT_NO_FATAL_FAILURE(WhileLocked([&] {
        THistoryRecorder recorder(Path(), 730);
        for (int n = 0; n < 3; ++n) {
            recorder.Record(MakeReading(1, kDay0 + n * kMinute, n), 5);
            recorder.Flush();
        }
        WaitReported(recorder);
        recorder.Record(MakeReading(1, kDay0 + 9 * kMinute, 9), 5);
        recorder.Flush();
    }));
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].contains(QStringLiteral("база занята другой программой"))) << Messages.Messages[0].toStdString();
}

TEST_F(HistoryRecorder, AFolderThatCannotBeMadeIsToldOnce)
{
    Folder.Write("DATA", "not a folder");
    {
        THistoryRecorder recorder(Path(), 730);
        WaitReported(recorder);
    }
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].contains(QStringLiteral("не удалось создать папку")));
}

TEST_F(HistoryRecorder, ReadingsOlderThanTheRetentionArePrunedAtStart)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    ASSERT_NO_FATAL_FAILURE(StoreAged(now));
    THistoryRecorder recorder(Path(), 30);
    EXPECT_TRUE(WaitUntil([&] { return Kept(1).size() == 2; }, 20s));
    EXPECT_EQ(Kept(1).front().Time / 1000, (now - 20 * kDayMs) / 1000);
}

// The retention is measured from what is stored: a clock set years ahead, at start or while the
// program runs, removes nothing that the true time would keep.
TEST_F(HistoryRecorder, AClockSetFarAheadPrunesNothingTheRetentionKeeps)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    ASSERT_NO_FATAL_FAILURE(StoreAged(now));
    {
        THistoryRecorder recorder(Path(), 30, false, [now] { return now + 5 * 365 * kDayMs; });
        recorder.Record(MakeReading(2, now + 5 * 365 * kDayMs), 5);
        recorder.Flush();
        recorder.WaitWritten();
        EXPECT_FALSE(recorder.Failed());
    }
    // Only the reading beyond the retention of the newest stored one goes.
    const QVector<THistoryReading> kept = Kept(1);
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept.front().Time / 1000, (now - 20 * kDayMs) / 1000);
}

// After the window is gone a message box could not be closed: a failure whose message has not
// reached the event loop by the final flush goes to the alarm log and standard error.
TEST_F(HistoryRecorder, AFailureStillUntoldAtTheFinalFlushIsWrittenToTheAlarmLog)
{
    LogsStartup();
    ASSERT_NO_FATAL_FAILURE(WhileLocked([&] {
        // No event loop runs, as after the window has closed.
        THistoryRecorder recorder(Path(), 730);
        recorder.Record(MakeReading(1, kDay0), 5);
    }));
    LogsShutdown();
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join(u'\n').toStdString();
    const QString alarm = FromCp1251(
        Folder.Read(QStringLiteral("LOG/alarm_") + QDate::currentDate().toString("yyyy_MM_dd") + QStringLiteral(".txt")));
    EXPECT_TRUE(alarm.contains(QStringLiteral("  История показаний не ведется. ")) &&
                alarm.contains(QStringLiteral("база занята другой программой")))
        << alarm.toStdString();
}

// A disk full for a while: the readings of that while wait in memory, the oldest dropped past the
// limit, and go in once there is room again; the stop and the return are told once each.
TEST_F(HistoryRecorder, ReadingsTakenWhileTheDiskIsFullGoInOnceThereIsRoom)
{
    const SmallDisk disk(3072);
    if (!disk.Skip().empty())
        GTEST_SKIP() << disk.Skip();
    LogsStartup();
    const QString path = disk.Path(QStringLiteral("DATA/history.sqlite"));
    QVector<THistoryReading> taken;
    qint64 dropped = -1;
    {
        THistoryRecorder recorder(path, 730);
        int n = 0;
        const auto record = [&](qsizetype count) {
            for (qsizetype i = 0; i < count; ++i, ++n) {
                taken << MakeReading(1 + n % 192, kDay0 + n * 1000LL, n);
                recorder.Record(taken.back(), 5);
            }
            recorder.Flush();
        };
        record(4);
        recorder.WaitWritten();
        disk.Fill();
        record(3 * 192);
        ASSERT_TRUE(WaitUntil([&] { return recorder.Failed(); }, 20s));
        record(THistoryRecorder::kHeldLimit);
        recorder.WaitWritten();
        disk.Free();
        ASSERT_TRUE(WaitUntil([&] { return !recorder.Failed(); }, 20s));
        record(192);
        recorder.WaitWritten();
        QCoreApplication::processEvents();
        dropped = recorder.Dropped();
    }
    LogsShutdown();
    // The oldest of those held are gone: the first readings after the disk filled.
    EXPECT_EQ(dropped, 3 * 192);
    taken.remove(4, 3 * 192);
    THistoryStore store;
    ASSERT_TRUE(store.Open(path)) << store.ErrorText().toStdString();
    qsizetype kept = 0;
    for (int input = 1; input <= 192; ++input)
        kept += store.Query(input, 0, kDay0 + 1000 * kDayMs).size();
    EXPECT_EQ(kept, taken.size());
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith(QStringLiteral("Внимание|История показаний не ведется.\r")));
    const QString alarm = FromCp1251(
        Folder.Read(QStringLiteral("LOG/alarm_") + QDate::currentDate().toString("yyyy_MM_dd") + QStringLiteral(".txt")));
    EXPECT_EQ(alarm.count(QStringLiteral("История показаний не ведется. ")), 1) << alarm.toStdString();
    EXPECT_EQ(alarm.count(QStringLiteral("История показаний снова ведется; не записано показаний: 576")), 1)
        << alarm.toStdString();
}

TEST_F(HistoryRecorder, RetentionComesFromTheSettingsAndJunkGivesTwoYears)
{
    EXPECT_EQ(HistoryRetentionDays(), 730);
    for (const auto& [text, days] : {std::pair{"30", 30}, {"abc", 730}, {"-5", 730}, {"0", 730}, {"99999999999", 730}}) {
        Folder.Write("INI/VANTOR.ini", QByteArray("[VANTOR]\r\nSystemAddress=1\r\n[History]\r\nRetentionDays=") + text + "\r\n");
        EXPECT_EQ(HistoryRetentionDays(), days) << text;
    }
}

}  // namespace
