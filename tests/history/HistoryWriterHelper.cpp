// Writes into the history given on the command line until it is stopped:
//   history_writer_helper PATH            batches of four readings, one transaction each, printing
//                                         the number of every batch once it is committed
//   history_writer_helper PATH --limit N  a recorder fed 192 changing readings a cycle while no
//                                         file may grow beyond N bytes (a full disk); it goes on
//                                         for 100 cycles after the failure and exits 0
#include "HistorySupport.h"

#include "history/HistoryRecorder.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

namespace {

int WriteBatches(const QString& path)
{
    THistoryStore store;
    if (!store.Open(path)) {
        std::fprintf(stderr, "%s\n", store.ErrorText().toLocal8Bit().constData());
        return 1;
    }
    for (int batch = 0;; ++batch) {
        QVector<THistoryReading> readings;
        for (int input = 1; input <= 4; ++input)
            readings << MakeReading(input, kDay0 + batch * 30'000, batch);
        if (!store.Append(readings))
            return 1;
        std::printf("%d\n", batch);
        std::fflush(stdout);
    }
}

int RecordUntilFull(const QString& path, rlim_t limit)
{
    // Past the limit a write fails with EFBIG instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit size{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &size) != 0)
        return 1;
    THistoryRecorder recorder(path, 730);
    int after = -1;
    for (int cycle = 0; cycle < 1'000'000 && after < 100; ++cycle) {
        for (int input = 1; input <= 192; ++input)
            recorder.Record(MakeReading(input, kDay0 + cycle * 5 * kMinute, cycle * 7 + input), 5);
        recorder.Flush();
        // The first cycle is committed before the disk can fill: a loaded machine would otherwise
        // let the cycles pile up into one first batch too big for the limit.
        if (cycle == 0)
            recorder.WaitWritten();
        QCoreApplication::processEvents();
        if (after >= 0 || recorder.Failed())
            ++after;
    }
    std::printf("%d\n", after);
    return after >= 100 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2)
        return WriteBatches(QString::fromLocal8Bit(argv[1]));
    if (argc == 4 && QByteArray(argv[2]) == "--limit")
        return RecordUntilFull(QString::fromLocal8Bit(argv[1]), QByteArray(argv[3]).toULongLong());
    return 2;
}
