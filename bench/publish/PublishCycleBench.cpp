#include "device/ProgramUnits.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "publish/PublishUnit.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

// The publishing share of a poll cycle: the group's states as JSON handed to the publisher's
// thread, and the alarm comparison. The broker is absent: the cycle's cost does not depend on it.
void BM_PublishPolledGroup(benchmark::State& state)
{
    TVantor* vantor = Vantor();
    int group = 1;
    qint64 time = 1'773'100'800'000;
    for (auto _ : state) {
        vantor->Input(group).Temper[0].SetValue(20.0 + (time % 64) / 16.0);
        PublishPolledGroup(*vantor, group, true, time);
        group = group >= 189 ? 1 : group + 4;
        time += 500;
    }
}
BENCHMARK(BM_PublishPolledGroup)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("ORVELA_HOME", home.path().toLocal8Bit());
    QFile ini(home.path() + "/INI/MQTT.ini");
    QDir().mkpath(home.path() + "/INI");
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[MQTT]\r\nEnabled=1\r\nHost=127.0.0.1\r\nPort=1\r\nStation=bench\r\n");
    ini.close();
    StartUnits();
    PublishStartup();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    PublishShutdown();
    StopUnits();
    return 0;
}
