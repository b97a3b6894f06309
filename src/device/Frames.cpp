#include "device/Frames.h"

#include <array>

namespace {

void AppendWord(QByteArray& frame, std::uint16_t word)
{
    frame += static_cast<char>(word >> 8);
    frame += static_cast<char>(word & 0xFF);
}

QByteArray Completed(QByteArray frame)
{
    return frame + AppendCrc(Crc16(frame));
}

bool IsException(std::uint8_t function)
{
    return function == 0x83 || function == 0x84 || function == 0x90 || function == 0xAB;
}

std::uint8_t At(QByteArrayView bytes, qsizetype i)
{
    return static_cast<std::uint8_t>(bytes[i]);
}

// Whether an accepted data answer has the form its request calls for; e_OK when it has.
TDeviceStates FormMismatch(QByteArrayView answer, QByteArrayView request)
{
    const qsizetype n = answer.size();
    switch (At(answer, 1)) {
    case 0x03:
    case 0x04:
        // Twice the registers asked, and the frame exactly as long as its byte count says: a
        // count changed on the way, or a byte added, can come with a valid CRC.
        if (request.size() < 6 || At(answer, 2) != 2 * MakeWord(At(request, 4), At(request, 5))
            || n != 5 + At(answer, 2))
            return e_Read;
        return e_OK;
    case 0x10:
        // Exactly 8 bytes: an echo of the request itself carries the same first register and
        // count, followed by the values.
        if (request.size() < 6 || n != 8)
            return e_Read;
        return answer.sliced(2, 4) == request.sliced(2, 4) ? e_OK : e_IllegalCommand;
    case 0x2B:
        // The header up to the object count, with the MEI type and read code asked; the 7-byte
        // echo of the request is too short for it. The objects are read by their own length
        // bytes, bounded by the frame.
        if (request.size() < 4 || n < 10)
            return e_Read;
        return At(answer, 2) == 0x0E && At(answer, 3) == At(request, 3) ? e_OK : e_IllegalCommand;
    default:
        return e_OK;
    }
}

// The CRC's eight shifts of each byte value, worked out once: every frame is checked, byte by byte.
constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        auto crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        table[byte] = crc;
    }
    return table;
}();

}  // namespace

std::uint16_t Crc16(QByteArrayView bytes)
{
    // The count is held in 8 bits; no frame of the system reaches 256 bytes.
    const qsizetype count = bytes.size() % 256;
    std::uint16_t crc = 0xFFFF;
    for (qsizetype i = 0; i < count; ++i)
        crc = (crc >> 8) ^ kCrcTable[(crc ^ static_cast<std::uint8_t>(bytes[i])) & 0xFF];
    return crc;
}

QByteArray AppendCrc(std::uint16_t crc)
{
    QByteArray bytes(2, Qt::Uninitialized);
    bytes[0] = static_cast<char>(crc & 0xFF);
    bytes[1] = static_cast<char>(crc >> 8);
    return bytes;
}

bool CheckCrc(QByteArrayView frame)
{
    if (frame.size() <= 2)
        return false;
    return AppendCrc(Crc16(frame.chopped(2))) == frame.last(2);
}

std::uint16_t MakeWord(std::uint8_t high, std::uint8_t low)
{
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::int16_t MakeSignedWord(std::uint8_t high, std::uint8_t low)
{
    return static_cast<std::int16_t>(MakeWord(high, low));
}

QByteArray BuildReadFrame(std::uint8_t address, std::uint8_t function, std::uint16_t first, std::uint16_t count)
{
    QByteArray frame;
    frame += static_cast<char>(address);
    frame += static_cast<char>(function);
    AppendWord(frame, first);
    AppendWord(frame, count);
    return Completed(frame);
}

QByteArray BuildWriteFrame(std::uint8_t address, std::uint16_t first, const QList<std::uint16_t>& values)
{
    QByteArray frame;
    frame += static_cast<char>(address);
    frame += static_cast<char>(0x10);
    AppendWord(frame, first);
    AppendWord(frame, static_cast<std::uint16_t>(values.size()));
    frame += static_cast<char>(values.size() * 2);
    for (const std::uint16_t value : values)
        AppendWord(frame, value);
    return Completed(frame);
}

QByteArray BuildIdentificationFrame(std::uint8_t address, std::uint8_t readCode, std::uint8_t objectId)
{
    QByteArray frame;
    frame += static_cast<char>(address);
    frame += static_cast<char>(0x2B);
    frame += static_cast<char>(0x0E);
    frame += static_cast<char>(readCode);
    frame += static_cast<char>(objectId);
    return Completed(frame);
}

TAnswerValidation ValidateAnswer(QByteArrayView answer, QByteArrayView request, std::uint8_t answerLength)
{
    using V = TAnswerValidation;
    const qsizetype n = answer.size();
    if (n == 0)
        return {V::Failed, e_NoAnswer};
    if (n < 5)
        return {V::Failed, e_Read};
    if (!CheckCrc(answer))
        return {V::Failed, e_CheckSum};
    const auto function = static_cast<std::uint8_t>(answer[1]);
    const bool data = function == 0x03 || function == 0x04 || function == 0x10;
    if (!data && function != 0x2B && !IsException(function))
        return {V::Failed, e_IllegalCommand};
    // Identification answers vary in length; the exact form is checked once the answer is
    // known to be this request's.
    if (data && answerLength != 0 && n < answerLength)
        return {V::Failed, e_Read};
    // On a shared line an echo of the request or another device's frame is not the answer: the
    // address asked, the function asked or its exception form.
    if (request.size() < 2 || answer[0] != request[0] || (function & 0x7F) != At(request, 1))
        return {V::Failed, e_IllegalCommand};
    if (IsException(function)) {
        const auto code = static_cast<std::uint8_t>(answer[2]);
        if (code >= 1 && code <= 4)
            return {V::Failed, static_cast<TDeviceStates>(mbe_IllegalFunction + code - 1)};
        return {V::FailedUnregistered, e_OK};
    }
    if (const TDeviceStates mismatch = FormMismatch(answer, request); mismatch != e_OK)
        return {V::Failed, mismatch};
    return {V::Accepted, e_OK};
}
