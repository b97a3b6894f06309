#include "HistorySupport.h"
#include "TestFolder.h"

#include "history/HistoryOutbox.h"
#include "history/HistoryRecorder.h"

#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

QVector<qint64> Seqs(const QVector<TOutboxReading>& rows)
{
    QVector<qint64> seqs;
    for (const TOutboxReading& r : rows)
        seqs << r.Seq;
    return seqs;
}

class Outbox : public ::testing::Test
{
protected:
    QString Path() const { return Folder.Path("DATA/history.sqlite"); }
    TestFolder Folder;
};

TEST_F(Outbox, EveryKeptReadingGetsTheNextSequenceAndAcknowledgedOnesStayGoneAcrossReopening)
{
    {
        THistoryStore store;
        store.KeepOutbox(true);
        ASSERT_TRUE(store.Open(Path())) << store.ErrorText().toStdString();
        ASSERT_TRUE(store.Append({MakeReading(3, kDay0 + 1500, 1), MakeReading(4, kDay0, 2)}));
        ASSERT_TRUE(store.Append({MakeReading(3, kDay0 + kMinute, 3)}));
    }
    THistoryOutbox outbox;
    ASSERT_TRUE(outbox.Open(Path())) << outbox.ErrorText().toStdString();
    const QVector<TOutboxReading> rows = outbox.Readings(0, 10);
    ASSERT_EQ(Seqs(rows), (QVector<qint64>{1, 2, 3}));
    // The stream tells the time as the history keeps it: whole seconds.
    ExpectSame(MakeReading(3, kDay0 + 1000, 1), rows[0].Reading);
    ExpectSame(MakeReading(4, kDay0, 2), rows[1].Reading);

    ASSERT_TRUE(outbox.Acknowledge(TOutboxStream::Readings, 2));
    EXPECT_EQ(Seqs(outbox.Readings(0, 10)), (QVector<qint64>{3}));
    ASSERT_TRUE(outbox.Acknowledge(TOutboxStream::Readings, 3));

    // A sequence is never given twice, even once every row is gone.
    THistoryStore store;
    store.KeepOutbox(true);
    ASSERT_TRUE(store.Open(Path()));
    ASSERT_TRUE(store.Append({MakeReading(5, kDay0 + 2 * kMinute)}));
    THistoryOutbox again;
    ASSERT_TRUE(again.Open(Path()));
    EXPECT_EQ(again.Acknowledged(TOutboxStream::Readings), 3);
    EXPECT_EQ(again.Acknowledged(TOutboxStream::Alarms), 0);
    EXPECT_EQ(Seqs(again.Readings(again.Acknowledged(TOutboxStream::Readings), 10)), (QVector<qint64>{4}));
}

TEST_F(Outbox, AlarmEventsAreKeptUntilAcknowledgedAndPrunedWithTheHistory)
{
    THistoryStore store;
    store.KeepOutbox(true);
    ASSERT_TRUE(store.Open(Path()));
    ASSERT_TRUE(store.Append({MakeReading(1, kDay0), MakeReading(1, kDay0 + 3 * kDayMs)}));
    THistoryOutbox outbox;
    ASSERT_TRUE(outbox.Open(Path()));
    EXPECT_EQ(outbox.AddAlarm({kDay0, R"({"text":"old"})", {}, false}), 1);
    EXPECT_EQ(outbox.AddAlarm({kDay0 + 3 * kDayMs, R"({"text":"new"})", {}, false}), 2);

    ASSERT_TRUE(store.Prune(kDay0 + 2 * kDayMs)) << store.ErrorText().toStdString();
    const QVector<TOutboxAlarm> alarms = outbox.Alarms(0, 10);
    ASSERT_EQ(alarms.size(), 1);
    EXPECT_EQ(alarms[0].Seq, 2);
    EXPECT_EQ(alarms[0].Event, QByteArray(R"({"text":"new"})"));
    EXPECT_EQ(Seqs(outbox.Readings(0, 10)), (QVector<qint64>{2}));
}

TEST_F(Outbox, TheEpochStaysWithTheFileAndTheLimitKeepsTheNewestCountingTheRest)
{
    THistoryStore store;
    store.KeepOutbox(true);
    ASSERT_TRUE(store.Open(Path()));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(store.Append({MakeReading(1, kDay0 + i * kMinute, i)}));
    THistoryOutbox outbox;
    ASSERT_TRUE(outbox.Open(Path()));
    const QString epoch = outbox.Epoch();
    EXPECT_EQ(epoch.size(), 36);
    for (int i = 0; i < 3; ++i)
        ASSERT_GT(outbox.AddAlarm({kDay0, R"({"text":"a"})", {}, false}), 0);

    EXPECT_EQ(outbox.Trim(4), 6);
    EXPECT_EQ(Seqs(outbox.Readings(0, 20)), (QVector<qint64>{7, 8, 9, 10}));
    EXPECT_EQ(outbox.Alarms(0, 20).size(), 3);
    EXPECT_EQ(outbox.Trim(2), 3);
    EXPECT_EQ(outbox.Alarms(0, 20).first().Seq, 2);
    // What the history's retention removes unsent counts too.
    ASSERT_TRUE(store.Prune(kDay0 + 2 * kDayMs));
    EXPECT_EQ(outbox.Dropped(), 9 + 2 + 2);

    THistoryOutbox again;
    ASSERT_TRUE(again.Open(Path()));
    EXPECT_EQ(again.Epoch(), epoch);
    EXPECT_EQ(again.Dropped(), 13);
    ASSERT_TRUE(again.Open(Folder.Path("DATA/other.sqlite")));
    EXPECT_NE(again.Epoch(), epoch);
    EXPECT_EQ(again.Dropped(), 0);
}

// A file of the version before kept no active alarms: opened now, it gets the table and keeps
// everything it held.
TEST_F(Outbox, AFileWithoutActiveAlarmsGetsThemAndLosesNothing)
{
    QString epoch;
    {
        THistoryStore store;
        store.KeepOutbox(true);
        ASSERT_TRUE(store.Open(Path()));
        ASSERT_TRUE(store.Append({MakeReading(1, kDay0, 7)}));
        THistoryOutbox outbox;
        ASSERT_TRUE(outbox.Open(Path()));
        ASSERT_EQ(outbox.AddAlarm({kDay0, R"({"text":"a"})", {}, false}), 1);
        epoch = outbox.Epoch();
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old-file");
        db.setDatabaseName(Path());
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec("DROP TABLE alarm_active"));
        db.close();
    }
    QSqlDatabase::removeDatabase("old-file");

    THistoryOutbox outbox;
    ASSERT_TRUE(outbox.Open(Path())) << outbox.ErrorText().toStdString();
    EXPECT_EQ(outbox.Epoch(), epoch);
    EXPECT_EQ(Seqs(outbox.Readings(0, 10)), (QVector<qint64>{1}));
    EXPECT_EQ(outbox.Alarms(0, 10).size(), 1);
    EXPECT_TRUE(outbox.ActiveAlarms().isEmpty());
    // An alarm is kept as its latest event while active, and goes with its end.
    ASSERT_EQ(outbox.AddAlarm({kDay0, R"({"begins":1})", "line1/input/3", true}), 2);
    ASSERT_EQ(outbox.AddAlarm({kDay0, R"({"changes":1})", "line1/input/3", true}), 3);
    ASSERT_EQ(outbox.AddAlarm({kDay0, R"({"other":1})", "line1/input/4", true}), 4);
    EXPECT_EQ(outbox.ActiveAlarms().size(), 2);
    EXPECT_TRUE(outbox.ActiveAlarms().contains(R"({"changes":1})"));
    ASSERT_EQ(outbox.AddAlarm({kDay0, R"({"ends":1})", "line1/input/3", false}), 5);
    EXPECT_EQ(outbox.ActiveAlarms(), QVector<QByteArray>{R"({"other":1})"});
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    EXPECT_EQ(store.Query(1, kDay0, kDay0).size(), 1);
}

TEST_F(Outbox, WithPublishingOffTheHistoryFileGetsNoOutbox)
{
    {
        THistoryRecorder recorder(Path(), 30);
        recorder.Record(MakeReading(1, QDateTime::currentMSecsSinceEpoch()), 5);
        recorder.Flush();
        recorder.WaitWritten();
        ASSERT_FALSE(recorder.Failed());
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "outbox-off");
    db.setDatabaseName(Path());
    ASSERT_TRUE(db.open());
    {
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec("SELECT count(*) FROM sqlite_master WHERE name LIKE 'outbox%'") && query.next());
        EXPECT_EQ(query.value(0).toInt(), 0);
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("outbox-off");
}

}  // namespace
