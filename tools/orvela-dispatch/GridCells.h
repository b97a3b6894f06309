#pragma once

#include "Messages.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The station window's inputs grid, drawn from what a station published by the window's own
// rules. The one file of the dispatcher that uses those rules: what it takes from them is
// InputColumnHeaders, InputCellText and InputCellColor (with the rise mask), on the controller
// model's input (TVantorInput) filled from the payload.

struct TCell {
    QString Text;
    QString Color;  // "#rrggbb"; empty for the page's own text colour
};

const QStringList& GridHeaders();

// Columns 0..23 of input n's row. shown: the temperatures to show where the payload gives none
// (the last ones given, NaN for never). stale: the station's values are not current, as the
// window shows inputs while its line is away. rising: bit s - 1 for sensor s with a rise alarm.
QVector<TCell> GridRow(int n, const TInputData& input, const std::array<float, kSensors>& shown, bool stale,
                       unsigned rising);

// A reading of the stream as the grid would show it: the exchange state, then the six sensors.
QVector<TCell> ReadingCells(const TReadingMessage& reading);

// Sensor s (1..6) of input as the grid shows a temperature.
QString TemperatureText(const TInputData& input, int sensor);
