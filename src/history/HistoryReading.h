#pragma once

#include <QtGlobal>

#include <array>

// One reading of a probe as it was polled: what the history keeps and gives back.
struct THistoryReading {
    qint64 Time = 0;                   // ms since the epoch, UTC
    int Input = 0;                     // 1..192
    int OprosState = 0;                // the input's exchange-state number
    int Battery = 0;                   // percent
    double Bound = 0;                  // set-point, °C; NaN while the input's settings were never read
    std::array<double, 6> Temper{};    // °C, as decoded
    std::array<int, 6> TemperState{};  // 1: a temperature, 2..10: status codes

    // Equal in everything the history stores (temperatures at the register's 1/16 °C), the time
    // aside.
    bool SameValues(const THistoryReading& other) const;
};
