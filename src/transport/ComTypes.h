#pragma once

#include <QString>

#include <cstdint>
#include <initializer_list>

// The port's enumerations. Member order is fixed: settings files and the setup dialog index by it.

enum TBaudRate : std::uint8_t {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400,
    br56000, br57600, br115200, br128000, br256000,
};
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full,
};
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };

// A set of enumeration members, one bit per member in member order.
template <typename TEnum, typename TBits>
class TEnumSet
{
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<TEnum> members)
    {
        for (const TEnum member : members)
            Include(member);
    }
    static constexpr TEnumSet FromBits(TBits bits)
    {
        TEnumSet set;
        set.Bits_ = bits;
        return set;
    }

    constexpr TBits Bits() const { return Bits_; }
    constexpr bool Empty() const { return Bits_ == 0; }
    constexpr bool Contains(TEnum member) const { return (Bits_ >> member) & 1U; }
    constexpr void Include(TEnum member) { Bits_ = static_cast<TBits>(Bits_ | (1U << member)); }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    TBits Bits_ = 0;
};

using TComEvents = TEnumSet<TComEvent, std::uint16_t>;
using TComErrors = TEnumSet<TComError, std::uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x3FF);

// Modem line set: the driver's modem status shifted right by four bits.
enum TModemLine : std::uint8_t { mlCTS = 0x01, mlDSR = 0x02, mlRing = 0x04, mlRLSD = 0x08 };

// The driver value of a baud rate (brCustom has none of its own: 0).
std::uint32_t BaudRateValue(TBaudRate rate);

// Texts of the settings file and the setup dialog. The parse functions ignore letter case and
// fall back to br9600, sbOneStopBit, dbEight, prNone and fcCustom for any other text.
QString BaudRateText(TBaudRate rate);
TBaudRate ParseBaudRate(const QString& text);
QString StopBitsText(TStopBits bits);
TStopBits ParseStopBits(const QString& text);
QString DataBitsText(TDataBits bits);
TDataBits ParseDataBits(const QString& text);
QString ParityText(TParityBits bits);
TParityBits ParseParity(const QString& text);
QString FlowControlText(TFlowControl flow);
TFlowControl ParseFlowControl(const QString& text);

// The driver's event mask bits.
std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);
