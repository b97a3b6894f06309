#pragma once

#include "device/Frames.h"

#include <QByteArray>

// Recorded frames are written in hex; Answer completes one with its CRC.
inline QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

inline QByteArray Answer(const QByteArray& body)
{
    return body + AppendCrc(Crc16(body));
}

inline QByteArray Answer(const char* hex)
{
    return Answer(Hex(hex));
}

// The register fields of a request: first register and count.
inline quint16 FirstRegister(const QByteArray& request)
{
    return MakeWord(request[2], request[3]);
}

inline quint16 RegisterCount(const QByteArray& request)
{
    return MakeWord(request[4], request[5]);
}

// A 32-byte input block of a command 1 answer: exchange state, battery, set-point bits, six
// sensor registers, software version, plant number, checksum, four unused registers.
struct InputBlock
{
    quint8 State = 0;
    quint8 Battery = 87;
    quint16 Bounds = 0;
    quint16 Sensors[6] = {0x0190, 0xFFF0, 0xAAA7, 0xAAAF, 0x0000, 0x0008};
    quint8 SoftVersion = 3;
    quint16 PlantNumber = 4660;
    quint8 Crc[2] = {0x1A, 0x2B};

    QByteArray Bytes() const
    {
        QByteArray b;
        const auto word = [&b](quint16 w) { b += char(w >> 8), b += char(w & 0xFF); };
        word(State);
        word(Battery);
        word(Bounds);
        for (quint16 s : Sensors)
            word(s);
        word(SoftVersion);
        word(PlantNumber);
        b += char(Crc[0]), b += char(Crc[1]);
        b += QByteArray(8, '\0');
        return b;
    }
};

// A 20-byte settings block of a command 2 answer.
inline QByteArray SettingsBlock(bool enabled, quint16 plant, quint16 interval, qint16 bound16)
{
    QByteArray b;
    const auto word = [&b](quint16 w) { b += char(w >> 8), b += char(w & 0xFF); };
    word(enabled ? 1 : 0);
    word(plant);
    word(interval);
    word(static_cast<quint16>(bound16));
    b += QByteArray(12, '\0');
    return b;
}
