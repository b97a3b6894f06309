#include "HistorySupport.h"
#include "TestFolder.h"

#include "history/HistoryBlock.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <limits>

namespace {

class HistoryStore : public ::testing::Test
{
protected:
    QString Path() const { return Folder.Path("DATA/history.sqlite"); }

    TestFolder Folder;
};

TEST_F(HistoryStore, ReadingsComeBackExactlyOldestFirstAndOnlyWithinTheSpan)
{
    QVector<THistoryReading> written;
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Path())) << store.ErrorText().toStdString();
        // Three days at 5 minutes, two inputs, in batches of a polling cycle.
        for (int n = 0; n < 3 * 288; ++n) {
            const THistoryReading a = MakeReading(7, kDay0 + n * 5 * kMinute, n);
            THistoryReading b = MakeReading(8, a.Time, n + 3);
            b.Temper[2] = -3.0625;
            b.TemperState[4] = 5;
            ASSERT_TRUE(store.Append({a, b})) << store.ErrorText().toStdString();
            written << a;
        }
    }
    // Read back through a fresh connection: what was committed is on disk.
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    const QVector<THistoryReading> all = store.Query(7, kDay0, kDay0 + 3 * kDayMs);
    ASSERT_EQ(all.size(), written.size());
    for (qsizetype i = 0; i < all.size(); ++i)
        ExpectSame(written[i], all[i]);

    // Bounds are inclusive; a span inside a day and one across midnight.
    const qint64 from = kDay0 + 10 * 5 * kMinute;
    const QVector<THistoryReading> part = store.Query(7, from, from + 4 * 5 * kMinute);
    ASSERT_EQ(part.size(), 5);
    EXPECT_EQ(part.front().Time, from);
    const QVector<THistoryReading> night = store.Query(8, kDay0 + kDayMs - 30 * kMinute, kDay0 + kDayMs + 30 * kMinute);
    ASSERT_EQ(night.size(), 13);
    EXPECT_EQ(night[3].Temper[2], -3.0625);
    EXPECT_EQ(night[3].TemperState[4], 5);
    EXPECT_TRUE(store.Query(9, kDay0, kDay0 + 3 * kDayMs).isEmpty());
    EXPECT_TRUE(store.Query(7, from, from - 1).isEmpty());
    EXPECT_TRUE(store.ErrorText().isEmpty());
}

// The clock set back within a day: the earlier readings join the day's open block, which starts
// after them, and must still be found by their own times.
TEST_F(HistoryStore, ReadingsWrittenAfterTheClockWasSetBackAreFoundByTheirOwnTime)
{
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    const qint64 noon = kDay0 + 12 * 60 * kMinute;
    ASSERT_TRUE(store.Append({MakeReading(3, noon)}));
    for (int n = 1; n <= 13; ++n)
        ASSERT_TRUE(store.Append({MakeReading(3, noon - 60 * kMinute + n * 4 * kMinute, n)}));
    const QVector<THistoryReading> hour = store.Query(3, noon - 60 * kMinute, noon - 1);
    ASSERT_EQ(hour.size(), 13);
    EXPECT_EQ(hour.front().Time, noon - 56 * kMinute);
    EXPECT_EQ(store.Query(3, kDay0, kDay0 + kDayMs - 1).size(), 14);
    EXPECT_TRUE(store.Query(3, noon + 1000, kDay0 + kDayMs - 1).isEmpty());
}

TEST_F(HistoryStore, AReopenedStoreGoesOnWithTheBlockItLeftAndFullBlocksClose)
{
    // Readings every 10 s fill more than one block a day; a clock set back lands in the day too.
    QVector<THistoryReading> written;
    for (int n = 0; n < 1500; ++n)
        written << MakeReading(3, kDay0 + n * 10'000, n);
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Path()));
        ASSERT_TRUE(store.Append(written.mid(0, 700)));
    }
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Path()));
        for (qsizetype i = 700; i < written.size(); i += 4)
            ASSERT_TRUE(store.Append(written.mid(i, 4)));
        const THistoryReading back = MakeReading(3, kDay0 + 5'000, 99);
        ASSERT_TRUE(store.Append({back}));
        written.insert(1, back);
    }
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    const QVector<THistoryReading> all = store.Query(3, kDay0, kDay0 + kDayMs);
    ASSERT_EQ(all.size(), written.size());
    for (qsizetype i = 0; i < all.size(); ++i)
        ExpectSame(written[i], all[i]);
}

// The statements a batch runs are kept between batches; a store opened on another file must
// write there, not through what it kept from the first.
TEST_F(HistoryStore, AStoreOpenedAgainOnAnotherFileWritesThere)
{
    const QString other = Folder.Path("DATA/other.sqlite");
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    ASSERT_TRUE(store.Append({MakeReading(5, kDay0, 1)}));
    ASSERT_TRUE(store.Append({MakeReading(5, kDay0 + kMinute, 2)}));
    ASSERT_TRUE(store.Open(other)) << store.ErrorText().toStdString();
    ASSERT_TRUE(store.Append({MakeReading(5, kDay0 + 2 * kMinute, 3)})) << store.ErrorText().toStdString();
    ASSERT_TRUE(store.Append({MakeReading(5, kDay0 + 3 * kMinute, 4)})) << store.ErrorText().toStdString();
    EXPECT_EQ(store.Query(5, kDay0, kDay0 + kDayMs).size(), 2);
    ASSERT_TRUE(store.Open(Path()));
    EXPECT_EQ(store.Query(5, kDay0, kDay0 + kDayMs).size(), 2);
}

// Two programs writing into one folder: each appends to what is stored, never to what it wrote
// last, so neither loses nor garbles the other's readings.
TEST_F(HistoryStore, TwoWritersOnOneInputKeepEachOthersReadings)
{
    THistoryStore first;
    THistoryStore second;
    ASSERT_TRUE(first.Open(Path()));
    ASSERT_TRUE(second.Open(Path()));
    QVector<THistoryReading> written;
    for (int n = 0; n < 12; ++n) {
        written << MakeReading(6, kDay0 + n * kMinute, n);
        ASSERT_TRUE((n % 3 ? first : second).Append({written.back()}));
    }
    const QVector<THistoryReading> back = second.Query(6, kDay0, kDay0 + kDayMs);
    ASSERT_EQ(back.size(), written.size());
    for (qsizetype i = 0; i < back.size(); ++i)
        ExpectSame(written[i], back[i]);
}

TEST_F(HistoryStore, PruningDropsWholeDaysBeforeTheLimitOnly)
{
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    for (int day = 0; day < 5; ++day)
        ASSERT_TRUE(store.Append({MakeReading(1, kDay0 + day * kDayMs + 60 * kMinute, day),
                                  MakeReading(1, kDay0 + day * kDayMs + 23 * 60 * kMinute, day)}));
    // The limit in the middle of day 2: day 2 still holds readings younger than the limit.
    ASSERT_TRUE(store.Prune(kDay0 + 2 * kDayMs + 12 * 60 * kMinute));
    const QVector<THistoryReading> left = store.Query(1, kDay0, kDay0 + 5 * kDayMs);
    ASSERT_EQ(left.size(), 6);
    EXPECT_EQ(left.front().Time, kDay0 + 2 * kDayMs + 60 * kMinute);
    // Writing goes on after a prune, into the day it left.
    ASSERT_TRUE(store.Append({MakeReading(1, kDay0 + 4 * kDayMs + 23 * 61 * kMinute, 1)}));
    EXPECT_EQ(store.Query(1, kDay0, kDay0 + 5 * kDayMs).size(), 7);
}

TEST_F(HistoryStore, ADamagedBlockIsSkippedAndItsInputWrittenAfresh)
{
    {
        THistoryStore store;
        ASSERT_TRUE(store.Open(Path()));
        ASSERT_TRUE(store.Append({MakeReading(1, kDay0), MakeReading(2, kDay0)}));
        ASSERT_TRUE(store.Append({MakeReading(1, kDay0 + kDayMs), MakeReading(2, kDay0 + kDayMs)}));
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("damage"));
        db.setDatabaseName(Path());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        const QByteArray cut = EncodeBlock({MakeReading(2, kDay0)}).chopped(1);
        for (const QByteArray& junk : {QByteArray("\x01garbage"), QByteArray(1, '\0'), QByteArray("\x01") + qCompress("\xff\xff\xff"), cut}) {
            query.prepare(QStringLiteral("UPDATE block SET data=? WHERE input=2 AND start=?"));
            query.addBindValue(junk);
            query.addBindValue(kDay0 / 1000);
            ASSERT_TRUE(query.exec());
            THistoryStore store;
            ASSERT_TRUE(store.Open(Path()));
            EXPECT_EQ(store.Query(2, kDay0, kDay0 + 2 * kDayMs).size(), 1);
            EXPECT_EQ(store.Query(1, kDay0, kDay0 + 2 * kDayMs).size(), 2);
        }
        query = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("damage"));
    THistoryStore store;
    ASSERT_TRUE(store.Open(Path()));
    ASSERT_TRUE(store.Append({MakeReading(2, kDay0 + 5 * kMinute)}));
    EXPECT_EQ(store.Query(2, kDay0, kDay0 + 2 * kDayMs).size(), 2);
}

TEST_F(HistoryStore, FilesThatCannotHoldAHistoryFailWithARussianReason)
{
    Folder.Write("DATA/junk.sqlite", QByteArray(8192, 'x'));
    THistoryStore junk;
    EXPECT_FALSE(junk.Open(Folder.Path("DATA/junk.sqlite")));
    EXPECT_TRUE(junk.ErrorText().contains(QStringLiteral("файл базы поврежден"))) << junk.ErrorText().toStdString();
    EXPECT_TRUE(junk.Query(1, 0, kDay0).isEmpty());
    EXPECT_FALSE(junk.Append({MakeReading(1, kDay0)}));
    EXPECT_EQ(Folder.Read("DATA/junk.sqlite"), QByteArray(8192, 'x'));

    // A file where the folder should be: no folder, even for root.
    Folder.Write("DATA/plain", "x");
    THistoryStore nowhere;
    EXPECT_FALSE(nowhere.Open(Folder.Path("DATA/plain/history.sqlite")));
    EXPECT_TRUE(nowhere.ErrorText().startsWith(QStringLiteral("Не удалось открыть базу истории"))) << nowhere.ErrorText().toStdString();
}

TEST(HistoryBlock, TimesAndTemperaturesRoundAsTheRegistersDo)
{
    EXPECT_EQ(Seconds(-1), -1);
    EXPECT_EQ(Seconds(-1000), -1);
    EXPECT_EQ(Seconds(1999), 1);
    EXPECT_EQ(DayOf(-1), -1);
    EXPECT_EQ(Sixteenths(-0.0625), -1);
    EXPECT_EQ(Sixteenths(std::numeric_limits<double>::quiet_NaN()), 0);
    // A reading that differs by less than a register step is the same reading.
    THistoryReading a = MakeReading(1, kDay0);
    THistoryReading b = a;
    b.Temper[0] += 0.01;
    EXPECT_TRUE(a.SameValues(b));
    b.Temper[0] += 0.06;
    EXPECT_FALSE(a.SameValues(b));
}

TEST(HistoryBlock, ASetPointNeverReadComesBackUnknownNotZero)
{
    THistoryReading unread = MakeReading(1, kDay0);
    unread.Bound = std::numeric_limits<double>::quiet_NaN();
    THistoryReading zero = unread;
    zero.Bound = 0;
    EXPECT_FALSE(unread.SameValues(zero));
    QVector<THistoryReading> back;
    ASSERT_TRUE(DecodeBlock(EncodeBlock({zero, unread, zero}), 3, 1, back));
    ASSERT_EQ(back.size(), 3);
    EXPECT_EQ(back[0].Bound, 0);
    EXPECT_TRUE(std::isnan(back[1].Bound));
    EXPECT_EQ(back[2].Bound, 0);
}

}  // namespace
