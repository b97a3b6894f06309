#include "GridCells.h"

#include "station/InputCells.h"
#include "device/VantorInput.h"
#include "values/DateTime.h"

#include <QDateTime>

namespace {

constexpr int kTemperature = 1;  // a sensor's state when it gives a temperature

// One model input, filled anew for each row: the rules read it, nothing observes it.
TVantorInput& Scratch()
{
    static TVantorInput input(1);
    return input;
}

TDateTime LocalTime(qint64 ms) { return QDateTimeToDateTime(QDateTime::fromMSecsSinceEpoch(ms)); }

quint8 ThreeStates(int value) { return value < 0 ? tsUnknown : value ? tsTrue : tsFalse; }

QString CssColor(const std::optional<TColor>& color)
{
    // Colours of the system's palette (the high bit) are the page's own.
    if (!color || (*color & 0x80000000))
        return QString();
    const TColor c = *color;
    return QStringLiteral("#%1%2%3")
        .arg(c & 0xFF, 2, 16, QChar(u'0'))
        .arg((c >> 8) & 0xFF, 2, 16, QChar(u'0'))
        .arg((c >> 16) & 0xFF, 2, 16, QChar(u'0'));
}

// The sensors as a probe's answer leaves them: a temperature where one is known.
void FillSensors(TVantorInput& input, const std::array<int, kSensors>& states, const std::array<float, kSensors>& temperatures,
                 TDateTime time)
{
    for (int i = 0; i < kSensors; ++i) {
        input.TemperState[i].SetValue(states[i], time);
        input.Temper[i].SetValue(std::isnan(temperatures[i]) ? 0.0 : double(temperatures[i]), time);
    }
}

TCell Cell(const TVantorInput& input, int column, unsigned rising)
{
    return {InputCellText(input, column), CssColor(InputCellColor(input, column, rising))};
}

// A temperature never given is unknown, not 0.
void BlankUnknown(QVector<TCell>& cells, int first, const std::array<int, kSensors>& states,
                  const std::array<float, kSensors>& temperatures)
{
    for (int i = 0; i < kSensors; ++i)
        if (states[i] <= kTemperature && std::isnan(temperatures[i]))
            cells[first + i] = {};
}

}  // namespace

const QStringList& GridHeaders() { return InputColumnHeaders(); }

QVector<TCell> GridRow(int n, const TInputData& d, const std::array<float, kSensors>& shown, bool stale, unsigned rising)
{
    TVantorInput& input = Scratch();
    const TDateTime time = LocalTime(d.Time);
    input.OprosState.SetValue(d.State, time);
    input.Battery = quint8(d.Battery);
    FillSensors(input, d.SensorState, shown, time);
    for (int i = 0; i < kSensors; ++i)
        input.Bound[i].SetValue(ThreeStates(d.BoundActive[i]), time);
    input.SoftVersion = quint8(qMax(0, d.SoftVersion));
    input.PlantNumber = quint16(d.PlantNumber);
    input.CRC = d.Crc;
    input.SettingsKnown = d.SettingsKnown;
    input.ChannelEnabled.SetValue(ThreeStates(d.SettingsKnown ? d.Enabled : -1), time);
    input.Interval = quint16(d.PeriodMinutes);
    input.TemperBound.SetValue(d.Bound);
    input.Stale = stale;

    QVector<TCell> cells(cells::kColumnCount);
    cells[0].Text = QString::number(n);
    for (int column = 1; column < cells::kColumnCount; ++column)
        cells[column] = Cell(input, column, rising);
    BlankUnknown(cells, cells::kFirstTemper, d.SensorState, shown);
    if (d.SoftVersion < 0)
        cells[3] = {};
    return cells;
}

QVector<TCell> ReadingCells(const TReadingMessage& reading)
{
    TVantorInput& input = Scratch();
    const TDateTime time = LocalTime(reading.Time);
    input.OprosState.SetValue(reading.State, time);
    input.Stale = false;
    FillSensors(input, reading.SensorState, reading.Temperature, time);
    QVector<TCell> cells;
    cells << Cell(input, cells::kOprosState, 0);
    for (int i = 0; i < kSensors; ++i)
        cells << Cell(input, cells::kFirstTemper + i, 0);
    // Out of exchange a reading carries neither states nor values.
    BlankUnknown(cells, 1, reading.SensorState, reading.Temperature);
    return cells;
}

QString TemperatureText(const TInputData& d, int sensor)
{
    TVantorInput& input = Scratch();
    const TDateTime time = LocalTime(d.Time);
    input.TemperState[sensor - 1].SetValue(d.SensorState[sensor - 1], time);
    input.Temper[sensor - 1].SetValue(double(d.Temperature[sensor - 1]), time);
    return InputCellText(input, cells::kFirstTemper + sensor - 1);
}
