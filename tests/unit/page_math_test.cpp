#include <gtest/gtest.h>

#include "render/page_math.h"
#include "spool/spool_writer.h"

namespace qm {
namespace {

PagePlacement window(std::int32_t scale, std::int32_t w, std::int32_t h)
{
    return PagePlacement{0, 0, scale, scale, w, h};
}

TEST(BandPlacement, fit_shrinks_a_band_past_the_right_edge_with_truncating_divisors)
{
    // 300 x 100 at 30 dpi, scale 100, area 900 x 900: both divisors become 33.
    BandPlacement p = place_band(band_header(300, 100, 30), window(100, 900, 900), 0, true);
    ASSERT_TRUE(p.drawn);
    EXPECT_EQ(p.rect.width, 909) << "the truncations leave it 9 units wider than the area";
    EXPECT_EQ(p.rect.height, 303);

    // 270 wide fits exactly: the products are equal, the divisors stay 30.
    p = place_band(band_header(270, 100, 30), window(100, 900, 900), 0, true);
    EXPECT_EQ(p.rect.width, 900);
    EXPECT_EQ(p.rect.height, 333);
}

TEST(BandPlacement, fit_shrinks_the_band_that_crosses_the_bottom_to_end_there)
{
    // 100 rows at 10 dpi and scale 50 want 500 units; 200 remain below y = 700.
    const BandPlacement p =
        place_band(band_header(40, 100, 10, 0, 0), window(50, 1000, 900), 700, true);
    ASSERT_TRUE(p.drawn);
    // dy' = 50 * 100 / 200 = 25; dx = 25 * 10 / 10 = 25.
    EXPECT_EQ(p.rect.top, 700);
    EXPECT_EQ(p.rect.height, 200);
    EXPECT_EQ(p.rect.width, 80);
    // The same band wholly inside the area is not changed.
    const BandPlacement q = place_band(band_header(40, 100, 10), window(50, 1000, 900), 0, true);
    EXPECT_EQ(q.rect.height, 500);
    EXPECT_EQ(q.rect.width, 200);
}

TEST(BandPlacement, the_printer_pass_scales_by_resolution_and_offsets_by_the_origin)
{
    const PagePlacement printer{-75, -50, 600, 600, 4950, 6450};
    const BandPlacement p = place_band(band_header(1000, 10, 300, 30, 4), printer, -50, false);
    ASSERT_TRUE(p.drawn);
    EXPECT_EQ(p.rect.left, -75 + 60);
    EXPECT_EQ(p.rect.top, -50 + 8);
    EXPECT_EQ(p.rect.width, 2000);
    EXPECT_EQ(p.rect.height, 20);
    // Without fit nothing is shrunk, even far past the area.
    EXPECT_EQ(place_band(band_header(60000, 10, 10), printer, 0, false).rect.width, 3600000);
}

TEST(BandPlacement, leaves_undrawable_bands_undrawn)
{
    EXPECT_FALSE(place_band(band_header(10, 10, 0), window(100, 900, 900), 0, true).drawn);
    BandHeader b = band_header(10, 10, 30);
    b.dpi_y = 0;
    EXPECT_FALSE(place_band(b, window(100, 900, 900), 0, false).drawn);
    // No room left below y for a band that needs shrinking.
    EXPECT_FALSE(place_band(band_header(10, 10, 30), window(100, 900, 900), 900, true).drawn);
    EXPECT_FALSE(place_band(band_header(10, 10, 30), window(100, 900, 900), 2000, true).drawn);
    // No room to the right.
    EXPECT_FALSE(
        place_band(band_header(10, 10, 30), PagePlacement{900, 0, 100, 100, 900, 900}, 0, true)
            .drawn);
    // An empty band at the bottom edge needs no room and is placed.
    EXPECT_TRUE(place_band(band_header(0, 0, 30), window(100, 900, 900), 900, true).drawn);
}

TEST(BandPlacement, extreme_values_wrap_as_32_bit_arithmetic_does)
{
    // Worked out by hand with every product and quotient wrapped to 32 bits; the sanitizer run
    // also proves that no step overflows in the language's sense.
    const PagePlacement huge{0, 0, 2000000000, 2000000000, 10, 10};
    const BandPlacement p = place_band(band_header(65535, 65535, 1, 65535, 65535), huge, 0, true);
    ASSERT_TRUE(p.drawn);
    EXPECT_EQ(p.rect.left, -40252330);
    EXPECT_EQ(p.rect.top, 5);
    EXPECT_EQ(p.rect.width, -40252330);
    EXPECT_EQ(p.rect.height, 5);
    const BandPlacement q = place_band(
        band_header(65535, 65535, 65535),
        PagePlacement{INT32_MIN, INT32_MIN, -1, -1, INT32_MAX, INT32_MAX}, INT32_MIN, true);
    ASSERT_TRUE(q.drawn);
    EXPECT_EQ(q.rect.left, INT32_MIN);
    EXPECT_EQ(q.rect.top, INT32_MIN);
    EXPECT_EQ(q.rect.width, -1);
    EXPECT_EQ(q.rect.height, -1);
}

TEST(PassPlacement, printer_at_the_paper_corner_and_window_at_an_eighth_of_its_width)
{
    const PagePlacement printer =
        printer_page_placement(DeviceCaps{4800, 6300, 600, 300, 2, 75, 50});
    EXPECT_EQ(printer.origin_x, -75);
    EXPECT_EQ(printer.origin_y, -50);
    EXPECT_EQ(printer.scale_x, 600);
    EXPECT_EQ(printer.scale_y, 300);
    EXPECT_EQ(printer.area_width, 4800);
    EXPECT_EQ(printer.area_height, 6300);

    // The outer width counts both edges: 617 + 1 pixels make 77 per inch, 623 + 1 make 78.
    EXPECT_EQ(window_page_scale(617), 77);
    EXPECT_EQ(window_page_scale(622), 77);
    EXPECT_EQ(window_page_scale(623), 78);
    EXPECT_EQ(window_page_scale(-9), -1) << "truncated toward zero";
    const PagePlacement window = window_page_placement(618, 1280, 1024);
    EXPECT_EQ(window.origin_x, 0);
    EXPECT_EQ(window.origin_y, 0);
    EXPECT_EQ(window.scale_x, 77);
    EXPECT_EQ(window.scale_y, 77);
    EXPECT_EQ(window.area_width, 1280);
    EXPECT_EQ(window.area_height, 1024);
}

TEST(TextMetrics, ten_characters_and_six_lines_per_inch)
{
    TextMetrics m = text_metrics_fit(80, 80);
    EXPECT_EQ(m.avg_width, 8);
    EXPECT_EQ(m.char_height, 13);
    EXPECT_EQ(m.line_step, 13);
    m = text_metrics_fit(100, 100);
    EXPECT_EQ(m.avg_width, 10);
    EXPECT_EQ(m.char_height, 17);
    EXPECT_EQ(m.line_step, 16);
    m = text_metrics_fit(2, 2);
    EXPECT_EQ(m.avg_width, 1);
    EXPECT_EQ(m.char_height, 1);
    EXPECT_EQ(m.line_step, 0);
    m = text_metrics_device(DeviceCaps{0, 0, 600, 300, 2, 0, 0});
    EXPECT_EQ(m.avg_width, 60);
    EXPECT_EQ(m.char_height, 50);
    EXPECT_EQ(m.line_step, 50);
    m = text_metrics_device(DeviceCaps{0, 0, 4, 2, 2, 0, 0});
    EXPECT_EQ(m.avg_width, 0) << "no lower bound at the device's own resolution";
    EXPECT_EQ(m.char_height, 0);
}

TEST(MulDiv, rounds_halves_away_from_zero_and_fails_like_the_platform)
{
    EXPECT_EQ(mul_div(1, 5, 10), 1);
    EXPECT_EQ(mul_div(1, 4, 10), 0);
    EXPECT_EQ(mul_div(-1, 5, 10), -1);
    EXPECT_EQ(mul_div(1, 15, 10), 2);
    EXPECT_EQ(mul_div(7, 3, 0), -1);
    EXPECT_EQ(mul_div(INT32_MAX, INT32_MAX, 1), -1);
}

} // namespace
} // namespace qm
