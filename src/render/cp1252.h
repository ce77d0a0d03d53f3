// The 8-bit character set of the handheld's text records: Windows-1252.
#pragma once

#include <array>
#include <cstdint>

namespace qm {

// Bytes 0x80 to 0x9F; the five the code page leaves undefined map to themselves.
inline constexpr std::array<std::uint16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The Unicode code point of a byte.
constexpr std::uint32_t cp1252_to_unicode(std::uint8_t byte)
{
    return byte >= 0x80 && byte <= 0x9F ? Cp1252High[byte - 0x80] : byte;
}

} // namespace qm
