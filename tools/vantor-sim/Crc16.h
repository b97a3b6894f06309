#pragma once

#include "Bytes.h"

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS. Kept apart from the program's own so that each checks the other.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size);

// True when the last two bytes are the CRC of the rest, low byte first.
bool HasValidCrc(const Bytes& frame);
// Appends the CRC of the frame, low byte first.
void AppendCrc(Bytes& frame);
// Replaces the trailing CRC after the frame's body has changed.
void RenewCrc(Bytes& frame);
