#pragma once

#include "values/Descriptions.h"

#include <QString>
#include <QStringList>

#include <optional>

class TVantorInput;

// The columns of the inputs grid: 0 number, 1 exchange state, 2 battery, 3 software, 4 plant
// number, 5 CRC, 6..11 sensors, 12..17 set-point states, 18 spacer, 19 set-point, 20 interval,
// 21 in use, 22 spacer, 23 time of the last poll.
namespace cells {
constexpr int kColumnCount = 24;
constexpr int kOprosState = 1;
constexpr int kFirstTemper = 6;
constexpr int kFirstBound = 12;
constexpr int kLastBound = 17;
constexpr int kEnabled = 21;
constexpr int kTime = 23;
}  // namespace cells

// The grid's column captions.
const QStringList& InputColumnHeaders();

// Text of a data column of input's row; empty for the number column, the spacers and anything
// beyond the grid, and for a setting never read.
QString InputCellText(const TVantorInput& input, int column);
// Font colour of a cell of input's row, from its current values; none (the grid's default) for a
// column without a colour rule.
std::optional<TColor> InputCellColor(const TVantorInput& input, int column);
// The same, with the sensors of the rise alarm (bit i - 1 for sensor i) in the rise colour while
// they show a temperature; a sensor in a status keeps its status's colour.
std::optional<TColor> InputCellColor(const TVantorInput& input, int column, unsigned risingSensors);
// Dark orange: apart from the states' black, grey and red, and as readable on white as they are.
inline constexpr TColor clRise = 0x000064C8;

// The current-channel grid shows sensor 6 - row in its row: column 1 as the sensor's grid column,
// column 2 as its set-point state column. Column 0 is the number.
QString CurChannelCellText(const TVantorInput& input, int row, int column);
std::optional<TColor> CurChannelCellColor(const TVantorInput& input, int row, int column,
                                          unsigned risingSensors = 0);

// The probe's CRC as one number, "0x1A2B", or "_ _" while unread.
QString CrcLabelText(const TVantorInput& input);
// "-", "Нет", "Да" by the input's enable flag.
QString EnabledText(const TVantorInput& input);
// The long message of sensor's state (1..6).
QString SensorLabelText(const TVantorInput& input, int sensor);
