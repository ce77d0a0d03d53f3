// The 4 x 4 ordered dither that turns colour pixels into black and white for a device with two
// colours.
#pragma once

#include <array>
#include <cstdint>

namespace qm {

// Sixteen 4 x 4 patterns, one per brightness level / 16; 1 leaves the pixel white, 0 makes it
// black. Levels come in pairs: the darkest two are solid black, the brightest two solid white.
constexpr std::array<std::uint8_t, 256> make_dither_table()
{
    constexpr const char* patterns[8] = {
        "0000000000000000", // levels 0, 1
        "1000000000100000", // 2, 3
        "1010000010100000", // 4, 5
        "1010010110100101", // 6, 7
        "1011010111100101", // 8, 9
        "1111010111110101", // 10, 11
        "1111110111110111", // 12, 13
        "1111111111111111", // 14, 15
    };
    std::array<std::uint8_t, 256> t{};
    for (int level = 0; level < 16; ++level)
        for (int k = 0; k < 16; ++k)
            t[level * 16 + k] = static_cast<std::uint8_t>(patterns[level / 2][k] - '0');
    return t;
}

inline constexpr std::array<std::uint8_t, 256> DitherTable = make_dither_table();

// Brightness level of an 8-bit colour: 0 to 240 in steps of 16.
constexpr int dither_level(int red, int green, int blue)
{
    return ((red + 2 * green + blue) >> 2) & 0xF0;
}

// True when the pixel at row i, column j of a band stays white.
constexpr bool dither_white(int level, int i, int j)
{
    return DitherTable[level + (i & 3) * 4 + (j & 3)] != 0;
}

} // namespace qm
