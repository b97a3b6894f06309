#include "Cp1251.h"

namespace {

std::uint8_t FromCodePoint(char32_t c)
{
    if (c < 0x80)
        return static_cast<std::uint8_t>(c);
    if (c >= 0x0410 && c <= 0x044F)  // А .. я
        return static_cast<std::uint8_t>(0xC0 + (c - 0x0410));
    if (c == 0x0401)  // Ё
        return 0xA8;
    if (c == 0x0451)  // ё
        return 0xB8;
    if (c == 0x2116)  // №
        return 0xB9;
    return '?';
}

}  // namespace

Bytes Cp1251(std::string_view utf8)
{
    Bytes text;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            c = c << 6 | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3F);
        text.push_back(FromCodePoint(c));
        i += length;
    }
    return text;
}
