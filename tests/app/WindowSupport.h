#pragma once

#include "history/HistoryReading.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

#include <cmath>

// A day of input 5 read every 5 minutes up to a minute before now: sensor 3 rising 1.5 °C a day,
// the others steady.
inline QVector<THistoryReading> RisingDay(qint64 now)
{
    QVector<THistoryReading> readings;
    const qint64 last = now / 1000 * 1000 - 60'000;
    for (qint64 ago = 24 * 3600'000LL; ago >= 0; ago -= 5 * 60'000) {
        THistoryReading r;
        r.Time = last - ago;
        r.Input = 5;
        r.Bound = 15;
        r.Temper.fill(11);
        r.TemperState.fill(1);
        r.Temper[2] = std::round((12 - 1.5 * double(ago) / 86400'000) * 16) / 16;
        readings << r;
    }
    return readings;
}

// Writes a file, its folder made, where no test folder is at hand (the program folder of another
// process, or outside a test).
inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
