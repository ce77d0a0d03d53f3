// Band pixels through the whole renderer, checked against the plain rules for every input: each
// RGB565 value in colour and dithered, and scaled copies of every kind of ratio and clipping.
// The renderer and the raster canvas take faster routes for the common cases (tables, whole-word
// stores); these tests hold them to the rules pixel for pixel, edges included.
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "render/dither.h"
#include "render/raster_canvas.h"
#include "render/render_page.h"
#include "spool/spool_writer.h"

namespace qm {
namespace {

std::unique_ptr<RasterCanvas> page_canvas(std::int32_t width, std::int32_t height,
                                          std::int32_t numcolors)
{
    DeviceCaps caps;
    caps.horzres = width;
    caps.vertres = height;
    caps.logpixelsx = caps.logpixelsy = 100;
    caps.numcolors = numcolors;
    return RasterCanvas::create(caps);
}

// Draws the one-record-per-band page of `spool` as a printer pass at 100 dpi, bands at 100 dpi.
void draw_page(RasterCanvas& canvas, const Bytes& spool)
{
    SpoolStream s = SpoolStream::from_memory(spool.data(), spool.size());
    const PagePlacement at{0, 0, 100, 100, canvas.width(), canvas.height()};
    const auto count = static_cast<std::int32_t>(spool[76] << 8 | spool[77]);
    RenderState state;
    ASSERT_EQ(render_page(canvas, at, &s, 0, count, state, {RenderPass::Printer, nullptr}), 0);
}

BandHeader header(std::uint16_t width, std::uint16_t height)
{
    BandHeader h;
    h.width = width;
    h.height = height;
    h.dpi_x = h.dpi_y = 100;
    return h;
}

// Every RGB565 value in a block of 4 x 4 pixels (blocks run on across the end of a row), so that
// every value meets every phase of the dither. With width 1023 the last pixel of each row has no
// neighbour; the 4-wide band's rows have no padding either.
class EveryRgb565 : public ::testing::TestWithParam<std::int32_t> {
protected:
    static std::uint16_t value_at(std::int32_t x, std::int32_t y, std::int32_t width)
    {
        return static_cast<std::uint16_t>((static_cast<std::int64_t>(y / 4) * width + x) / 4);
    }

    // The page of bands of `width` pixels that holds every value 4 x 4 times.
    std::unique_ptr<RasterCanvas> draw(std::int32_t width, std::int32_t numcolors)
    {
        const std::int32_t rows = 4 * (65536 * 4 / width + 1);
        SpoolImage img;
        constexpr std::int32_t BandRows = 200;
        for (std::int32_t top = 0; top < rows; top += BandRows) {
            const std::int32_t n = std::min(BandRows, rows - top);
            Bytes pixels;
            for (std::int32_t y = top; y < top + n; ++y) {
                for (std::int32_t x = 0; x < width; ++x) {
                    const std::uint16_t v = value_at(x, y, width);
                    pixels.push_back(static_cast<std::uint8_t>(v));
                    pixels.push_back(static_cast<std::uint8_t>(v >> 8));
                }
            }
            const bool last = top + n >= rows;
            img.records.push_back(band_record(
                KindBand16, last ? 0 : FlagContinued,
                header(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(n)), pixels,
                top % 400 == 0));
        }
        auto canvas = page_canvas(width + 2, rows, numcolors);
        draw_page(*canvas, build_spool(img));
        return canvas;
    }
};

TEST_P(EveryRgb565, colour_pixels_are_the_fields_times_8_4_and_8)
{
    const std::int32_t width = GetParam();
    auto canvas = draw(width, -1);
    for (std::int32_t y = 0; y < canvas->height(); ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const unsigned v = value_at(x, y, width);
            const std::uint32_t want =
                (v >> 11) * 8 << 16 | ((v >> 5) & 0x3F) * 4 << 8 | (v & 0x1F) * 8;
            ASSERT_EQ(canvas->pixel(x, y), want) << "value " << v << " at " << x << "," << y;
        }
        ASSERT_EQ(canvas->pixel(width, y), 0xFFFFFFu) << "right of the band, row " << y;
    }
}

TEST_P(EveryRgb565, monochrome_pixels_follow_the_dither_table)
{
    const std::int32_t width = GetParam();
    auto canvas = draw(width, 2);
    for (std::int32_t y = 0; y < canvas->height(); ++y) {
        const std::int32_t i = y % 200; // the row within its band
        for (std::int32_t x = 0; x < width; ++x) {
            const unsigned v = value_at(x, y, width);
            const int level =
                dither_level(static_cast<int>(v >> 11) * 8, static_cast<int>((v >> 5) & 0x3F) * 4,
                             static_cast<int>(v & 0x1F) * 8);
            const std::uint32_t want = dither_white(level, i, x) ? 0xFFFFFFu : 0u;
            ASSERT_EQ(canvas->pixel(x, y), want) << "value " << v << " at " << x << "," << y;
        }
        ASSERT_EQ(canvas->pixel(width, y), 0xFFFFFFu) << "right of the band, row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, EveryRgb565, ::testing::Values(1023, 4));

// ---------------------------------------------------------------------------------------------

// The scaled copy by its rule: destination pixel d of length dl takes the source span
// [d * sl / dl, (d + 1) * sl / dl), at least one pixel, its pixels ANDed byte by byte.
std::uint32_t expected_pixel(const BandSurface& band, const Rect& dst, std::int32_t x,
                             std::int32_t y)
{
    auto span = [](std::int64_t d, std::int64_t sl, std::int64_t dl) {
        const std::int64_t first = d * sl / dl, end = (d + 1) * sl / dl;
        return std::pair{first, std::max<std::int64_t>(end - first, 1)};
    };
    const auto [sx, nx] = span(x - std::int64_t{dst.left}, band.width(), dst.width);
    const auto [sy, ny] = span(y - std::int64_t{dst.top}, band.height(), dst.height);
    std::uint32_t v = 0xFFFFFF;
    for (std::int64_t r = sy; r < sy + ny; ++r) {
        for (std::int64_t c = sx; c < sx + nx; ++c) {
            const std::uint8_t* p = band.row(static_cast<std::int32_t>(r)) + 3 * c;
            v &= static_cast<std::uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
        }
    }
    return v;
}

TEST(BandStretch, every_ratio_and_clip_copies_by_the_rule_and_touches_nothing_else)
{
    // Pseudo-random pixels, dark enough that ANDing shows.
    auto band = create_raster_band_surface(7, 5);
    ASSERT_NE(band, nullptr);
    std::uint32_t seed = 99;
    for (std::int32_t y = 0; y < band->height(); ++y) {
        for (std::int32_t x = 0; x < band->width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            std::uint8_t* p = band->row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(seed >> 8);
            p[1] = static_cast<std::uint8_t>(seed >> 16);
            p[2] = static_cast<std::uint8_t>(seed >> 24);
        }
    }

    // A device 12 wide (36-byte rows: no padding) and 9 high, destinations enlarging, shrinking
    // and copying in each direction, inside, over every edge, and over the last byte.
    const std::vector<Rect> destinations = {
        {0, 0, 7, 5}, {2, 1, 7, 5}, {0, 0, 12, 9}, {1, 1, 14, 10},  {-3, -2, 15, 11},
        {5, 4, 7, 5}, {0, 0, 3, 2}, {4, 3, 5, 4},  {-1, 0, 4, 9},   {0, 0, 12, 3},
        {3, 0, 2, 9}, {9, 6, 3, 3}, {11, 8, 1, 1}, {10, 7, 21, 13}, {-6, -4, 13, 9},
    };
    for (const Rect& dst : destinations) {
        auto canvas = page_canvas(12, 9, -1);
        ASSERT_NE(canvas, nullptr);
        canvas->stretch_band(*band, dst);
        for (std::int32_t y = 0; y < canvas->height(); ++y) {
            for (std::int32_t x = 0; x < canvas->width(); ++x) {
                const bool inside = x >= dst.left && x < dst.left + dst.width && y >= dst.top &&
                                    y < dst.top + dst.height;
                const std::uint32_t want = inside ? expected_pixel(*band, dst, x, y) : 0xFFFFFF;
                ASSERT_EQ(canvas->pixel(x, y), want)
                    << "destination " << dst.left << "," << dst.top << " " << dst.width << "x"
                    << dst.height << ", pixel " << x << "," << y;
            }
        }

        // The same copy into a 16-bit preview keeps the top five bits of each channel.
        auto preview = RasterPreviewSurface::create(12, 9, 100, 100);
        ASSERT_NE(preview, nullptr);
        preview->stretch_band(*band, dst);
        for (std::int32_t y = 0; y < preview->height(); ++y) {
            for (std::int32_t x = 0; x < preview->width(); ++x) {
                const std::uint32_t rgb = canvas->pixel(x, y);
                const auto want = static_cast<std::uint16_t>(
                    (rgb >> 19 & 0x1F) << 10 | (rgb >> 11 & 0x1F) << 5 | (rgb >> 3 & 0x1F));
                ASSERT_EQ(preview->pixel(x, y), want) << x << "," << y;
            }
        }
    }
}

} // namespace
} // namespace qm
