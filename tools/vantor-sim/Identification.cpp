#include "Identification.h"

#include "Cp1251.h"
#include "Crc16.h"

#include <cstdio>
#include <string>
#include <vector>

namespace identification {
namespace {

constexpr std::uint8_t kMeiType = 0x0E;
// Basic, regular and extended objects, streamed and one by one.
constexpr std::uint8_t kConformity = 0x83;

struct Object
{
    std::uint8_t Id;
    Bytes Value;
};

std::string Digits(int value, int width)
{
    char text[8];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

// The program reads the versions at fixed places: hardware at offset 13, software at 30.
Bytes VersionsText()
{
    return Cp1251("Версия платы " + Digits(kHardwareVersion, 3) + " / версия ПО: " + Digits(kSoftwareVersion, 3));
}

// Device type at offset 15, the firmware CRC at offset 27.
Bytes TypeText()
{
    return Cp1251("Тип устройства " + Digits(kDeviceType, 2) + ", CRC ПО: " + kFirmwareCrc);
}

std::vector<Object> Objects(std::uint16_t plantNumber)
{
    return {
        {0x00, Cp1251("НПП \"Вантор\"")},
        {0x01, Cp1251(std::to_string(plantNumber))},
        {0x02, VersionsText()},
        {0x03, Cp1251("Силосный корпус № 1")},
        {0x04, Cp1251("Vantor-192")},
        {0x05, Cp1251("Контроллер термоподвесок")},
        {0x80, TypeText()},
    };
}

bool InCategory(std::uint8_t code, std::uint8_t id)
{
    switch (code) {
    case 1: return id <= 0x02;
    case 2: return id >= 0x03 && id <= 0x05;
    default: return id >= 0x80;
    }
}

}  // namespace

Outcome Answer(const Bytes& request, std::uint16_t plantNumber)
{
    if (request.size() != 7)
        return std::uint8_t{3};
    if (request[2] != kMeiType)
        return std::uint8_t{1};
    const std::uint8_t code = request[3];
    const std::uint8_t objectId = request[4];
    if (code < 1 || code > 4)
        return std::uint8_t{3};

    std::vector<Object> chosen;
    for (Object& object : Objects(plantNumber)) {
        const bool wanted = code == 4 ? object.Id == objectId : InCategory(code, object.Id) && object.Id >= objectId;
        if (wanted)
            chosen.push_back(std::move(object));
    }
    if (chosen.empty()) {
        if (code == 4)
            return std::uint8_t{2};
        // An unknown start object restarts the stream at the category's first object.
        for (Object& object : Objects(plantNumber))
            if (InCategory(code, object.Id))
                chosen.push_back(std::move(object));
    }

    Bytes answer = {request[0], 0x2B, kMeiType, code, kConformity, 0x00, 0x00,
                    static_cast<std::uint8_t>(chosen.size())};
    for (const Object& object : chosen) {
        answer.push_back(object.Id);
        answer.push_back(static_cast<std::uint8_t>(object.Value.size()));
        answer.insert(answer.end(), object.Value.begin(), object.Value.end());
    }
    AppendCrc(answer);
    return answer;
}

}  // namespace identification
