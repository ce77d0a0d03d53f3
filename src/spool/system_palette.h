// The handheld's 256-colour system palette, built at compile time. Entries are blue, green,
// red, 0: the order in which a BMP file stores its colour table.
#pragma once

#include <array>
#include <cstdint>

namespace qm {

using PaletteEntry = std::array<std::uint8_t, 4>;

constexpr std::array<PaletteEntry, 256> make_system_palette()
{
    // Colour cube levels 0 to 5.
    constexpr std::uint8_t level[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    // Entries 215 to 229 as red, green, blue.
    constexpr std::uint8_t extra[15][3] = {
        {0x11, 0x11, 0x11}, {0x22, 0x22, 0x22}, {0x44, 0x44, 0x44}, {0x55, 0x55, 0x55},
        {0x77, 0x77, 0x77}, {0x88, 0x88, 0x88}, {0xAA, 0xAA, 0xAA}, {0xBB, 0xBB, 0xBB},
        {0xDD, 0xDD, 0xDD}, {0xEE, 0xEE, 0xEE}, {0xCC, 0xCC, 0xCC}, {0x88, 0x00, 0x00},
        {0x88, 0x00, 0x88}, {0x00, 0x88, 0x00}, {0x00, 0x88, 0x88}};
    std::array<PaletteEntry, 256> p{}; // entries 230 to 255 stay black
    for (int i = 0; i < 215; ++i) {
        const int r = (i % 108) / 18;
        const int g = i % 6;
        const int b = 3 * (i / 108) + (i % 18) / 6;
        p[i] = {level[b], level[g], level[r], 0};
    }
    for (int i = 0; i < 15; ++i)
        p[215 + i] = {extra[i][2], extra[i][1], extra[i][0], 0};
    return p;
}

inline constexpr std::array<PaletteEntry, 256> SystemPalette = make_system_palette();

} // namespace qm
