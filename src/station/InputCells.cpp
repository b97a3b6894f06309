#include "station/InputCells.h"

#include "device/DisplayTables.h"
#include "device/VantorInput.h"
#include "values/TimeTexts.h"

#include <QHash>
#include <QLocale>

#include <bit>
#include <utility>

namespace {

// The locale's formatting of a number costs more than the rest of a polled row, and a row's
// values recur: each text is made once for a number (its bits: -0 is not 0) and its digits, and
// kept, a few thousand at most.
using TNumberTexts = QHash<std::pair<quint64, int>, QString>;

template <typename Make>
QString Memo(TNumberTexts& texts, double value, int digits, const Make& make)
{
    const std::pair key(std::bit_cast<quint64>(value), digits);
    if (const auto found = texts.constFind(key); found != texts.cend())
        return *found;
    if (texts.size() >= 4096)
        texts.clear();
    return *texts.insert(key, make());
}

int OutInteger(const TIOData& value)
{
    qint32 n = 0;
    value.GetOutValue().TryToInteger(n);
    return n;
}

QString SensorText(const TVantorInput& input, int i)
{
    const TIOStates& state = input.TemperState[i];
    if (OutInteger(state) >= 2)
        return state.StateCaption();
    const double value = input.Temper[i].GetOutValue().ToDouble();
    const int digits = input.Temper[i].Description().Digits;
    thread_local TNumberTexts texts;
    return Memo(texts, value, digits, [&] { return QLocale::system().toString(value, 'f', digits); });
}

QString BoundText(const TVantorInput& input, int i)
{
    static const QStringList texts = {QStringLiteral("-"), QStringLiteral("0"), QStringLiteral("1")};
    return texts.value(OutInteger(input.Bound[i]));
}

}  // namespace

const QStringList& InputColumnHeaders()
{
    static const QStringList headers = {
        QStringLiteral("N"),   QStringLiteral("Состояние обмена"), QStringLiteral("Батарея"), QStringLiteral("ПО"),
        QStringLiteral("Зав. N"), QStringLiteral("CRC16"), QStringLiteral("T 1"), QStringLiteral("T 2"),
        QStringLiteral("T 3"), QStringLiteral("T 4"), QStringLiteral("T 5"), QStringLiteral("T 6"),
        QStringLiteral("1"),   QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"),
        QStringLiteral("6"),   QString(), QStringLiteral("Уставка"), QStringLiteral("Период"), QStringLiteral("Исп."),
        QString(),             QStringLiteral("Время опроса")};
    return headers;
}

QString InputCellText(const TVantorInput& input, int column)
{
    using namespace cells;
    if (column >= kFirstTemper && column < kFirstBound)
        return SensorText(input, column - kFirstTemper);
    if (column >= kFirstBound && column <= kLastBound)
        return BoundText(input, column - kFirstBound);
    switch (column) {
    case kOprosState:
        return input.ExchangeCaption();
    case 2:
        return QString::number(input.Battery);
    case 3:
        return QString::number(input.SoftVersion);
    case 4:
        return QString::number(input.PlantNumber);
    case 5:
        return input.CRC;
    case 19: {
        if (!input.SettingsKnown)
            return QString();
        const TDDouble& bound = input.TemperBound;
        thread_local TNumberTexts texts;
        return Memo(texts, bound.Value(), bound.Precision, [&] { return bound.ValueText(); });
    }
    case 20:
        return input.SettingsKnown ? QString::number(input.Interval) : QString();
    case kEnabled:
        return EnabledText(input);
    case kTime:
        return TimeText(input.OprosState.TimeOut.Time);
    default:
        return QString();
    }
}

std::optional<TColor> InputCellColor(const TVantorInput& input, int column)
{
    using namespace cells;
    if (column == kOprosState)
        return input.ExchangeColor();
    if (column >= kFirstTemper && column < kFirstBound)
        return input.TemperState[column - kFirstTemper].StateColor();
    if (column >= kFirstBound && column <= kLastBound)
        return input.Bound[column - kFirstBound].StateColor();
    if (column == kEnabled)
        return input.ChannelEnabled.StateColor();
    return std::nullopt;
}

std::optional<TColor> InputCellColor(const TVantorInput& input, int column, unsigned risingSensors)
{
    using namespace cells;
    constexpr int kTemperature = 1;
    if (column >= kFirstTemper && column < kFirstBound) {
        const int i = column - kFirstTemper;
        if ((risingSensors >> i & 1u) && OutInteger(input.TemperState[i]) == kTemperature)
            return clRise;
    }
    return InputCellColor(input, column);
}

namespace {

// The inputs-grid column that column of row stands for in the current-channel grid.
int GridColumn(int row, int column)
{
    const int sensor = kSensorCount - row;  // 1..6
    if (row < 0 || row >= kSensorCount)
        return -1;
    if (column == 1)
        return cells::kFirstTemper + sensor - 1;
    if (column == 2)
        return cells::kFirstBound + sensor - 1;
    return -1;
}

}  // namespace

QString CurChannelCellText(const TVantorInput& input, int row, int column)
{
    const int gridColumn = GridColumn(row, column);
    return gridColumn < 0 ? QString() : InputCellText(input, gridColumn);
}

std::optional<TColor> CurChannelCellColor(const TVantorInput& input, int row, int column, unsigned risingSensors)
{
    const int gridColumn = GridColumn(row, column);
    return gridColumn < 0 ? std::nullopt : InputCellColor(input, gridColumn, risingSensors);
}

QString CrcLabelText(const TVantorInput& input)
{
    if (input.CRC.isEmpty())
        return QStringLiteral("_ _");
    return QStringLiteral("0x") + QString(input.CRC).remove(u' ');
}

QString EnabledText(const TVantorInput& input)
{
    return YesNoThreeStateTexts().value(OutInteger(input.ChannelEnabled));
}

QString SensorLabelText(const TVantorInput& input, int sensor)
{
    return SensorMessage(OutInteger(input.TemperState[sensor - 1]));
}
