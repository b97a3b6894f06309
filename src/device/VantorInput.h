#pragma once

#include "values/TypedValues.h"

#include <array>

constexpr int kSensorCount = 6;

// One input of the controller and the thermo-rod probe it serves. The values change only when
// an answer is decoded.
class TVantorInput : public TDescriptionOfValue
{
public:
    // number: 1..192; names the input and its values and tags them for shared observers.
    explicit TVantorInput(int number);

    TIOStates OprosState;  // exchange state with the probe
    quint8 Battery = 0;    // percent
    std::array<TIOThreeStates, kSensorCount> Bound;      // set-point active, per sensor
    std::array<TIODouble, kSensorCount> Temper;          // °C
    std::array<TIOStates, kSensorCount> TemperState;     // 1: a temperature, 2..10: status codes
    quint8 SoftVersion = 0;
    quint16 PlantNumber = 0;
    QString CRC;  // two hex pairs, "" until read
    TIOThreeStates ChannelEnabled;
    quint16 Interval = 0;  // probe poll interval, minutes
    TDDouble TemperBound;  // set-point, °C

    // While the line to the controller is away nothing the input shows is current, whatever its
    // values say; the controller clears this with the first answer it accepts afterwards.
    bool Stale = false;
    // The exchange state as shown: "Данные не обновились" while Stale, else OprosState's own.
    QString ExchangeCaption() const;
    TColor ExchangeColor() const;
    // ChannelEnabled, Interval, TemperBound and the plant number they name are unknown until a
    // settings read or a confirmed write gives them: never shown, recorded or written back as 0.
    bool SettingsKnown = false;
    // The plant number the settings gave: the probe an answer for this input must carry.
    quint16 SettingsPlantNumber = 0;
};

// OprosState's "Данные не обновились".
constexpr int kOprosNotUpdated = 2;
