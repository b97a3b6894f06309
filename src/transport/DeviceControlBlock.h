#pragma once

#include <cstdint>

class TCustomComPort;

// The line settings as the driver takes them: the 28-byte device control block, field by field.
struct TDeviceControlBlock
{
    // Flag bits.
    static constexpr std::uint32_t fBinary = 0x0001;
    static constexpr std::uint32_t fParity = 0x0002;
    static constexpr std::uint32_t fOutxCtsFlow = 0x0004;
    static constexpr std::uint32_t fOutxDsrFlow = 0x0008;
    static constexpr std::uint32_t fDtrControlMask = 0x0030;
    static constexpr std::uint32_t fDtrEnable = 0x0010;
    static constexpr std::uint32_t fDtrHandshake = 0x0020;
    static constexpr std::uint32_t fDsrSensitivity = 0x0040;
    static constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
    static constexpr std::uint32_t fOutX = 0x0100;
    static constexpr std::uint32_t fInX = 0x0200;
    static constexpr std::uint32_t fErrorChar = 0x0400;
    static constexpr std::uint32_t fNull = 0x0800;
    static constexpr std::uint32_t fRtsControlMask = 0x3000;
    static constexpr std::uint32_t fRtsEnable = 0x1000;
    static constexpr std::uint32_t fRtsHandshake = 0x2000;
    static constexpr std::uint32_t fRtsToggle = 0x3000;

    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = fBinary;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;    // 0..4: none, odd, even, mark, space
    std::uint8_t StopBits = 0;  // 0..2: one, one and a half, two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    bool operator==(const TDeviceControlBlock&) const = default;
};

// The block for the port's current settings.
TDeviceControlBlock MakeDeviceControlBlock(const TCustomComPort& port);

// Sets the terminal of fd to the block in one step. Returns 0, or the errno of the refusal:
// EINVAL for what the Linux terminal layer cannot do (1.5 stop bits, DSR flow, RTS toggling,
// one-way hardware flow, dropping zero bytes, a replacement character other than zero, a baud
// rate of 0 or one the driver replaces by another). A refused block leaves the terminal as it was.
int ApplyDeviceControlBlock(int fd, const TDeviceControlBlock& dcb);
