// The trends window opened on a month of one input: from the constructor (the database opened,
// the month read and decoded, the lines thinned and set) to the window's first picture painted.
//   bench_trends [MINUTES]   one reading every MINUTES minutes (default 5, the probes' interval;
//                            1 for a probe read every minute), temperatures changing every reading
// Prints the readings, the median and the worst of 10 openings, and what one check of the rise
// alarm costs its thread (the window's last hours read and the six slopes taken). Runs under
// QT_QPA_PLATFORM=offscreen when no display is set.
#include "history/HistoryStore.h"
#include "history/RiseDetector.h"
#include "trends/FormTrends.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int minutes = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/history.sqlite");
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    QVector<THistoryReading> readings;
    for (qint64 t = now - 30LL * 86400'000 + minutes * 60'000LL; t <= now; t += minutes * 60'000LL) {
        THistoryReading r;
        r.Time = t;
        r.Input = 5;
        r.Battery = 90;
        r.Bound = 25;
        for (int i = 0; i < 6; ++i) {
            r.Temper[i] = std::round((12 + i + 3 * std::sin(double(t) / 86400'000 * 6.283 + i) +
                                      0.3 * std::sin(double(t) / 700'000.0 * (i + 1))) * 16) / 16;
            r.TemperState[i] = 1;
        }
        readings << r;
    }
    {
        THistoryStore store;
        if (!store.Open(path) || !store.Append(readings)) {
            std::fprintf(stderr, "%s\n", qPrintable(store.ErrorText()));
            return 1;
        }
    }
    std::vector<double> times;
    for (int run = 0; run < 10; ++run) {
        QElapsedTimer timer;
        timer.start();
        TFormTrends form(5, nullptr, path, ETrendSpan::Month);
        form.resize(1100, 640);
        form.show();
        // Painted once: what the operator first sees.
        form.grab();
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (form.Readings().size() != readings.size()) {
            std::fprintf(stderr, "read %lld of %lld readings\n", qlonglong(form.Readings().size()),
                         qlonglong(readings.size()));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("month of one input, a reading every %d min: %lld readings\n", minutes,
                qlonglong(readings.size()));
    std::printf("open to first picture: median %.1f ms, worst %.1f ms (10 openings)\n", times[times.size() / 2],
                times.back());

    THistoryStore store;
    store.Open(path);
    const TRiseSettings settings;
    std::vector<double> checks;
    for (int run = 0; run < 50; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QVector<THistoryReading> window = store.Query(5, now - settings.WindowMs(), now);
        for (int i = 1; i <= 6; ++i)
            RiseRate(window, i, settings, now);
        checks.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(checks.begin(), checks.end());
    std::printf("rise check of one input (%g h read, six slopes): median %.2f ms, worst %.2f ms (50 checks)\n",
                settings.WindowHours, checks[checks.size() / 2], checks.back());
    return 0;
}
