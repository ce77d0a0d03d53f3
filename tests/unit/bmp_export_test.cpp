#include <gtest/gtest.h>

#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define fdopen _fdopen
#else
#include <unistd.h>
#endif

#include "heap_meter.h"
#include "render/bmp_export.h"
#include "render/null_canvas.h"
#include "render/render_page.h"
#include "spool/spool_writer.h"
#include "spool/system_palette.h"
#include "temp_file.h"

namespace qm {
namespace {

std::uint32_t le32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint32_t le16(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8);
}

// Writes the first page of a job to `f` as the menu command does: a window pass with a BMP
// stream.
void export_first_page_to(const std::vector<Bytes>& records, std::FILE* f)
{
    SpoolImage img;
    img.records = records;
    const Bytes file = build_spool(img);
    SpoolStream s = SpoolStream::from_memory(file.data(), file.size());
    NullCanvas screen(DeviceCaps{1280, 1024, 96, 96, -1, 0, 0});
    RenderState state;
    render_page(screen, PagePlacement{0, 0, 77, 77, 1280, 1024}, &s, 0,
                static_cast<std::int32_t>(records.size()), state, {RenderPass::InWindow, f});
}

Bytes export_first_page(const std::vector<Bytes>& records)
{
    test::TempFile out("page-bmp");
    std::FILE* f = std::fopen(out.path(), "wb");
    EXPECT_TRUE(f);
    export_first_page_to(records, f);
    std::fclose(f);
    return test::read_all(out.path());
}

void expect_header(const Bytes& b, std::uint32_t file_size, std::uint32_t pixels_at,
                   std::uint32_t w, std::uint32_t h, std::uint32_t bpp, std::uint32_t image)
{
    ASSERT_EQ(b.size(), file_size);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), file_size);
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), pixels_at);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), w);
    EXPECT_EQ(le32(b, 22), h);
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), bpp);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), image);
    EXPECT_EQ(le32(b, 38), 2667u);
    EXPECT_EQ(le32(b, 42), 2667u);
    EXPECT_EQ(le32(b, 46), 0u);
    EXPECT_EQ(le32(b, 50), 0u);
}

TEST(BmpExport, one_bit_band_with_padding_from_the_provisional_fill)
{
    // Width 9, height 2: stride 4, image 8, two palette entries.
    const Bytes b = export_first_page(
        {band_record(KindBand1, 0, band_header(9, 2, 72), Bytes{0xC1, 0x80, 0x3E, 0x00}, true)});
    expect_header(b, 70, 62, 9, 2, 1, 8);
    EXPECT_EQ((Bytes(b.begin() + 54, b.begin() + 62)), (Bytes{0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0}));
    // Bottom row first; bytes 2 and 3 of each row keep the fill (0).
    EXPECT_EQ((Bytes(b.begin() + 62, b.end())), (Bytes{0x3E, 0x00, 0, 0, 0xC1, 0x80, 0, 0}));
}

TEST(BmpExport, row_padding_keeps_the_fill_value_of_its_offset)
{
    // Width 9, height 8: stride 4, image 32. Offsets 0-15 fill with 0, 16-31 with 1.
    const Bytes b = export_first_page(
        {band_record(KindBand1, 0, band_header(9, 8, 72), Bytes(16, 0xFF), false)});
    ASSERT_EQ(b.size(), 62u + 32);
    for (int row = 0; row < 8; ++row) {
        const std::uint8_t fill = row * 4 >= 16 ? 1 : 0;
        EXPECT_EQ(b[62 + row * 4], 0xFF);
        EXPECT_EQ(b[62 + row * 4 + 2], fill) << "row at offset " << row * 4;
        EXPECT_EQ(b[62 + row * 4 + 3], fill);
    }
}

TEST(BmpExport, palette_band_carries_the_system_palette)
{
    const Bytes b = export_first_page(
        {band_record(KindBand8, 0, band_header(5, 1, 72), Bytes{0, 5, 107, 215, 255}, false)});
    const std::uint32_t at = 54 + 4 * 256;
    expect_header(b, at + 8, at, 5, 1, 8, 8);
    EXPECT_EQ(0, std::memcmp(b.data() + 54, SystemPalette.data(), 1024));
    EXPECT_EQ((Bytes{b[54 + 4 * 107], b[55 + 4 * 107], b[56 + 4 * 107], b[57 + 4 * 107]}),
              (Bytes{0x99, 0x00, 0x00, 0x00}))
        << "entry 107 is red 00, green 00, blue 99, stored blue first";
    EXPECT_EQ((Bytes(b.begin() + at, b.end())), (Bytes{0, 5, 107, 215, 255, 0, 0, 0}));
}

TEST(BmpExport, colour_band_is_converted_to_five_five_five)
{
    // White, red, green on the top row; black, blue, a mid value on the bottom row.
    const Bytes rgb565 = {0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07, 0x00, 0x00, 0x1F, 0x00, 0x55, 0xAA};
    const Bytes b =
        export_first_page({band_record(KindBand16, 0, band_header(3, 2, 72), rgb565, true)});
    expect_header(b, 70, 54, 3, 2, 16, 16);
    const Bytes bottom(b.begin() + 54, b.begin() + 62);
    const Bytes top(b.begin() + 62, b.end());
    // 0xAA55: red 10101, green 010010 -> 01001, blue 10101.
    EXPECT_EQ(bottom, (Bytes{0x00, 0x00, 0x1F, 0x00, 0x35, 0x55, 0, 0}));
    EXPECT_EQ(top, (Bytes{0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0, 0}));
}

TEST(BmpExport, a_text_only_first_page_writes_nothing)
{
    EXPECT_TRUE(export_first_page({text_record(0, "hello")}).empty());
}

TEST(BmpExport, a_band_without_memory_keeps_the_fill)
{
    // Too large to decode (and to write): nothing at all rather than a gigabyte file.
    Bytes huge = {KindBand8, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 72, 0, 72, 0, 0, 0, 0};
    EXPECT_TRUE(export_first_page({huge}).empty());
}

TEST(BmpExport, only_the_first_page_is_saved_and_a_second_band_stacks_below_the_first)
{
    // Page 1: two 8-bit bands at 72 dpi, the second 1 row lower and 2 pixels in. Page 2 is not
    // part of the picture.
    const Bytes b = export_first_page({
        band_record(KindBand8, FlagContinued, band_header(3, 1, 72), Bytes{10, 11, 12}, false),
        band_record(KindBand8, 0, band_header(2, 2, 72, 2, 1), Bytes{20, 21, 22, 23}, true),
        band_record(KindBand8, 0, band_header(9, 9, 72), Bytes(81, 99), false),
    });
    const std::uint32_t at = 54 + 1024;
    // 4 wide (2 + 2), 1 + 1 + 2 = 4 high; stride 4.
    expect_header(b, at + 16, at, 4, 4, 8, 16);
    const Bytes rows(b.begin() + at, b.end());
    EXPECT_EQ(rows, (Bytes{0, 0, 22, 23,     //
                           0, 0, 20, 21,     //
                           0, 0, 0, 0,       // the gap: white (palette entry 0)
                           10, 11, 12, 0})); // the first band
}

TEST(BmpExport, bands_of_different_kinds_save_the_first_band_alone)
{
    const Bytes b = export_first_page({
        band_record(KindBand1, FlagContinued, band_header(9, 2, 72), Bytes{0xC1, 0x80, 0x3E, 0x00},
                    true),
        band_record(KindBand8, 0, band_header(5, 1, 72), Bytes(5, 1), false),
    });
    expect_header(b, 70, 62, 9, 2, 1, 8);
}

TEST(BmpExport, stacks_one_bit_bands_at_any_bit_offset)
{
    const Bytes b = export_first_page({
        band_record(KindBand1, FlagContinued, band_header(3, 1, 72), Bytes{0xE0}, false),
        band_record(KindBand1, 0, band_header(3, 1, 72, 6, 0), Bytes{0xA0}, false),
    });
    // 9 wide, 2 high, stride 4: the second band's pixels at columns 6 and 8.
    expect_header(b, 62 + 8, 62, 9, 2, 1, 8);
    EXPECT_EQ((Bytes(b.begin() + 62, b.begin() + 64)), (Bytes{0x02, 0x80}));
    EXPECT_EQ((Bytes(b.begin() + 66, b.begin() + 68)), (Bytes{0xE0, 0x00}));
}

TEST(BmpExport, a_stack_taller_than_a_band_can_be_saves_the_first_band_alone)
{
    // A hundred bands claiming 65535 rows each, zero or one pixel wide: millions of rows of a
    // picture nobody drew.
    for (std::uint16_t width : {0, 1}) {
        const Bytes band = band_record(KindBand1, FlagContinued, band_header(width, 65535, 72),
                                       Bytes(width * 65535u, 0x80), true);
        const Bytes b = export_first_page(std::vector<Bytes>(100, band));
        const std::uint32_t image = width * 4u * 65535u;
        expect_header(b, 62 + image, 62, width, 65535, 1, image);
    }
}

TEST(BmpExport, holds_no_more_than_one_picture_of_pixels_whatever_the_bands)
{
    // A 1 MB first band, then bands of another kind that cannot stack with it: only the first
    // is saved, and no more than it and the band being read are ever held.
    std::vector<Bytes> records = {band_record(KindBand8, FlagContinued, band_header(1000, 1000, 72),
                                              Bytes(1000000, 7), true)};
    for (int i = 0; i < 8; ++i)
        records.push_back(band_record(KindBand16, FlagContinued, band_header(1000, 500, 72),
                                      Bytes(1000000, 0x55), true));
    test::TempFile out("bounded-bmp");
    std::FILE* f = std::fopen(out.path(), "wb");
    ASSERT_TRUE(f);
    test::HeapMeter meter;
    export_first_page_to(records, f);
    const std::size_t peak = meter.peak();
    std::fclose(f);
    EXPECT_LT(peak, 2500000u) << "the first band, one more, and a few rows";
    EXPECT_EQ(test::read_all(out.path()).size(), 54u + 1024 + 1000000);
}

TEST(BmpExport, a_pipe_gets_the_same_bytes_as_a_file)
{
    const std::vector<Bytes> page = {
        band_record(KindBand8, FlagContinued, band_header(3, 1, 72), Bytes{10, 11, 12}, false),
        band_record(KindBand8, 0, band_header(2, 2, 72, 2, 1), Bytes{20, 21, 22, 23}, true)};
    int fds[2];
#ifdef _WIN32
    ASSERT_EQ(_pipe(fds, 65536, _O_BINARY), 0);
#else
    ASSERT_EQ(pipe(fds), 0);
#endif
    std::FILE* w = fdopen(fds[1], "wb");
    std::FILE* r = fdopen(fds[0], "rb");
    ASSERT_TRUE(w && r);
    export_first_page_to(page, w); // small enough for the pipe's buffer
    EXPECT_EQ(std::ferror(w), 0);
    std::fclose(w);
    Bytes piped(4096);
    piped.resize(std::fread(piped.data(), 1, piped.size(), r));
    std::fclose(r);
    EXPECT_EQ(piped, export_first_page(page));
}

} // namespace
} // namespace qm
