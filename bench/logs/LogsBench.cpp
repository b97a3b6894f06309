// What the event log's free-space floor costs: one look at the disk, and one record of a polling
// exchange written with and without that look. A cycle writes at most three records (commands 0,
// 1 and 2), all in the request thread: the UI thread only writes the records of operator commands.
#include "common/TextFile.h"
#include "logs/Logs.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void BM_FreeBytes(benchmark::State& state)
{
    QTemporaryDir folder;
    qint64 free = 0;
    for (auto _ : state)
        free = FreeBytes(folder.path());
    benchmark::DoNotOptimize(free);
    if (free <= 0)
        state.SkipWithError("free space unknown");
}
BENCHMARK(BM_FreeBytes);

// A request and an answer of a group of four inputs, as the event log writes them in decimal.
void BM_WriteExchange(benchmark::State& state)
{
    QTemporaryDir folder;
    TLog log(folder.path() + u'/');
    // One byte: the look is taken and never stops the log.
    log.FreeFloor = state.range(0) != 0 ? 1 : 0;
    const QString request = QStringLiteral("001 004 000 000 000 120 113 237");
    QString answer = QStringLiteral("001 004 240");
    for (int i = 0; i < 240; ++i)
        answer += QStringLiteral(" 0%1").arg(i % 100, 2, 10, QLatin1Char('0'));
    for (auto _ : state)
        log.WriteExchange(QStringLiteral("Данные входов 1-4"), request, answer);
}
BENCHMARK(BM_WriteExchange)->ArgName("floor")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
