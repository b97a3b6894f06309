#pragma once

#include <cstdint>

// The controller's register map and the codes of its guarded writes. Shared with the controller
// simulator, so it stays free of Qt.
namespace vantor {

constexpr int kInputCount = 192;
constexpr int kGroupSize = 4;  // inputs read by one poll cycle

// Input registers (function 0x04).
constexpr std::uint16_t kErrorRegister = 0;
constexpr std::uint16_t kFreqChannelRegister = 1;
constexpr std::uint16_t kInputBlockSize = 16;
constexpr std::uint16_t InputBlockFirst(int input)  // input 1..192
{
    return static_cast<std::uint16_t>(kInputBlockSize * (input - 1) + 10);
}

// Holding registers (functions 0x03 and 0x10).
constexpr std::uint16_t kSystemBlock = 0;   // authorisation word, plant number, new address
constexpr std::uint16_t kLoadingBlock = 3;  // authorisation word, plant number, loading-mode code
constexpr std::uint16_t kSettingsBlockSize = 10;
constexpr std::uint16_t SettingsBlockFirst(int input)  // enable, plant number, interval, set-point
{
    return static_cast<std::uint16_t>(kSettingsBlockSize * (input - 1) + 50);
}
// A set-point register holds a signed number of 1/16 degree steps.
constexpr double kSetPointMin = -32768 / 16.0;  // -2048 degrees
constexpr double kSetPointMax = 32767 / 16.0;   // 2047.9375 degrees
constexpr std::uint16_t kServiceRangeRegister = 2000;
constexpr std::uint16_t kDevicePlantNumberRegister = 2002;
constexpr std::uint16_t kModbusBaudRegister = 2003;
constexpr std::uint16_t kModbusParityRegister = 2004;

// A sensor register in this range holds a status, not a temperature (1/16 degree steps).
constexpr std::uint16_t kSensorStatusFirst = 0xAAA7;
constexpr std::uint16_t kSensorStatusLast = 0xAAAF;

// Guarded writes. The authorisation word is put together at run time so that it never stands
// as one literal in the program file.
constexpr std::uint8_t kAuthorisationHigh = 0x5C;
constexpr std::uint8_t kAuthorisationLow = 0xA3;
inline std::uint16_t AuthorisationWord()
{
    volatile std::uint8_t high = kAuthorisationHigh;
    volatile std::uint8_t low = kAuthorisationLow;
    return static_cast<std::uint16_t>(high << 8 | low);
}
constexpr std::uint16_t kServiceAccessCode = 4871;  // opens the service range
constexpr std::uint16_t kLoadingModeCode = 0xB00D;  // sends the controller into firmware loading

}  // namespace vantor
