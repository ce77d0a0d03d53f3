// The memory rasters behind the Canvas and the image files written from them.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/image_file.h"
#include "render/raster_canvas.h"
#include "spool/spool_limits.h"
#include "temp_file.h"

#if QM_TEST_HAVE_PNG
#include <png.h>
#endif

namespace qm {
namespace {

using namespace std::string_literals;

constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Black = 0x000000;

std::unique_ptr<RasterCanvas> make_canvas(std::int32_t width, std::int32_t height,
                                          std::int32_t numcolors = -1)
{
    DeviceCaps caps;
    caps.horzres = width;
    caps.vertres = height;
    caps.logpixelsx = 96;
    caps.logpixelsy = 96;
    caps.numcolors = numcolors;
    auto canvas = RasterCanvas::create(caps);
    EXPECT_NE(canvas, nullptr);
    return canvas;
}

void set_pixel(BandSurface& band, std::int32_t x, std::int32_t y, std::uint32_t rgb)
{
    std::uint8_t* p = band.row(y) + 3 * x;
    p[0] = static_cast<std::uint8_t>(rgb);
    p[1] = static_cast<std::uint8_t>(rgb >> 8);
    p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

void set_pixel(RasterCanvas& canvas, std::int32_t x, std::int32_t y, std::uint32_t rgb)
{
    std::uint8_t* p = canvas.row(y) + 3 * x;
    p[0] = static_cast<std::uint8_t>(rgb);
    p[1] = static_cast<std::uint8_t>(rgb >> 8);
    p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

void paint_all(RasterCanvas& canvas, std::uint32_t rgb)
{
    for (std::int32_t y = 0; y < canvas.height(); ++y)
        for (std::int32_t x = 0; x < canvas.width(); ++x)
            set_pixel(canvas, x, y, rgb);
}

// A band whose pixel (x, y) is 0x0000xy-ish distinct for small sizes: red = x, green = y.
std::unique_ptr<BandSurface> numbered_band(std::int32_t width, std::int32_t height)
{
    auto band = create_raster_band_surface(width, height);
    EXPECT_NE(band, nullptr);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            set_pixel(*band, x, y, static_cast<std::uint32_t>(x) << 16 | y << 8 | 0x80);
    return band;
}

std::uint32_t numbered(std::int32_t x, std::int32_t y)
{
    return static_cast<std::uint32_t>(x) << 16 | y << 8 | 0x80;
}

std::uint16_t to555(std::uint32_t rgb)
{
    return static_cast<std::uint16_t>((rgb >> 19 & 0x1F) << 10 | (rgb >> 11 & 0x1F) << 5 |
                                      (rgb >> 3 & 0x1F));
}

// ---------------------------------------------------------------------------------------------

TEST(RasterSurfaces, canvas_starts_white_with_padded_rows_and_refuses_absurd_sizes)
{
    auto canvas = make_canvas(5, 3);
    EXPECT_EQ(canvas->stride(), 16); // 15 bytes padded to a multiple of 4
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(canvas->pixel(x, y), White);
    EXPECT_EQ(canvas->caps().horzres, 5);
    EXPECT_EQ(canvas->caps().logpixelsx, 96);

    DeviceCaps huge;
    huge.horzres = 20000;
    huge.vertres = 20000; // 1.2 GB
    EXPECT_EQ(RasterCanvas::create(huge), nullptr);
    DeviceCaps negative;
    negative.horzres = -1;
    negative.vertres = 10;
    EXPECT_EQ(RasterCanvas::create(negative), nullptr);
    DeviceCaps empty;
    auto nothing = RasterCanvas::create(empty);
    ASSERT_NE(nothing, nullptr);
    nothing->fill_white(Rect{0, 0, 10, 10});
    nothing->stretch_band(*numbered_band(2, 2), Rect{0, 0, 4, 4});
}

TEST(RasterSurfaces, band_surfaces_are_white_empty_when_zero_sized_and_capped)
{
    auto canvas = make_canvas(4, 4);
    auto band = canvas->create_band_surface(3, 2);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->width(), 3);
    EXPECT_EQ(band->height(), 2);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 9; ++x)
            EXPECT_EQ(band->row(y)[x], 0xFF);

    // An empty band is still made, so that the renderer can place it; it draws nothing.
    auto flat = canvas->create_band_surface(7, 0);
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->width(), 7);
    EXPECT_EQ(flat->height(), 0);
    set_pixel(*canvas, 0, 0, Black);
    canvas->stretch_band(*flat, Rect{0, 0, 4, 4});
    EXPECT_EQ(canvas->pixel(0, 0), Black);
    ASSERT_NE(canvas->create_band_surface(0, 0), nullptr);

    EXPECT_EQ(canvas->create_band_surface(-1, 5), nullptr);
    EXPECT_EQ(canvas->create_band_surface(5, -1), nullptr);
    EXPECT_EQ(canvas->create_band_surface(65535, 65535), nullptr);
    // Exactly at the cap is allowed in principle; one row more is not.
    const auto cap_rows = static_cast<std::int32_t>(MaxBandImageBytes / (3 * 4096));
    EXPECT_EQ(canvas->create_band_surface(4096, cap_rows + 1), nullptr);
}

TEST(RasterSurfaces, fill_white_clips_to_the_device)
{
    auto canvas = make_canvas(6, 6);
    paint_all(*canvas, Black);
    canvas->fill_white(Rect{-3, -3, 5, 5}); // covers (0..1, 0..1)
    canvas->fill_white(Rect{5, 4, INT32_MAX, INT32_MAX});
    canvas->fill_white(Rect{INT32_MAX - 1, 0, INT32_MAX, 6});
    canvas->fill_white(Rect{2, 2, -1, 3});
    for (std::int32_t y = 0; y < 6; ++y) {
        for (std::int32_t x = 0; x < 6; ++x) {
            const bool white = (x < 2 && y < 2) || (x == 5 && y >= 4);
            EXPECT_EQ(canvas->pixel(x, y), white ? White : Black) << x << "," << y;
        }
    }
}

// ---------------------------------------------------------------------------------------------

TEST(RasterStretch, enlarging_repeats_pixels_and_leaves_the_rest_alone)
{
    auto canvas = make_canvas(8, 8);
    auto band = numbered_band(2, 3);
    canvas->stretch_band(*band, Rect{1, 1, 4, 6});
    for (std::int32_t y = 0; y < 8; ++y) {
        for (std::int32_t x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x < 5 && y >= 1 && y < 7;
            const std::uint32_t want = inside ? numbered((x - 1) / 2, (y - 1) / 2) : White;
            EXPECT_EQ(canvas->pixel(x, y), want) << x << "," << y;
        }
    }

    // Uneven enlargement: destination d takes source d * 3 / 5.
    auto wide = make_canvas(5, 1);
    wide->stretch_band(*numbered_band(3, 1), Rect{0, 0, 5, 1});
    const std::int32_t expected[] = {0, 0, 1, 1, 2};
    for (std::int32_t x = 0; x < 5; ++x)
        EXPECT_EQ(wide->pixel(x, 0), numbered(expected[x], 0)) << x;
}

TEST(RasterStretch, shrinking_ands_the_dropped_pixels_so_thin_black_lines_survive)
{
    // A 9 x 9 white band with a one-pixel black column at x = 4 and a black row at y = 7,
    // shrunk 3:1. Every destination pixel whose 3 x 3 span meets a line is black.
    auto band = create_raster_band_surface(9, 9);
    for (std::int32_t i = 0; i < 9; ++i) {
        set_pixel(*band, 4, i, Black);
        set_pixel(*band, i, 7, Black);
    }
    auto canvas = make_canvas(3, 3);
    canvas->stretch_band(*band, Rect{0, 0, 3, 3});
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(canvas->pixel(x, y), (x == 1 || y == 2) ? Black : White) << x << "," << y;

    // Colours combine bytewise: yellow AND cyan is green. Spans of 5 -> 3: [0,1) [1,3) [3,5).
    auto colours = create_raster_band_surface(5, 1);
    set_pixel(*colours, 1, 0, 0xFFFF00);
    set_pixel(*colours, 2, 0, 0x00FFFF);
    set_pixel(*colours, 4, 0, 0x123456);
    auto row = make_canvas(3, 1);
    row->stretch_band(*colours, Rect{0, 0, 3, 1});
    EXPECT_EQ(row->pixel(0, 0), White);
    EXPECT_EQ(row->pixel(1, 0), 0x00FF00u);
    EXPECT_EQ(row->pixel(2, 0), 0x123456u);

    // Shrinking one way while enlarging the other.
    auto tall = make_canvas(1, 4);
    auto column = create_raster_band_surface(4, 2);
    set_pixel(*column, 3, 1, Black);
    tall->stretch_band(*column, Rect{0, 0, 1, 4});
    EXPECT_EQ(tall->pixel(0, 0), White);
    EXPECT_EQ(tall->pixel(0, 1), White);
    EXPECT_EQ(tall->pixel(0, 2), Black);
    EXPECT_EQ(tall->pixel(0, 3), Black);
}

TEST(RasterStretch, clips_destinations_partly_or_wholly_off_the_device)
{
    auto band = numbered_band(4, 4);

    // Enlarged 2x from (-2, -3): device pixel (x, y) is destination (x + 2, y + 3).
    auto canvas = make_canvas(6, 6);
    canvas->stretch_band(*band, Rect{-2, -3, 8, 8});
    for (std::int32_t y = 0; y < 6; ++y) {
        for (std::int32_t x = 0; x < 6; ++x) {
            const std::uint32_t want = y + 3 < 8 ? numbered((x + 2) / 2, (y + 3) / 2) : White;
            EXPECT_EQ(canvas->pixel(x, y), want) << x << "," << y;
        }
    }

    // Over the right and bottom edges: only the top-left of the band shows.
    auto edge = make_canvas(6, 6);
    edge->stretch_band(*band, Rect{4, 5, 8, 8});
    EXPECT_EQ(edge->pixel(4, 5), numbered(0, 0));
    EXPECT_EQ(edge->pixel(5, 5), numbered(0, 0));
    EXPECT_EQ(edge->pixel(3, 5), White);
    EXPECT_EQ(edge->pixel(4, 4), White);

    // Wholly off, empty or negative destinations draw nothing.
    auto untouched = make_canvas(6, 6);
    untouched->stretch_band(*band, Rect{6, 0, 4, 4});
    untouched->stretch_band(*band, Rect{-4, 0, 4, 4});
    untouched->stretch_band(*band, Rect{0, 6, 4, 4});
    untouched->stretch_band(*band, Rect{0, 0, 0, 4});
    untouched->stretch_band(*band, Rect{0, 0, 4, -4});
    untouched->stretch_band(*band, Rect{INT32_MAX - 1, INT32_MAX - 1, INT32_MAX, INT32_MAX});
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 6; ++x)
            EXPECT_EQ(untouched->pixel(x, y), White);

    // A destination near the top of the 32-bit range maps without overflow: every visible
    // pixel comes from source (0, 0).
    auto vast = make_canvas(3, 3);
    vast->stretch_band(*band, Rect{0, 0, INT32_MAX, INT32_MAX});
    EXPECT_EQ(vast->pixel(2, 2), numbered(0, 0));
}

// The canvas writes a fill's white only when drawing reaches a row, and only outside what a band
// then overwrites, and doubles bands by a path of its own. Random fills, bands (doubled, shrunk,
// clipped, empty) and direct writes, read back at random moments, against a model that
// does each call pixel by pixel as the rules say.
TEST(RasterStretch, any_sequence_of_fills_and_bands_matches_a_pixel_by_pixel_model)
{
    std::mt19937 rng(11);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        const std::int32_t w = pick(1, 23), h = pick(1, 17);
        auto canvas = make_canvas(w, h);
        std::vector<std::uint32_t> model(static_cast<std::size_t>(w * h), White);
        auto in_model = [&](std::int32_t x, std::int32_t y) -> std::uint32_t& {
            return model[static_cast<std::size_t>(y * w + x)];
        };
        for (int step = 0; step < 12; ++step) {
            const Rect r{pick(-8, w), pick(-8, h), pick(-2, 2 * w), pick(-2, 2 * h)};
            switch (pick(0, 5)) {
            case 0:
                canvas->fill_white(r);
                for (std::int32_t y = std::max(r.top, 0); y < std::min(r.top + r.height, h); ++y)
                    for (std::int32_t x = std::max(r.left, 0); x < std::min(r.left + r.width, w);
                         ++x)
                        in_model(x, y) = White;
                break;
            case 1:
                canvas->fill_white(Rect{0, 0, w, h});
                std::fill(model.begin(), model.end(), White);
                break;
            case 2: { // a direct write through row(), as a test or an image writer may do
                const std::int32_t x = pick(0, w - 1), y = pick(0, h - 1);
                set_pixel(*canvas, x, y, 0x102030);
                in_model(x, y) = 0x102030;
                break;
            }
            default: { // a band, doubled half of the time
                const std::int32_t bw = pick(1, 9), bh = pick(1, 9);
                auto band = create_raster_band_surface(bw, bh);
                for (std::int32_t y = 0; y < bh; ++y)
                    for (std::int32_t x = 0; x < bw; ++x)
                        set_pixel(*band, x, y, rng() & 0xFFFFFF);
                const Rect dst = pick(0, 1) ? Rect{r.left, r.top, 2 * bw, 2 * bh} : r;
                canvas->stretch_band(*band, dst);
                for (std::int32_t y = std::max(dst.top, 0); y < std::min(dst.top + dst.height, h);
                     ++y) {
                    for (std::int32_t x = std::max(dst.left, 0);
                         x < std::min(dst.left + dst.width, w); ++x) {
                        const std::int32_t dx = x - dst.left, dy = y - dst.top;
                        const std::int32_t sx = dx * bw / dst.width, sy = dy * bh / dst.height;
                        const std::int32_t ex = std::max((dx + 1) * bw / dst.width, sx + 1);
                        const std::int32_t ey = std::max((dy + 1) * bh / dst.height, sy + 1);
                        std::uint32_t v = White;
                        for (std::int32_t j = sy; j < ey; ++j)
                            for (std::int32_t i = sx; i < ex; ++i) {
                                const std::uint8_t* p = band->row(j) + 3 * i;
                                v &= static_cast<std::uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
                            }
                        in_model(x, y) = v;
                    }
                }
                break;
            }
            }
            if (pick(0, 3) == 0 || step == 11) {
                for (std::int32_t y = 0; y < h; ++y)
                    for (std::int32_t x = 0; x < w; ++x)
                        ASSERT_EQ(canvas->pixel(x, y), in_model(x, y))
                            << "round " << round << " step " << step << " at " << x << "," << y;
            }
        }
    }

    // A page-sized target takes its doubled rows by another kind of store.
    auto page = make_canvas(3400, 3300); // 33.7 MB
    page->fill_white(Rect{0, 0, 3400, 3300});
    auto band = numbered_band(7, 5);
    page->stretch_band(*band, Rect{3386, 3290, 14, 10});
    for (std::int32_t y = 3289; y < 3300; ++y)
        for (std::int32_t x = 3385; x < 3400; ++x)
            ASSERT_EQ(page->pixel(x, y),
                      x >= 3386 && y >= 3290 ? numbered((x - 3386) / 2, (y - 3290) / 2) : White)
                << x << "," << y;
}

// ---------------------------------------------------------------------------------------------

TEST(RasterPreview, is_white_555_stored_bottom_up_and_takes_bands_at_five_bits)
{
    DeviceCaps caps;
    caps.horzres = 10;
    caps.vertres = 10;
    caps.logpixelsx = 120;
    caps.logpixelsy = 144;
    caps.numcolors = 2;
    auto canvas = RasterCanvas::create(caps);
    auto cache = canvas->create_preview_cache(3, 2);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->width(), 3);
    EXPECT_EQ(cache->height(), 2);
    const DeviceCaps cc = cache->caps();
    EXPECT_EQ(cc.horzres, 3);
    EXPECT_EQ(cc.vertres, 2);
    EXPECT_EQ(cc.logpixelsx, 120);
    EXPECT_EQ(cc.logpixelsy, 144);
    EXPECT_EQ(cc.numcolors, -1);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(cache->pixel(x, y), 0x7FFF);

    auto band = create_raster_band_surface(1, 1);
    set_pixel(*band, 0, 0, 0x13F80F);
    cache->stretch_band(*band, Rect{1, 0, 1, 1}); // top row
    EXPECT_EQ(cache->pixel(1, 0), (0x13 >> 3) << 10 | (0xF8 >> 3) << 5 | (0x0F >> 3));
    EXPECT_EQ(cache->pixel(1, 1), 0x7FFF);

    // The top row is the last row in memory.
    const auto& raster = static_cast<const RasterPreviewSurface&>(*cache);
    EXPECT_EQ(raster.stride(), 8);
    const std::uint8_t* top = raster.memory_row(1);
    EXPECT_EQ(top[2] | top[3] << 8, to555(0x13F80F));
    const std::uint8_t* bottom = raster.memory_row(0);
    EXPECT_EQ(bottom[2] | bottom[3] << 8, 0x7FFF);

    cache->fill_white(Rect{0, 0, 3, 2});
    EXPECT_EQ(cache->pixel(1, 0), 0x7FFF);

    // Enlarging onto the cache repeats rows and clips like the page does.
    cache->stretch_band(*numbered_band(2, 1), Rect{-1, 0, 4, 2});
    EXPECT_EQ(cache->pixel(0, 1), to555(numbered(0, 0)));
    EXPECT_EQ(cache->pixel(1, 1), to555(numbered(1, 0)));
    EXPECT_EQ(cache->pixel(2, 0), to555(numbered(1, 0)));
}

TEST(RasterPreview, draw_preview_widens_five_bit_channels_and_clips)
{
    auto canvas = make_canvas(3, 2);
    paint_all(*canvas, Black);
    auto cache = canvas->create_preview_cache(2, 5);
    auto band = create_raster_band_surface(2, 1);
    set_pixel(*band, 0, 0, 0x000000);
    set_pixel(*band, 1, 0, 0x808080); // 16 in five bits
    cache->stretch_band(*band, Rect{0, 1, 2, 1});
    canvas->draw_preview(*cache);
    EXPECT_EQ(canvas->pixel(0, 0), White);
    EXPECT_EQ(canvas->pixel(1, 0), White);
    EXPECT_EQ(canvas->pixel(0, 1), Black);
    EXPECT_EQ(canvas->pixel(1, 1), 0x848484u); // (16 << 3) | (16 >> 2)
    EXPECT_EQ(canvas->pixel(2, 0), Black);     // outside the cache: left alone
    EXPECT_EQ(canvas->pixel(2, 1), Black);

    // Cache to cache copies the 16-bit values.
    auto other = cache->create_preview_cache(4, 1);
    other->draw_preview(*cache);
    EXPECT_EQ(other->pixel(0, 0), 0x7FFF);
    auto copy = cache->create_preview_cache(2, 2);
    copy->draw_preview(*cache);
    EXPECT_EQ(copy->pixel(1, 1), to555(0x808080));
}

// ---------------------------------------------------------------------------------------------

// Text is set in the face the program carries, on every build and every machine (the Windows
// build, which has no FreeType, runs these under Wine too).
class RasterText : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(raster_text_available()) << "the built-in face did not load";
    }
};

bool is_grey(std::uint32_t rgb)
{
    return (rgb >> 16 & 0xFF) == (rgb >> 8 & 0xFF) && (rgb >> 8 & 0xFF) == (rgb & 0xFF);
}

constexpr std::uint32_t Paper = 0x80C0FF; // a colour no text pixel can take

TEST_F(RasterText, draws_black_on_a_white_cell_and_nothing_outside_it)
{
    auto canvas = make_canvas(120, 60);
    paint_all(*canvas, Paper);
    ASSERT_TRUE(canvas->select_font(20, 12));
    EXPECT_EQ(canvas->text_out(10, 15, "Hg#x", 4), 48);

    // The cell: 48 wide, and for this face a little over the em height tall.
    std::int32_t cell_bottom = 15;
    while (cell_bottom < 60 && canvas->pixel(10, cell_bottom) != Paper)
        ++cell_bottom;
    const std::int32_t cell_height = cell_bottom - 15;
    EXPECT_GE(cell_height, 20);
    EXPECT_LE(cell_height, 25);

    int dark = 0, partial = 0;
    for (std::int32_t y = 0; y < 60; ++y) {
        for (std::int32_t x = 0; x < 120; ++x) {
            const std::uint32_t p = canvas->pixel(x, y);
            const bool in_cell = x >= 10 && x < 58 && y >= 15 && y < cell_bottom;
            if (!in_cell) {
                EXPECT_EQ(p, Paper) << x << "," << y;
                continue;
            }
            EXPECT_TRUE(is_grey(p)) << x << "," << y; // white paper blended toward black
            dark += (p & 0xFF) < 0x40;
            partial += (p & 0xFF) > 0 && (p & 0xFF) < 0xFF;
        }
    }
    EXPECT_GT(dark, 40);
    EXPECT_GT(partial, 0) << "colour targets get anti-aliased text";

    // Each character sits in its own advance: "H" leaves ink in the first 12 columns only.
    auto single = make_canvas(40, 40);
    single->select_font(20, 12);
    single->text_out(0, 0, "H", 1);
    int ink_left = 0, ink_right = 0;
    for (std::int32_t y = 0; y < 40; ++y) {
        for (std::int32_t x = 0; x < 40; ++x) {
            if ((single->pixel(x, y) & 0xFF) < 0x80)
                ++(x < 12 ? ink_left : ink_right);
        }
    }
    EXPECT_GT(ink_left, 10);
    EXPECT_EQ(ink_right, 0);
}

TEST_F(RasterText, monochrome_targets_get_pure_black_and_white)
{
    auto canvas = make_canvas(100, 40, 2);
    paint_all(*canvas, Paper);
    ASSERT_TRUE(canvas->select_font(24, 14));
    EXPECT_EQ(canvas->text_out(2, 2, "Qm@", 3), 42);
    int black = 0;
    for (std::int32_t y = 0; y < 40; ++y) {
        for (std::int32_t x = 0; x < 100; ++x) {
            const std::uint32_t p = canvas->pixel(x, y);
            EXPECT_TRUE(p == Black || p == White || p == Paper) << std::hex << p;
            black += p == Black;
        }
    }
    EXPECT_GT(black, 40);
}

TEST_F(RasterText, maps_windows_1252_and_clips_at_the_device_edges)
{
    // The euro sign (0x80) must not come out as the missing-glyph box that an unmapped
    // control character (0x81) gets.
    auto canvas = make_canvas(60, 30);
    ASSERT_TRUE(canvas->select_font(24, 20));
    canvas->text_out(0, 0, "\x80\x81", 2);
    int differ = 0, ink = 0;
    for (std::int32_t y = 0; y < 30; ++y) {
        for (std::int32_t x = 0; x < 20; ++x) {
            differ += canvas->pixel(x, y) != canvas->pixel(x + 20, y);
            ink += canvas->pixel(x, y) != White;
        }
    }
    EXPECT_GT(ink, 10);
    EXPECT_GT(differ, 10);

    // Partly and wholly off the device: no stray writes (the sanitizer build watches), and the
    // advance is the same.
    EXPECT_EQ(canvas->text_out(-15, -10, "WWW", 3), 60);
    EXPECT_EQ(canvas->text_out(50, 20, "WWW", 3), 60);
    EXPECT_EQ(canvas->text_out(INT32_MAX - 30, INT32_MIN + 5, "WWW", 3), 60);
    EXPECT_EQ(canvas->text_out(0, 0, "", 0), 0);
}

TEST_F(RasterText, draws_into_the_preview_in_sixteen_bits)
{
    auto canvas = make_canvas(10, 10);
    auto cache = canvas->create_preview_cache(60, 30);
    ASSERT_TRUE(cache->select_font(20, 12));
    EXPECT_EQ(cache->text_out(5, 3, "AB", 2), 24);
    int dark = 0;
    for (std::int32_t y = 0; y < 30; ++y) {
        for (std::int32_t x = 0; x < 60; ++x) {
            const std::uint16_t p = cache->pixel(x, y);
            if (x < 5 || x >= 29 || y < 3) {
                EXPECT_EQ(p, 0x7FFF) << x << "," << y;
            }
            dark += p == 0;
        }
    }
    EXPECT_GT(dark, 20);
}

TEST(RasterTextFallback, sizes_no_face_can_take_draw_nothing_but_still_advance)
{
    auto canvas = make_canvas(40, 40);
    EXPECT_EQ(canvas->text_out(0, 0, "abc", 3), 0); // no font selected yet
    EXPECT_FALSE(canvas->select_font(0, 7));
    EXPECT_EQ(canvas->text_out(0, 0, "abc", 3), 21);
    EXPECT_FALSE(canvas->select_font(10, 0));
    EXPECT_EQ(canvas->text_out(0, 0, "abc", 3), 0);
    EXPECT_FALSE(canvas->select_font(100000, 9));
    EXPECT_EQ(canvas->text_out(0, 0, "abc", 3), 27);

    // After release_font the device default (nothing, on a raster) draws; advances stay.
    const bool have_face = canvas->select_font(12, 6);
    EXPECT_EQ(have_face, raster_text_available());
    canvas->release_font();
    EXPECT_EQ(canvas->text_out(0, 0, "abcd", 4), 24);
    for (std::int32_t y = 0; y < 40; ++y)
        for (std::int32_t x = 0; x < 40; ++x)
            ASSERT_EQ(canvas->pixel(x, y), White);

    // Selecting the same size again draws again.
    EXPECT_EQ(canvas->select_font(12, 6), raster_text_available());
    EXPECT_EQ(canvas->text_out(0, 0, "M", 1), 6);
    int ink = 0;
    for (std::int32_t y = 0; y < 40; ++y)
        for (std::int32_t x = 0; x < 40; ++x)
            ink += canvas->pixel(x, y) != White;
    EXPECT_EQ(ink > 0, raster_text_available());
}

// ---------------------------------------------------------------------------------------------

// A 3 x 2 canvas of known colours.
std::unique_ptr<RasterCanvas> small_picture()
{
    auto canvas = make_canvas(3, 2);
    set_pixel(*canvas, 0, 0, 0xFF0000);
    set_pixel(*canvas, 1, 0, 0x00FF00);
    set_pixel(*canvas, 2, 0, 0x0000FF);
    set_pixel(*canvas, 0, 1, 0x123456);
    set_pixel(*canvas, 1, 1, Black);
    return canvas;
}

// A temporary file name with the given extension, removed at the end of the test.
class TempImage {
public:
    explicit TempImage(const char* extension) : path_(std::string(base_.path()) + extension) {}
    ~TempImage() { std::remove(path_.c_str()); }
    TempImage(const TempImage&) = delete;
    TempImage& operator=(const TempImage&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    test::TempFile base_{"raster"};
    std::string path_;
};

std::string as_string(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

TEST(ImageFile, writes_ppm_of_the_canvas_and_of_the_preview)
{
    auto canvas = small_picture();
    TempImage file(".ppm");
    char error[128] = "";
    ASSERT_TRUE(write_ppm(file.path(), *canvas, error, sizeof error)) << error;
    const std::string expected = std::string("P6\n3 2\n255\n") +
                                 "\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF"
                                 "\x12\x34\x56\x00\x00\x00\xFF\xFF\xFF"s;
    EXPECT_EQ(as_string(test::read_all(file.path())), expected);

    auto cache = canvas->create_preview_cache(2, 1);
    auto band = create_raster_band_surface(1, 1);
    set_pixel(*band, 0, 0, 0x808000);
    cache->stretch_band(*band, Rect{0, 0, 1, 1});
    TempImage preview_file(".PPM");
    ASSERT_TRUE(write_image(preview_file.path(), *cache, error, sizeof error)) << error;
    EXPECT_EQ(as_string(test::read_all(preview_file.path())),
              std::string("P6\n2 1\n255\n") + "\x84\x84\x00\xFF\xFF\xFF"s);
}

TEST(ImageFile, refuses_unknown_names_empty_images_and_failed_writes_with_a_reason)
{
    auto canvas = small_picture();
    char error[200] = "";

    // The reason names what this build can write, and a build without libpng offers no PNG.
    TempImage bmp(".bmp");
    EXPECT_FALSE(write_image(bmp.path(), *canvas, error, sizeof error));
    EXPECT_NE(std::strstr(error, png_supported() ? ".png or .ppm" : "end in .ppm"), nullptr)
        << error;
    EXPECT_TRUE(test::read_all(bmp.path()).empty()); // nothing created
    if (!png_supported()) {
        EXPECT_EQ(std::strstr(error, ".png"), nullptr) << error;
        TempImage png(".png");
        EXPECT_FALSE(write_image(png.path(), *canvas, error, sizeof error));
        EXPECT_STREQ(error, "this build writes PPM images only, not PNG (name the file .ppm)");
        EXPECT_STREQ(image_type_refusal(png.path()), error);
    }
    EXPECT_EQ(image_type_refusal("Page.PPM"), nullptr);
    EXPECT_EQ(image_type_refusal("page.png") == nullptr, png_supported());
    EXPECT_FALSE(write_image("ppm", *canvas, error, sizeof error));

    error[0] = '\0';
    EXPECT_FALSE(write_image("/nonexistent-folder/x.ppm", *canvas, error, sizeof error));
    EXPECT_NE(std::strstr(error, "cannot create"), nullptr) << error;

    auto empty = make_canvas(0, 4);
    TempImage nothing(".ppm");
    error[0] = '\0';
    EXPECT_FALSE(write_ppm(nothing.path(), *empty, error, sizeof error));
    EXPECT_NE(std::strstr(error, "empty"), nullptr) << error;

    // A short buffer gets a terminated prefix; a null one is allowed.
    char tiny[8];
    std::memset(tiny, 'x', sizeof tiny);
    EXPECT_FALSE(write_image("unknown.gif", *canvas, tiny, sizeof tiny));
    EXPECT_EQ(std::strlen(tiny), 7u);
    EXPECT_FALSE(write_image("unknown.gif", *canvas, nullptr, 0));

    // A device that takes no data: the failure is seen, on writing or on closing.
    if (std::FILE* full = std::fopen("/dev/full", "wb")) {
        std::fclose(full);
        error[0] = '\0';
        EXPECT_FALSE(write_ppm("/dev/full", *canvas, error, sizeof error));
        EXPECT_NE(error[0], '\0');
        if (png_supported()) {
            EXPECT_FALSE(write_png("/dev/full", *canvas, error, sizeof error));
        }
    }
}

#if QM_TEST_HAVE_PNG

// Reads an 8-bit RGB PNG back through libpng: width, height and the RGB bytes.
struct DecodedPng {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::string rgb;
};

bool read_png(const char* path, DecodedPng& out)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return false;
    image.format = PNG_FORMAT_RGB;
    out.width = image.width;
    out.height = image.height;
    out.rgb.assign(PNG_IMAGE_SIZE(image), '\0');
    const bool ok = png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

TEST(ImageFile, png_round_trips_through_libpng)
{
    ASSERT_TRUE(png_supported());
    auto canvas = small_picture();
    TempImage file(".Png");
    char error[128] = "";
    ASSERT_TRUE(write_image(file.path(), *canvas, error, sizeof error)) << error;
    DecodedPng png;
    ASSERT_TRUE(read_png(file.path(), png));
    EXPECT_EQ(png.width, 3u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.rgb, "\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF"
                       "\x12\x34\x56\x00\x00\x00\xFF\xFF\xFF"s);

    auto cache = canvas->create_preview_cache(1, 2);
    auto band = create_raster_band_surface(1, 1);
    set_pixel(*band, 0, 0, 0x0000F8);
    cache->stretch_band(*band, Rect{0, 1, 1, 1});
    TempImage preview_file(".png");
    ASSERT_TRUE(write_png(preview_file.path(), *cache, error, sizeof error)) << error;
    ASSERT_TRUE(read_png(preview_file.path(), png));
    EXPECT_EQ(png.rgb, "\xFF\xFF\xFF\x00\x00\xFF"s);
}

#endif

} // namespace
} // namespace qm
