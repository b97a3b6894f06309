#include "Crc16.h"

#include <array>

namespace {

// Table-driven, one step per byte (reflected polynomial 0xA001).
constexpr std::array<std::uint16_t, 256> MakeTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 1 ? crc >> 1 ^ 0xA001 : crc >> 1);
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>(crc >> 8 ^ kTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

bool HasValidCrc(const Bytes& frame)
{
    if (frame.size() < 3)
        return false;
    const std::uint16_t crc = Crc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == crc >> 8;
}

void AppendCrc(Bytes& frame)
{
    const std::uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

void RenewCrc(Bytes& frame)
{
    if (frame.size() < 2)
        return;
    frame.resize(frame.size() - 2);
    AppendCrc(frame);
}
