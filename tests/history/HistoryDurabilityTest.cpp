#include "HistorySupport.h"
#include "Wait.h"
#include "TestFolder.h"

#include <QCoreApplication>
#include <QProcess>

namespace {

QString HelperPath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/history_writer_helper"); }

// The last batch the helper said it committed, from what it printed.
int LastCommitted(const QByteArray& output)
{
    const QList<QByteArray> lines = output.split('\n');
    int last = -1;
    for (const QByteArray& line : lines) {
        bool ok = false;
        const int n = line.toInt(&ok);
        if (ok)
            last = n;
    }
    return last;
}

TEST(HistoryDurability, AWriterKilledMidwayLeavesEveryCommittedBatch)
{
    TestFolder folder;
    const QString path = folder.Path("DATA/history.sqlite");
    int committedBefore = -1;
    // Killed three times at different points, each run going on in the same file.
    for (int run = 0; run < 3; ++run) {
        QProcess helper;
        helper.start(HelperPath(), {path});
        ASSERT_TRUE(helper.waitForStarted(10000));
        QByteArray output;
        const int target = 20 + run * 37;
        ASSERT_TRUE(WaitUntil([&] {
            helper.waitForReadyRead(50);
            output += helper.readAllStandardOutput();
            return LastCommitted(output) >= target || helper.state() == QProcess::NotRunning;
        }, 20s)) << "the helper committed nothing";
        ASSERT_EQ(helper.state(), QProcess::Running) << helper.readAllStandardError().toStdString();
        helper.kill();  // SIGKILL
        ASSERT_TRUE(helper.waitForFinished(10000));
        output += helper.readAllStandardOutput();
        const int committed = LastCommitted(output);
        ASSERT_GE(committed, target);

        THistoryStore store;
        ASSERT_TRUE(store.Open(path)) << store.ErrorText().toStdString();
        for (int input = 1; input <= 4; ++input) {
            const QVector<THistoryReading> kept = store.Query(input, kDay0, kDay0 + kDayMs);
            // Each run starts its batches at 0 again: the kept readings are those of every run.
            ASSERT_GE(kept.size(), committedBefore + 1 + committed + 1) << "input " << input;
            QSet<qint64> times;
            for (const THistoryReading& r : kept)
                times.insert(r.Time);
            for (int batch = 0; batch <= committed; ++batch)
                ASSERT_TRUE(times.contains(kDay0 + batch * 30'000)) << "batch " << batch << " of run " << run;
        }
        committedBefore += committed + 1;
    }
}

TEST(HistoryDurability, AFullDiskIsToldOnceAndRecordingGoesOnWithoutHistory)
{
    TestFolder folder;
    QProcess helper;
    helper.start(HelperPath(), {folder.Path("DATA/history.sqlite"), "--limit", "262144"});
    ASSERT_TRUE(helper.waitForFinished(120000));
    const QString errors = QString::fromUtf8(helper.readAllStandardError());
    EXPECT_EQ(helper.exitCode(), 0) << errors.toStdString();
    EXPECT_EQ(errors.count(QStringLiteral("История показаний не ведется.")), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("Не удалось записать историю"))) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("ошибка ввода-вывода")) || errors.contains(QStringLiteral("диск переполнен")))
        << errors.toStdString();

    // What was committed before the disk filled up is all there; the readings held since go in
    // whole cycles, in order, as far as they fit at the end.
    THistoryStore store;
    ASSERT_TRUE(store.Open(folder.Path("DATA/history.sqlite"))) << store.ErrorText().toStdString();
    const QVector<THistoryReading> kept = store.Query(1, kDay0, kDay0 + 365 * kDayMs);
    ASSERT_FALSE(kept.isEmpty());
    EXPECT_EQ(kept[0].Time, kDay0);
    for (qsizetype i = 1; i < kept.size(); ++i) {
        ASSERT_GT(kept[i].Time, kept[i - 1].Time) << i;
        ASSERT_EQ((kept[i].Time - kDay0) % (5 * kMinute), 0) << i;
    }
}

}  // namespace
