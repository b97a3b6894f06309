#include "device/Frames.h"
#include "device/Vantor.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray WithCrc(QByteArray body)
{
    return body + AppendCrc(Crc16(body));
}

// Readings of four inputs whose temperatures change on every answer, so that every value
// notifies; one observer per temperature, as the grid and labels subscribe.
void CommandOne(benchmark::State& state)
{
    TVantor vantor;
    vantor.SetSystemAddress(1);
    vantor.CurrentInput = 5;
    const QByteArray request = vantor.BuildRequest(1);
    int notified = 0;
    for (int n = 5; n < 9; ++n)
        for (TIODouble& t : vantor.Input(n).Temper)
            t.OnChange = [&notified](TIOData*) { ++notified; };
    QByteArray answers[2];
    for (int a = 0; a < 2; ++a) {
        QByteArray body = QByteArray::fromHex("010480");
        for (int k = 0; k < 4; ++k) {
            QByteArray block(32, '\0');
            block[3] = char(80);   // battery
            block[5] = char(0x05); // set-points
            for (int i = 0; i < 6; ++i)
                block[6 + 2 * i] = char(1), block[7 + 2 * i] = char(0x90 + a + i);
            body += block;
        }
        answers[a] = WithCrc(body);
    }
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(vantor.ParseAnswer(1, request, answers[i++ & 1]));
    state.counters["notified"] = notified;
}
BENCHMARK(CommandOne);

void CommandTwo(benchmark::State& state)
{
    TVantor vantor;
    vantor.SetSystemAddress(1);
    vantor.CurrentInput = 5;
    const QByteArray request = vantor.BuildRequest(2);
    QByteArray body = QByteArray::fromHex("010350");
    for (int k = 0; k < 4; ++k)
        body += QByteArray::fromHex("0001002A000F0140") + QByteArray(12, '\0');
    const QByteArray answer = WithCrc(body);
    for (auto _ : state)
        benchmark::DoNotOptimize(vantor.ParseAnswer(2, request, answer));
}
BENCHMARK(CommandTwo);

}  // namespace

BENCHMARK_MAIN();
