// Every limit the program puts on sizes that come from a spool file, in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// The largest decoded band image (or band surface, on every canvas: 3 bytes a pixel) we allocate. A band header can ask for up to
// 65535 x 65535 pixels of 16 bits, about 8 GiB; anything past this cap is treated like an
// allocation that failed. 256 MiB is a full Letter page at 1200 dpi in 24-bit colour, twice over.
inline constexpr std::uint64_t MaxBandImageBytes = 256ull << 20;

// Whether a band surface of width x height pixels, 3 bytes each, is one a canvas makes. Every
// canvas asks this one question, so that a band one of them leaves out is left out by all.
inline constexpr bool band_surface_fits(std::int32_t width, std::int32_t height)
{
    return width >= 0 && height >= 0 &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3 <=
               MaxBandImageBytes;
}

// The largest page raster or preview cache we allocate, in memory or as a device's bitmap: a
// Letter page at 1200 dpi in 24-bit colour is about 400 MiB, so anything past this is a size
// nobody meant.
inline constexpr std::uint64_t MaxRasterBytes = 1ull << 30;

// The largest em height or advance text is set at, on every canvas that sets its own type. Far
// beyond any page (a 6-lines-per-inch line at 1200 dpi is 200 pixels), and it keeps a glyph's
// bitmap to a few megabytes.
inline constexpr std::int32_t MaxTypeSize = 4096;

// A text canvas keeps each glyph of up to MaxCachedGlyphBytes pixels per font, and bigger ones
// while they take no more than MaxLargeGlyphBytes in all: type set very large repeats its letters
// as any other, and setting each afresh cost seconds a page.
inline constexpr std::size_t MaxCachedGlyphBytes = 64 * 1024;
inline constexpr std::size_t MaxLargeGlyphBytes = 16 << 20;

// The tallest picture a page's bands are stacked into for a BMP: as tall as one band can be. A
// page is never taller in practice (65535 rows is 9 feet at 600 dpi), and without it a stack of
// bands zero pixels wide would pass the byte cap however many millions of rows it claimed.
inline constexpr std::uint64_t MaxStackedRows = 65535;

// The most image bytes one PDF page hands to cairo, which holds every band's pixels until the
// page is written: a Letter page at the PDF printer's 600 dpi in cairo's 4 bytes a pixel, so that
// any page the printer could show at its own resolution fits. A page that needs more is refused
// rather than letting cairo's copies grow with the bands (two-colour bands cost a bit a pixel).
inline constexpr std::uint64_t MaxPdfPageImageBytes = 5100ull * 6600 * 4;

} // namespace qm
