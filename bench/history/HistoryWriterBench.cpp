// The history writer over hours of polling, in simulated time and as fast as it goes: 192 inputs,
// one group of four a 500 ms cycle (each input every 24 s), every reading changed, one commit a
// second as the writer thread makes them. Prints, every half hour of simulated time, how full the
// open blocks are, the process's resident memory and the CPU per commit: both should level off
// once the blocks fill (512 readings, some 3.4 hours here) rather than grow with them.
//
//   bench_history_writer [HOURS] [FOLDER]
//
// HOURS defaults to 8; FOLDER (default a temporary one) keeps the file.
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kInputs = 192;
constexpr int kGroup = 4;
constexpr qint64 kCycleMs = 500;
constexpr int kCyclesPerCommit = 2;
constexpr qint64 kReportMs = 30 * 60 * 1000;
constexpr qint64 kStart = 1'773'100'800'000;  // 2026-03-10 00:00 UTC: blocks start with the day

double ResidentMb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

double ThreadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const double hours = args.isEmpty() ? 8 : args.first().toDouble();
    QTemporaryDir temporary;
    const QString folder = args.size() > 1 ? args[1] : temporary.path();
    const QString path = folder + QStringLiteral("/history.sqlite");
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + suffix);

    THistoryStore store;
    if (!store.Open(path)) {
        std::fprintf(stderr, "%s\n", store.ErrorText().toUtf8().constData());
        return 1;
    }
    QRandomGenerator random(24);
    std::vector<THistoryReading> probes(kInputs);
    for (int n = 0; n < kInputs; ++n) {
        probes[n].Input = n + 1;
        probes[n].OprosState = 1;
        probes[n].Battery = 100;
        probes[n].Bound = 35.0;
        for (int i = 0; i < 6; ++i) {
            probes[n].Temper[i] = 15 + i + random.bounded(32) / 16.0;
            probes[n].TemperState[i] = 1;
        }
    }

    std::printf("%8s %10s %8s %14s %14s\n", "hours", "readings", "RSS MB", "CPU/commit us", "worst us");
    const qint64 endMs = qint64(hours * 3600 * 1000);
    qint64 cycle = 0;
    qint64 readings = 0;
    double cpu = 0, worst = 0;
    int commits = 0;
    QVector<THistoryReading> batch;
    for (qint64 now = 0; now < endMs;) {
        batch.clear();
        for (int c = 0; c < kCyclesPerCommit; ++c, ++cycle, now += kCycleMs)
            for (int g = 0; g < kGroup; ++g) {
                THistoryReading& p = probes[(cycle * kGroup + g) % kInputs];
                // Every reading differs from the last: the writer's worst case.
                for (int i = 0; i < 6; ++i)
                    p.Temper[i] += (random.bounded(2) ? 1 : -1) * random.bounded(1, 3) / 16.0;
                p.Time = kStart + now;
                batch.append(p);
            }
        const double before = ThreadCpuUs();
        if (!store.Append(batch)) {
            std::fprintf(stderr, "%s\n", store.ErrorText().toUtf8().constData());
            return 1;
        }
        const double spent = ThreadCpuUs() - before;
        cpu += spent;
        worst = std::max(worst, spent);
        ++commits;
        readings += batch.size();
        if (now % kReportMs == 0) {
            std::printf("%8.1f %10lld %8.1f %14.1f %14.1f\n", now / 3.6e6, static_cast<long long>(readings),
                        ResidentMb(), cpu / commits, worst);
            std::fflush(stdout);
            cpu = worst = 0;
            commits = 0;
        }
    }
    return 0;
}
