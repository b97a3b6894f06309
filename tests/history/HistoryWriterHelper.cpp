// Writes batches of four readings into the history given on the command line, one transaction
// each, and prints the number of every batch once it is committed, until it is killed.
#include "HistorySupport.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    THistoryStore store;
    if (!store.Open(QString::fromLocal8Bit(argv[1]))) {
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
