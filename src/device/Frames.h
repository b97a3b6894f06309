#pragma once

#include "device/DeviceStates.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>

// Modbus RTU frames: 16-bit fields high byte first, the CRC low byte first.

// CRC-16/MODBUS over the first (length mod 256) bytes.
std::uint16_t Crc16(QByteArrayView bytes);
// The CRC as it follows a frame: low byte, then high byte.
QByteArray AppendCrc(std::uint16_t crc);
// False for frames of two bytes or fewer.
bool CheckCrc(QByteArrayView frame);

std::uint16_t MakeWord(std::uint8_t high, std::uint8_t low);
// The same bits as a signed 16-bit number (temperatures).
std::int16_t MakeSignedWord(std::uint8_t high, std::uint8_t low);

// Register reads (0x03, 0x04): 8 bytes.
QByteArray BuildReadFrame(std::uint8_t address, std::uint8_t function, std::uint16_t first, std::uint16_t count);
// Write multiple registers (0x10): 9 + 2 x count bytes.
QByteArray BuildWriteFrame(std::uint8_t address, std::uint16_t first, const QList<std::uint16_t>& values);
// Read device identification (0x2B / 0x0E): 7 bytes.
QByteArray BuildIdentificationFrame(std::uint8_t address, std::uint8_t readCode, std::uint8_t objectId);

// The verdict of the checks every answer passes before it is decoded.
struct TAnswerValidation
{
    enum TVerdict : std::uint8_t {
        Accepted,
        Failed,              // counts as a failure with State
        FailedUnregistered,  // exception code outside 1..4: the parse fails, nothing is counted
    };
    TVerdict Verdict = Accepted;
    TDeviceStates State = e_OK;
};

// answerLength: the command's expected length, 0 when it varies. An answer counts only as the
// answer to request: from the address asked, with the function asked or its exception, and in
// the form the request calls for (byte count, echoed first register and count, identification
// objects that fill the frame). Never reads outside answer or request.
TAnswerValidation ValidateAnswer(QByteArrayView answer, QByteArrayView request, std::uint8_t answerLength);
