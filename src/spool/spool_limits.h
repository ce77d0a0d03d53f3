// Every limit the program puts on sizes that come from a spool file, in one place.
#pragma once

#include <cstdint>

namespace qm {

// The largest decoded band image (or band surface) we allocate. A band header can ask for up to
// 65535 x 65535 pixels of 16 bits, about 8 GiB; anything past this cap is treated like an
// allocation that failed. 256 MiB is a full Letter page at 1200 dpi in 24-bit colour, twice over.
inline constexpr std::uint64_t MaxBandImageBytes = 256ull << 20;

// The tallest picture a page's bands are stacked into for a BMP: as tall as one band can be. A
// page is never taller in practice (65535 rows is 9 feet at 600 dpi), and without it a stack of
// bands zero pixels wide would pass the byte cap however many millions of rows it claimed.
inline constexpr std::uint64_t MaxStackedRows = 65535;

} // namespace qm
