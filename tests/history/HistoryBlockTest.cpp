#include "HistorySupport.h"
#include "TestFolder.h"

#include "history/HistoryBlock.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

// Readings that move every way a block must keep: every small temperature move on both sides of
// the nibble's escape, large moves, sensors dropping to status codes, a set-point not yet read, a
// clock set back, absurd values.
QVector<THistoryReading> VariedReadings()
{
    QVector<THistoryReading> readings;
    double walk = 10.0;
    for (int n = 0; n < 300; ++n) {
        THistoryReading r = MakeReading(5, kDay0 + n * 24'000 + (n % 4) * 1000, n);
        walk += (n % 41 - 20) / 16.0;
        r.Temper[2] = walk;
        r.Temper[1] = (n % 50 == 7) ? -40.0 : 12.0 + (n * 37 % 300) / 16.0;
        if (n % 9 == 0)
            r.TemperState[3] = 2 + n % 9;
        if (n < 3)
            r.Bound = std::numeric_limits<double>::quiet_NaN();
        if (n == 100)
            r.Time = kDay0 - 2 * kDayMs;
        if (n == 200) {
            r.Temper[5] = 1e15;
            r.Battery = std::numeric_limits<int>::min();
        }
        readings << r;
    }
    return readings;
}

void ExpectSameReadings(const QVector<THistoryReading>& expected, const QVector<THistoryReading>& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Seconds(expected[i].Time) * 1000, actual[i].Time) << "reading " << i;
        EXPECT_TRUE(expected[i].SameValues(actual[i])) << "reading " << i;
    }
}

TEST(HistoryBlock, ReadingsAppendedOneByOneReadBackExactlyAndTheTailGoesOnWhereItStopped)
{
    const QVector<THistoryReading> readings = VariedReadings();
    const QByteArray whole = EncodeBlock(readings);
    QVector<THistoryReading> back;
    ASSERT_TRUE(DecodeBlock(whole, readings.size(), 5, back));
    ExpectSameReadings(readings, back);

    // Appending in pieces onto the stored bytes, with the tail read from them between the pieces
    // (a reopened store), gives the same bytes as writing the block at once.
    TBlockTail tail;
    QByteArray stored = NewBlock(tail);
    for (qsizetype i = 0; i < readings.size(); i += 7) {
        TBlockTail read;
        ASSERT_TRUE(ReadTail(stored, tail.Count, read));
        EXPECT_EQ(read.Size, tail.Size);
        EXPECT_EQ(read.Check, tail.Check);
        QByteArray added;
        for (const THistoryReading& r : readings.mid(i, 7))
            AppendReading(added, read, r);
        stored = BlockHeader(read) + stored.mid(kBlockHeaderSize) + added;
        tail = read;
    }
    EXPECT_EQ(stored, whole);
}

TEST(HistoryBlock, ATruncatedOrAlteredBlockIsRefusedWithoutReadingPastIt)
{
    const QVector<THistoryReading> readings = VariedReadings().mid(0, 40);
    const QByteArray block = EncodeBlock(readings);
    QVector<THistoryReading> back;
    TBlockTail tail;
    for (qsizetype size = 0; size < block.size(); ++size) {
        EXPECT_FALSE(DecodeBlock(block.left(size), readings.size(), 5, back)) << "cut to " << size;
        EXPECT_TRUE(back.isEmpty());
        EXPECT_FALSE(ReadTail(block.left(size), readings.size(), tail));
    }
    for (qsizetype at = 0; at < block.size(); ++at)
        for (char flip : {'\x01', '\x10', '\x80', '\xff'}) {
            QByteArray altered = block;
            altered[at] = static_cast<char>(altered[at] ^ flip);
            EXPECT_FALSE(DecodeBlock(altered, readings.size(), 5, back)) << "byte " << at;
        }
    // The count the store lists must be the block's.
    EXPECT_FALSE(DecodeBlock(block, readings.size() - 1, 5, back));
    EXPECT_FALSE(DecodeBlock(block, readings.size() + 1, 5, back));
    EXPECT_FALSE(DecodeBlock(block, -1, 5, back));
    EXPECT_FALSE(DecodeBlock(block + QByteArray(1, '\0'), readings.size(), 5, back));
    EXPECT_TRUE(DecodeBlock(block, readings.size(), 5, back));
}

// Blocks as the previous layout stored them (one compressed column store each), with the readings
// they hold; a history written before must read back the same and take new readings.
THistoryReading OldFixtureReading(int input, int n)
{
    THistoryReading r;
    r.Input = input;
    r.Time = (kDay0 + 3 * 3600'000 + n * 24'000 + (n % 3) * 1000 + input * 7) / 1000 * 1000;
    if (n == 20)
        r.Time = kDay0 + 2 * 3600'000 + 5'000;
    r.OprosState = n % 11 == 0 ? 3 : 1;
    r.Battery = 97 - n / 9;
    r.Bound = n < 5 ? std::numeric_limits<double>::quiet_NaN() : 25.5 - n / 16.0;
    for (int i = 0; i < 6; ++i) {
        r.TemperState[i] = (n + i) % 13 == 0 ? 2 + n % 9 : 1;
        r.Temper[i] = r.TemperState[i] == 1 ? (i * 37 - 100 + n * (i - 2) + (n * n) % 5) / 16.0 : 0;
    }
    return r;
}

const char* const kOldBlock4 =
    "01000002af78dad378b0e4cf2c5e23231d74b4dcbecd0153988d99010658f0310f31c20408301a208005c4bff9f33f08303312040c2719"
    "99983959a1c407c6bf8cac0881354cab9124996f30b1c06d04022e4e248e90201287a3968185919d19424c62ec87b381c41ac6f58c0849"
    "96038c4007206b6547e208f02371d8588d99d81880ee001126da301690d041926032d2666542d68464021f2f120718bc622c1c4c402700"
    "094d3d180b48787a30c02518a233989899b0450f03030f371287091832096c5c2c405770b1b4337630c2d840622be31146181b48bc64fc"
    "c40862236bc513a8ab183978d8808ee1b9cdf8889105ca06120b99b631c1d840e23bd31f26109b096b8460862a005e3c32d1";
const char* const kOldBlock9 =
    "01000007ea78dabd944b4b5c411085fb5455df79644ca28bfc07710838bad765fc0dd9b8f42704418859a86044341241dc88e2808a8f85"
    "821088884a544470a5a8f820a04908842091c0c8d897f14e172ab30899299ac3a9fe9a035dcdbd6f4e27722355994cfafeca3675353fb2"
    "fd9f57c0262aa9a45d45e42a6cde164ac2f6e06f3e2c46c5cb6c823861efe4176e60fdc60c4d2bc8fb7441eaf4207f5030b1c13bac4e5f"
    "71a7a8a879991375fa487e888afa68876d428ad371954ca8a6a65a35f1986a9e3f534d6055f3b44a35eae58d493d510dc17418418c0b32"
    "88fea27732833978282bd884877c8e63a8d357c843450dd100a9a8595a2015b54adba4a2bed2092146e5bc6689d9365060dc4b84d25817"
    "392769052853e781cdd47b10a4ebf16f0154ce4b9598e40b8987c37752fb32724e5a5e992230afdb3ca08e760f6400a3f088a7310f15b2"
    "8d2da898637c870aca2387d05339af5762a6ad41d27d774ebad183c83b59c41a22efe41b7ec3c3e4384d9287b44ba7e4a1f4f27b5651cb"
    "fc8555d44ffec32a2a2b5352f0e5bc6689d94e219e0adc53a40e71ee9ea2e09d8cd11245dec935e5c8c3f867de630f4d9f8c8887a933b9"
    "141595b59fac8abab1ef0215b51eecdf79aac8efede1706f016ca07c24";

QByteArray StoredBlock(const QString& path, int input)
{
    QByteArray data;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT data FROM block WHERE input=%1").arg(input)) && query.next())
                data = query.value(0).toByteArray();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return data;
}

TEST(HistoryBlock, AHistoryOfThePreviousLayoutReadsBackAndTakesNewReadings)
{
    TestFolder folder;
    const QString path = folder.Path("DATA/history.sqlite");
    { THistoryStore created; ASSERT_TRUE(created.Open(path)); }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const auto& [input, count, hex] : {std::tuple{4, 40, kOldBlock4}, std::tuple{9, 120, kOldBlock9}}) {
            query.prepare(QStringLiteral("INSERT INTO block(input, start, count, data) VALUES(?, ?, ?, ?)"));
            query.addBindValue(input);
            query.addBindValue(Seconds(OldFixtureReading(input, 0).Time));
            query.addBindValue(count);
            query.addBindValue(QByteArray::fromHex(hex));
            ASSERT_TRUE(query.exec());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    QVector<THistoryReading> expected4, expected9;
    for (int n = 0; n < 40; ++n)
        expected4 << OldFixtureReading(4, n);
    for (int n = 0; n < 120; ++n)
        expected9 << OldFixtureReading(9, n);
    auto byTime = [](const THistoryReading& a, const THistoryReading& b) { return a.Time < b.Time; };
    std::stable_sort(expected4.begin(), expected4.end(), byTime);
    std::stable_sort(expected9.begin(), expected9.end(), byTime);
    THistoryStore store;
    ASSERT_TRUE(store.Open(path));
    ExpectSameReadings(expected4, store.Query(4, kDay0, kDay0 + kDayMs));
    ExpectSameReadings(expected9, store.Query(9, kDay0, kDay0 + kDayMs));

    // New readings join the old block of input 4; the block of input 9 is left as it was.
    const QByteArray old9 = StoredBlock(path, 9);
    QVector<THistoryReading> added;
    for (int n = 40; n < 60; ++n)
        added << OldFixtureReading(4, n);
    ASSERT_TRUE(store.Append(added.mid(0, 10)));
    ASSERT_TRUE(store.Append(added.mid(10)));
    store.Close();
    ASSERT_TRUE(store.Open(path));
    ExpectSameReadings(expected4 + added, store.Query(4, kDay0, kDay0 + kDayMs));
    EXPECT_EQ(StoredBlock(path, 9), old9);
}

}  // namespace
