#include "WindowFixture.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryUnit.h"
#include "station/InputCells.h"

#include <QDir>

namespace {

QMap<QString, QByteArray> Snapshot(const TestFolder& folder, const char* sub)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder.Path(sub)).entryList(QDir::Files))
        files[name] = folder.Read(QString::fromLatin1(sub) + u'/' + name);
    return files;
}

}  // namespace

TEST_F(Window, PollingKeepsWhatTheGridShowsInTheHistoryAndChangesNoOtherFile)
{
    ASSERT_TRUE(Simulator.Start());
    WriteSettings(Simulator.Path(), 20000);
    const QMap<QString, QByteArray> settings = Snapshot(Folder, "INI");
    Open();
    HistoryStartup();
    ASSERT_TRUE(PollUntilCycle(48 + 4));
    HistoryRecorder()->WaitWritten();
    const qint64 end = QDateTime::currentMSecsSinceEpoch();

    THistoryStore store;
    ASSERT_TRUE(store.Open(Folder.Path("DATA/history.sqlite"))) << store.ErrorText().toStdString();
    for (int n = 1; n <= vantor::kInputCount; ++n) {
        const QVector<THistoryReading> kept = store.Query(n, end - 10 * 60'000, end);
        ASSERT_FALSE(kept.isEmpty()) << "input " << n;
        // The grid row is drawn when its group is recorded: the last reading shows as it does.
        TVantorInput view(n);
        const THistoryReading& last = kept.back();
        view.OprosState.SetValue(last.OprosState);
        for (int i = 0; i < kSensorCount; ++i) {
            view.TemperState[i].SetValue(last.TemperState[i]);
            view.Temper[i].SetValue(last.Temper[i]);
        }
        EXPECT_EQ(Cell(n, cells::kOprosState), InputCellText(view, cells::kOprosState)) << "input " << n;
        for (int column = cells::kFirstTemper; column < cells::kFirstBound; ++column)
            EXPECT_EQ(Cell(n, column), InputCellText(view, column)) << "input " << n << " column " << column;
        EXPECT_EQ(Cell(n, 2), QString::number(last.Battery)) << "input " << n;
    }
    store.Close();

    Form->close();
    Form.reset();
    HistoryShutdown();
    StopUnits();
    EXPECT_EQ(Snapshot(Folder, "INI"), settings);
    for (const char* log : {"log", "alarm"})
        EXPECT_FALSE(LogLines(log).join('\n').contains(QStringLiteral("истори"), Qt::CaseInsensitive));
    EXPECT_TRUE(Messages.Messages.isEmpty()) << Messages.Messages.join('\n').toStdString();
}
