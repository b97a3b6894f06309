#include "transport/ComTypes.h"

#include <array>
#include <span>

namespace {

constexpr std::array<std::uint32_t, 16> kBaudRates = {
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000,
};

const std::array<QString, 16> kBaudRateTexts = {
    QStringLiteral("Custom"), QStringLiteral("110"), QStringLiteral("300"), QStringLiteral("600"),
    QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
    QStringLiteral("14400"), QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("56000"),
    QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("128000"), QStringLiteral("256000"),
};
const std::array<QString, 3> kStopBitsTexts = {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
const std::array<QString, 4> kDataBitsTexts = {
    QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"),
};
const std::array<QString, 5> kParityTexts = {
    QStringLiteral("None"), QStringLiteral("Odd"), QStringLiteral("Even"), QStringLiteral("Mark"),
    QStringLiteral("Space"),
};
const std::array<QString, 4> kFlowControlTexts = {
    QStringLiteral("Hardware"), QStringLiteral("Software"), QStringLiteral("None"), QStringLiteral("Custom"),
};

// Event mask bits in member order of TComEvent.
constexpr std::array<std::uint32_t, 10> kEventMaskBits = {
    0x001,  // evRxChar
    0x004,  // evTxEmpty
    0x002,  // evRxFlag
    0x100,  // evRing
    0x040,  // evBreak
    0x008,  // evCTS
    0x010,  // evDSR
    0x080,  // evError
    0x020,  // evRLSD
    0x400,  // evRx80Full
};

template <typename TEnum>
TEnum Parse(std::span<const QString> texts, const QString& text, TEnum fallback)
{
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (texts[i].compare(text, Qt::CaseInsensitive) == 0)
            return static_cast<TEnum>(i);
    return fallback;
}

template <std::size_t N>
QString Text(const std::array<QString, N>& texts, std::size_t index)
{
    return index < N ? texts[index] : QString();
}

}  // namespace

std::uint32_t BaudRateValue(TBaudRate rate)
{
    return rate < kBaudRates.size() ? kBaudRates[rate] : 0;
}

QString BaudRateText(TBaudRate rate)
{
    return Text(kBaudRateTexts, rate);
}

TBaudRate ParseBaudRate(const QString& text)
{
    return Parse(kBaudRateTexts, text, br9600);
}

QString StopBitsText(TStopBits bits)
{
    return Text(kStopBitsTexts, bits);
}

TStopBits ParseStopBits(const QString& text)
{
    return Parse(kStopBitsTexts, text, sbOneStopBit);
}

QString DataBitsText(TDataBits bits)
{
    return Text(kDataBitsTexts, bits);
}

TDataBits ParseDataBits(const QString& text)
{
    return Parse(kDataBitsTexts, text, dbEight);
}

QString ParityText(TParityBits bits)
{
    return Text(kParityTexts, bits);
}

TParityBits ParseParity(const QString& text)
{
    return Parse(kParityTexts, text, prNone);
}

QString FlowControlText(TFlowControl flow)
{
    return Text(kFlowControlTexts, flow);
}

TFlowControl ParseFlowControl(const QString& text)
{
    return Parse(kFlowControlTexts, text, fcCustom);
}

std::uint32_t EventsToMask(TComEvents events)
{
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kEventMaskBits.size(); ++i)
        if (events.Contains(static_cast<TComEvent>(i)))
            mask |= kEventMaskBits[i];
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask)
{
    TComEvents events;
    for (std::size_t i = 0; i < kEventMaskBits.size(); ++i)
        if (mask & kEventMaskBits[i])
            events.Include(static_cast<TComEvent>(i));
    return events;
}
