// Exchange time against the controller simulator paced at 9600 baud, and the processor time an
// open port costs while nothing happens. Exchanges run on a thread of their own, as the request
// thread's do, while the main thread serves the event thread's hand-overs.
#include "device/Frames.h"
#include "transport/Transmitter.h"

#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <thread>

namespace {

TTransmitter* port = nullptr;

constexpr int kBaud = 9600;
constexpr int kBitsPerChar = 11;  // start, 8 data, parity, stop
constexpr int kRequestBytes = 8;
constexpr int kAnswerBytes = 133;

// Input group c, first request: 64 registers, a 133-byte answer.
QByteArray InputsRequest(int c)
{
    return BuildReadFrame(1, 0x04, static_cast<std::uint16_t>(16 * (c - 1) + 10), 64);
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double WallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void TransactInputGroup(benchmark::State& state)
{
    int c = 1;
    QByteArray answer;
    for (auto _ : state) {
        port->Transact(InputsRequest(c), answer, 245);
        if (answer.size() != kAnswerBytes) {
            state.SkipWithError("no complete answer");
            break;
        }
        c = c == 189 ? 1 : c + 4;
    }
    // 141 characters at 1.146 ms: 161.6 ms on the wire, then the 50 ms silence that ends the read.
    const double wireMs = 1000.0 * (kRequestBytes + kAnswerBytes) * kBitsPerChar / kBaud;
    state.counters["wire_ms"] = wireMs;
    state.counters["budget_ms"] = wireMs + port->Timeouts().ReadInterval() + 3;
}
BENCHMARK(TransactInputGroup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

// pending: bytes of a cut-off answer left in the input queue, which must not wake anyone.
void IdlePort(benchmark::State& state)
{
    if (state.range(0)) {
        QByteArray answer;
        port->Transact(InputsRequest(1), answer, 10);
    }
    for (auto _ : state) {
        const double cpu = ProcessCpuSeconds();
        const double wall = WallSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(10));  // the window measured
        state.counters["cpu_percent"] = 100.0 * (ProcessCpuSeconds() - cpu) / (WallSeconds() - wall);
    }
    state.counters["pending_bytes"] = port->PendingInputCount();
}
BENCHMARK(IdlePort)->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!std::getenv("ORVELA_TEST_TOOLS"))
        setenv("ORVELA_TEST_TOOLS", ORVELA_TOOLS, 1);
    SimulatorProcess simulator;
    if (!simulator.Start({"--baud", std::to_string(kBaud)})) {
        std::fprintf(stderr, "cannot start %s\n", SimulatorProcess::Executable().c_str());
        return 1;
    }
    TTransmitter transmitter;
    transmitter.SetPort(QString::fromStdString(simulator.Path()));
    if (!transmitter.ActivatePort())
        return 1;
    port = &transmitter;

    std::thread runner([&application] {
        benchmark::RunSpecifiedBenchmarks();
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    runner.join();
    transmitter.DeactivatePort();
    benchmark::Shutdown();
    return 0;
}
