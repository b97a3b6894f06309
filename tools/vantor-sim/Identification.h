#pragma once

#include "Bytes.h"

#include <cstdint>
#include <variant>

// Read device identification (0x2B, MEI type 0x0E). Basic objects 0..2: maker, the plant
// number as decimal text, the versions; regular objects 3..5: site, device, device name;
// extended object 0x80: device type and firmware CRC.
namespace identification {

constexpr std::uint8_t kHardwareVersion = 2;
constexpr std::uint8_t kSoftwareVersion = 17;
constexpr std::uint8_t kDeviceType = 12;
constexpr const char* kFirmwareCrc = "3F7A0C";

// The complete answer with its CRC, or a Modbus exception code.
using Outcome = std::variant<Bytes, std::uint8_t>;

// request: a whole 0x2B frame with a valid CRC.
Outcome Answer(const Bytes& request, std::uint16_t plantNumber);

}  // namespace identification
