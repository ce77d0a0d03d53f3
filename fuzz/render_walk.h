// The spooler's drawing of a spool file, for fuzzing: every page's printer pass on a small
// raster printer (in colour or in two colours), its window pass with the preview cache, and the
// first page saved as a BMP, all as a print job walks the pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::fuzz {

// Pages drawn per input at most: enough to reach every path, few enough to stay fast.
inline constexpr std::int32_t MaxRenderedPages = 8;
// Band pixels of a file that is drawn at all (each is painted on a 24-bit surface).
inline constexpr std::uint64_t MaxRenderedPixels = 1u << 20;

struct RenderSummary {
    std::int32_t pages = 0;
    std::int64_t bmp_bytes = 0;
};

// `monochrome` picks the printer's colours. Files whose bands the reading walk passed over as
// too costly are not drawn either (the caller decides, see walk_spool).
RenderSummary render_spool(const std::uint8_t* data, std::size_t size, bool monochrome);

} // namespace qm::fuzz
