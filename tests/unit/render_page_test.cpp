#include <gtest/gtest.h>

#include "recording_canvas.h"
#include "render/render_page.h"
#include "spool/spool_writer.h"

namespace qm {
namespace {

using test::RecordingCanvas;

constexpr std::uint32_t White = 0xFFFFFF;
constexpr std::uint32_t Black = 0x000000;

DeviceCaps colour_caps()
{
    return DeviceCaps{850, 1100, 100, 100, -1, 0, 0};
}
DeviceCaps mono_caps()
{
    return DeviceCaps{850, 1100, 100, 100, 2, 0, 0};
}

class RenderPage : public ::testing::Test {
protected:
    // Draws the page at `first` of `file` as a printer pass at the canvas's own resolution.
    int printer_pass(RecordingCanvas& canvas, const Bytes& file, std::int32_t first = 0,
                     std::int64_t start = 0, std::FILE* bmp = nullptr)
    {
        file_ = file;
        stream_ = SpoolStream::from_memory(file_.data(), file_.size());
        stream_.seek(start);
        const DeviceCaps c = canvas.caps();
        const PagePlacement at{0, 0, c.logpixelsx, c.logpixelsy, c.horzres, c.vertres};
        std::int32_t count = 0;
        std::uint8_t hi = file_.size() > 77 ? file_[76] : 0, lo = file_.size() > 77 ? file_[77] : 0;
        count = static_cast<std::int16_t>((hi << 8) | lo);
        return render_page(canvas, at, &stream_, first, count, render_, {RenderPass::Printer, bmp});
    }

    int window_pass(RecordingCanvas& canvas, const Bytes& file, std::int32_t scale)
    {
        file_ = file;
        stream_ = SpoolStream::from_memory(file_.data(), file_.size());
        const DeviceCaps c = canvas.caps();
        const PagePlacement at{0, 0, scale, scale, c.horzres, c.vertres};
        return render_page(canvas, at, &stream_, 0, static_cast<std::int32_t>(file_[77]), render_,
                           {RenderPass::InWindow, nullptr});
    }

    Bytes file_;
    SpoolStream stream_;
    RenderState render_;
};

TEST_F(RenderPage, paints_each_kind_in_its_colours)
{
    SpoolImage img;
    // Kind 0, width 9: the ninth pixel is bit 7 of the second byte; the rest of it is no pixel.
    img.records.push_back(
        band_record(KindBand1, FlagContinued, band_header(9, 1, 100), Bytes{0xA0, 0xFF}, false));
    img.records.push_back(
        band_record(KindBand8, FlagContinued, band_header(4, 1, 100), Bytes{0, 5, 107, 255}, true));
    // Kind 3: white, pure red, pure green, pure blue (RGB565, low byte first).
    img.records.push_back(band_record(KindBand16, 0, band_header(4, 1, 100),
                                      Bytes{0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00},
                                      false));
    RecordingCanvas canvas(colour_caps());
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.bands.size(), 3u);

    const auto& k0 = canvas.bands[0];
    EXPECT_EQ(k0.at(0, 0), Black);
    EXPECT_EQ(k0.at(1, 0), White);
    EXPECT_EQ(k0.at(2, 0), Black);
    EXPECT_EQ(k0.at(3, 0), White);
    EXPECT_EQ(k0.at(8, 0), Black);

    const auto& k2 = canvas.bands[1];
    EXPECT_EQ(k2.at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(k2.at(1, 0), 0xFF00FFu);
    EXPECT_EQ(k2.at(2, 0), 0x000099u);
    EXPECT_EQ(k2.at(3, 0), 0x000000u);

    const auto& k3 = canvas.bands[2];
    EXPECT_EQ(k3.at(0, 0), 0xF8FCF8u) << "fields times 8, 4 and 8, without filling low bits";
    EXPECT_EQ(k3.at(1, 0), 0xF80000u);
    EXPECT_EQ(k3.at(2, 0), 0x00FC00u);
    EXPECT_EQ(k3.at(3, 0), 0x0000F8u);

    EXPECT_EQ(render_.DisplayMode, DisplayBand);
    EXPECT_EQ(render_.LastRecordKind, KindBand16);
}

TEST_F(RenderPage, dithers_colour_bands_on_a_two_colour_device)
{
    SpoolImage img;
    // 4 x 4 blocks of palette 0 (white), 50 (99 99 99: level 144, pattern 9) and 230 (black).
    Bytes pixels;
    for (int row = 0; row < 4; ++row)
        for (std::uint8_t idx : {0, 50, 230})
            pixels.insert(pixels.end(), 4, idx);
    img.records.push_back(
        band_record(KindBand8, FlagContinued, band_header(12, 4, 100), pixels, true));
    // Kind 3 white and black.
    img.records.push_back(band_record(KindBand16, FlagContinued, band_header(2, 1, 100),
                                      Bytes{0xFF, 0xFF, 0x00, 0x00}, false));
    // Kind 0 draws the same as on a colour device.
    img.records.push_back(band_record(KindBand1, 0, band_header(8, 1, 100), Bytes{0x81}, false));
    RecordingCanvas canvas(mono_caps());
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.bands.size(), 3u);

    const auto& b = canvas.bands[0];
    const char* pattern9[4] = {"1011", "0101", "1110", "0101"};
    int white_in_grey = 0;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(b.at(j, i), White);
            EXPECT_EQ(b.at(8 + j, i), Black);
            EXPECT_EQ(b.at(4 + j, i), pattern9[i][j] == '1' ? White : Black) << i << "," << j;
            white_in_grey += b.at(4 + j, i) == White;
        }
    }
    EXPECT_EQ(white_in_grey, 10);
    EXPECT_EQ(canvas.bands[1].at(0, 0), White);
    EXPECT_EQ(canvas.bands[1].at(1, 0), Black);
    EXPECT_EQ(canvas.bands[2].at(0, 0), Black);
    EXPECT_EQ(canvas.bands[2].at(1, 0), White);
    EXPECT_EQ(canvas.bands[2].at(7, 0), Black);
}

TEST_F(RenderPage, bands_stack_below_each_other_at_the_device_resolution)
{
    SpoolImage img;
    img.records.push_back(
        band_record(KindBand1, FlagContinued, band_header(50, 10, 50, 5, 2), Bytes(70, 0), true));
    img.records.push_back(
        band_record(KindBand1, 0, band_header(50, 10, 25, 0, 1), Bytes(70, 0), true));
    RecordingCanvas canvas(colour_caps());
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.bands.size(), 2u);
    const Rect a = canvas.bands[0].rect, b = canvas.bands[1].rect;
    EXPECT_EQ(a.left, 10);
    EXPECT_EQ(a.top, 4);
    EXPECT_EQ(a.width, 100);
    EXPECT_EQ(a.height, 20);
    EXPECT_EQ(b.top, 24 + 4) << "top counts from where the band before ended";
    EXPECT_EQ(b.width, 200);
    EXPECT_EQ(b.height, 40);
    ASSERT_EQ(canvas.fills.size(), 1u);
    EXPECT_EQ(canvas.fills[0].width, 850);
    EXPECT_EQ(canvas.fills[0].height, 1100);
}

TEST_F(RenderPage, sets_text_lines_at_six_per_inch_from_the_origin)
{
    SpoolImage img;
    img.records.push_back(text_record(FlagContinued, "AB\nCD"));
    img.records.push_back(text_record(FlagContinued, "X\n\nY"));
    img.records.push_back(text_record(0, "AB\r\n"));
    RecordingCanvas canvas(DeviceCaps{850, 1100, 300, 300, -1, 0, 0});
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.texts.size(), 5u);
    const std::int32_t step = 50; // 300 / 6
    EXPECT_EQ(canvas.texts[0].text, "AB");
    EXPECT_EQ(canvas.texts[0].y, 0);
    EXPECT_EQ(canvas.texts[1].text, "CD");
    EXPECT_EQ(canvas.texts[1].y, step);
    EXPECT_EQ(canvas.texts[2].text, "X");
    EXPECT_EQ(canvas.texts[2].y, 2 * step);
    EXPECT_EQ(canvas.texts[3].text, "Y");
    EXPECT_EQ(canvas.texts[3].y, 4 * step) << "an empty line still moves down";
    EXPECT_EQ(canvas.texts[4].y, 5 * step);
    for (const auto& f : canvas.fonts)
        EXPECT_EQ(f, std::make_pair(50, 30));
    EXPECT_EQ(canvas.font_releases, 3);
    EXPECT_EQ(render_.DisplayMode, DisplayText);
    EXPECT_EQ(render_.LastRecordKind, KindText);

    // On a device 60 rows tall only lines within two steps of it are set; the rest still move
    // down, so the band after them lands where it would.
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "line\n";
    img.records = {text_record(FlagContinued, many),
                   band_record(KindBand1, 0, band_header(8, 1, 300), Bytes{0xFF}, false)};
    RecordingCanvas short_canvas(DeviceCaps{850, 60, 300, 300, -1, 0, 0});
    ASSERT_EQ(printer_pass(short_canvas, build_spool(img)), 0);
    ASSERT_EQ(short_canvas.texts.size(), 4u) << "lines at 0, 50, 100 and 150 only";
    EXPECT_EQ(short_canvas.texts[3].y, 150);
    ASSERT_EQ(short_canvas.bands.size(), 1u);
    EXPECT_EQ(short_canvas.bands[0].rect.top, 40 * step);
}

TEST_F(RenderPage, a_line_longer_than_the_line_buffer_is_drawn_whole)
{
    SpoolImage img;
    img.records.push_back(text_record(0, std::string(1500, 'q') + "\nz"));
    RecordingCanvas canvas(colour_caps());
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.texts.size(), 3u);
    EXPECT_EQ(canvas.texts[0].text.size(), 1000u);
    EXPECT_EQ(canvas.texts[1].text.size(), 500u);
    EXPECT_EQ(canvas.texts[1].x, 7000) << "the rest goes on where the first part ended";
    EXPECT_EQ(canvas.texts[1].y, 0);
    EXPECT_EQ(canvas.texts[2].x, 0);
    EXPECT_EQ(canvas.texts[2].y, 16);
}

TEST_F(RenderPage, passes_over_records_the_one_before_consumed)
{
    // Record 0 is a plain band whose data runs over record 1; record 2 follows.
    SpoolImage img;
    img.records.push_back(
        band_record(KindBand8, FlagContinued, band_header(8, 1, 100), Bytes(8, 5), false));
    img.records.back().resize(img.records.back().size() - 4); // four pixel bytes short
    img.records.push_back(text_record(FlagContinued, "ab"));  // 4 bytes: eaten as pixels
    img.records.push_back(text_record(0, "seen"));
    RecordingCanvas canvas(colour_caps());
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.texts.size(), 1u);
    EXPECT_EQ(canvas.texts[0].text, "seen");
    EXPECT_EQ(canvas.bands.size(), 1u);
}

TEST_F(RenderPage, a_page_record_behind_the_read_position_fails_and_rewinds)
{
    // In the file: a text record, then a continued band. The list names the band first.
    SpoolImage img;
    img.records = {text_record(0, "two"), band_record(KindBand1, FlagContinued,
                                                      band_header(8, 1, 100), Bytes{0xFF}, false)};
    const std::uint32_t text_at = 78 + 16 + 2;
    const std::uint32_t band_at = text_at + 5;
    img.positions = {band_at, text_at};
    RecordingCanvas canvas(colour_caps());
    EXPECT_EQ(printer_pass(canvas, build_spool(img)), 0);
    EXPECT_EQ(canvas.bands.size(), 1u);
    EXPECT_TRUE(canvas.texts.empty()) << "record 1 lies before where record 0 ended: passed over";

    // Entering with the stream already past the band: the page cannot be drawn.
    RecordingCanvas second(colour_caps());
    render_ = RenderState{};
    EXPECT_EQ(printer_pass(second, build_spool(img), 0, band_at + 1), -1);
    EXPECT_EQ(stream_.tell(), band_at + 1) << "back at the entry position";
    EXPECT_TRUE(second.bands.empty());
    EXPECT_EQ(second.fills.size(), 1u) << "the target was already cleared";
    EXPECT_EQ(render_.DisplayMode, 0);
    EXPECT_EQ(render_.LastRecordKind, -1);
}

TEST_F(RenderPage, a_continued_last_record_ends_the_page)
{
    SpoolImage img;
    img.records = {text_record(FlagContinued, "a"), text_record(FlagContinued, "b")};
    RecordingCanvas canvas(colour_caps());
    EXPECT_EQ(printer_pass(canvas, build_spool(img)), 0);
    EXPECT_EQ(canvas.texts.size(), 2u);
}

TEST_F(RenderPage, unknown_kinds_set_only_the_last_record_kind)
{
    SpoolImage img;
    img.records = {Bytes{7, 0, 1, 2, 3}};
    RecordingCanvas canvas(colour_caps());
    render_.DisplayMode = 2;
    EXPECT_EQ(printer_pass(canvas, build_spool(img)), 0);
    EXPECT_EQ(render_.LastRecordKind, 7);
    EXPECT_EQ(render_.DisplayMode, 2);
    EXPECT_TRUE(canvas.bands.empty());
    EXPECT_TRUE(canvas.texts.empty());
}

TEST_F(RenderPage, a_band_without_memory_or_resolution)
{
    SpoolImage img;
    // A band too large for memory is placed white at its full size and the page goes on.
    img.records.push_back(Bytes{KindBand16, FlagContinued | FlagCompressed, 0xFF, 0xFF, 0xFF, 0xFF,
                                0, 0, 0, 0, 0, 100, 0, 100, 0, 0, 0, 0, 0xFE});
    // dpi 0 is left undrawn and does not move y.
    img.records.push_back(
        band_record(KindBand1, FlagContinued, band_header(8, 1, 0), Bytes{0xFF}, false));
    img.records.push_back(text_record(0, "after"));
    RecordingCanvas canvas(DeviceCaps{850, 70000, 100, 100, -1, 0, 0}); // "after" is on it
    canvas.refuse_surfaces = true; // as a real device refuses a 65535 x 65535 surface
    ASSERT_EQ(printer_pass(canvas, build_spool(img)), 0);
    ASSERT_EQ(canvas.texts.size(), 1u);
    EXPECT_EQ(canvas.texts[0].y, 65535) << "the oversized band moved y by its full height";
    EXPECT_TRUE(canvas.bands.empty());
}

TEST_F(RenderPage, the_window_pass_draws_into_a_new_cache_and_repaints_from_it)
{
    SpoolImage img;
    img.records.push_back(
        band_record(KindBand8, FlagContinued, band_header(300, 100, 30), Bytes(30000, 9), true));
    img.records.push_back(text_record(0, "hi"));
    RecordingCanvas canvas(DeviceCaps{900, 900, 96, 96, -1, 0, 0});
    EXPECT_EQ(repaint_from_cache(canvas, render_), -1) << "nothing to repaint from yet";
    ASSERT_EQ(window_pass(canvas, build_spool(img), 100), 0);
    ASSERT_TRUE(render_.PreviewCache);
    EXPECT_EQ(render_.PreviewCacheWidth, 900);
    EXPECT_EQ(render_.PreviewCacheHeight, 900);
    auto& cache = static_cast<test::RecordingPreview&>(*render_.PreviewCache);
    ASSERT_EQ(cache.bands.size(), 1u);
    EXPECT_EQ(cache.bands[0].width, 909);
    EXPECT_EQ(cache.bands[0].height, 303);
    ASSERT_EQ(cache.texts.size(), 1u);
    EXPECT_EQ(cache.texts[0].y, 303);
    EXPECT_EQ(cache.fonts[0], std::make_pair(17, 10)) << "text sized by the scale with fit";

    RecordingCanvas screen(DeviceCaps{1280, 1024, 96, 96, -1, 0, 0});
    EXPECT_EQ(render_page(screen, PagePlacement{}, nullptr, 0, 0, render_, {RenderPass::Repaint}),
              0);
    ASSERT_EQ(screen.previews_drawn.size(), 1u);
    EXPECT_EQ(screen.fills[0].width, 1280) << "the whole device is cleared first";

    // The next window pass replaces the cache even when it fails.
    img.positions = {0xFFFF0000u, std::nullopt};
    ASSERT_EQ(window_pass(canvas, build_spool(img), 100), -1);
    EXPECT_EQ(canvas.caches_made, 2);
    ASSERT_TRUE(render_.PreviewCache);
    EXPECT_TRUE(static_cast<test::RecordingPreview&>(*render_.PreviewCache).bands.empty())
        << "a new, white cache";
}

} // namespace
} // namespace qm
