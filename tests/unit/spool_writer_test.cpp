#include <gtest/gtest.h>

#include <random>

#include "spool/spool_record.h"
#include "spool/spool_writer.h"

namespace qm {
namespace {

Bytes decode_record_pixels(const Bytes& record, int kind, const BandHeader& h)
{
    SpoolStream s = SpoolStream::from_memory(record.data(), record.size());
    s.seek(18);
    Bytes buffer(band_image_size(kind, h) + BandSpareBytes);
    decode_band(s, record[1], kind, h, buffer.data());
    EXPECT_EQ(s.tell(), static_cast<std::int64_t>(record.size())) << "consumed the whole record";
    buffer.resize(band_image_size(kind, h));
    return buffer;
}

// Images that exercise each operation: blank rows, flat runs, repeated rows and noise.
Bytes mixed_image(std::size_t stride, std::size_t rows, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes img(stride * rows);
    for (std::size_t r = 0; r < rows; ++r) {
        std::uint8_t* row = img.data() + r * stride;
        switch (r % 4) {
        case 0:
            break; // zeros
        case 1:
            for (std::size_t c = 0; c < stride; ++c)
                row[c] = static_cast<std::uint8_t>(c < stride / 2 ? 0x3C : rng());
            break;
        case 2:
            std::copy(row - stride, row, row); // same as above
            if (stride > 3)
                row[stride / 3] ^= 0xFF;
            break;
        default:
            for (std::size_t c = 0; c < stride; ++c)
                row[c] = static_cast<std::uint8_t>(rng() % 3);
        }
    }
    return img;
}

TEST(RunEncoder, round_trips_every_kind_and_width_through_the_decoder)
{
    for (int kind : {KindBand1, KindBand8, KindBand16}) {
        for (std::uint16_t width : {1, 7, 9, 63, 64, 65, 200}) {
            BandHeader h;
            h.width = width;
            h.height = 13;
            const std::size_t stride = static_cast<std::size_t>(row_bytes(kind, width));
            const Bytes img = mixed_image(stride, h.height, width * 31u + kind);
            for (bool compress : {false, true}) {
                const Bytes rec = band_record(kind, 0, h, img, compress);
                EXPECT_EQ(rec[1] & FlagCompressed, compress ? FlagCompressed : 0);
                EXPECT_EQ(decode_record_pixels(rec, kind, h), img)
                    << "kind " << kind << " width " << width << " compressed " << compress;
            }
        }
    }
}

TEST(RunEncoder, uses_all_four_operations_and_compresses_flat_images)
{
    const Bytes img = mixed_image(100, 8, 7);
    const Bytes coded = run_encode(img.data(), img.size(), 100);
    bool seen[4] = {};
    for (std::size_t i = 0; i < coded.size();) {
        const std::uint8_t x = coded[i];
        const std::size_t n = (x >> 2) + 1u;
        seen[x & 3] = true;
        i += 1 + ((x & 3) == 0 ? 1 : (x & 3) == 1 ? n : 0);
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);
    const Bytes blank(100 * 100, 0);
    EXPECT_LE(run_encode(blank.data(), blank.size(), 100).size(), blank.size() / 64 + 1);
}

TEST(SpoolBuilder, lays_out_header_list_and_records)
{
    SpoolImage img;
    img.records = {text_record(FlagContinued, "hi"), text_record(0, "there")};
    img.positions = {std::nullopt, 0x01020304u};
    img.trailer = {0xAB};
    const Bytes f = build_spool(img);
    ASSERT_EQ(f.size(), 78u + 16 + 2 + 4 + 7 + 1);
    EXPECT_EQ(f[76], 0);
    EXPECT_EQ(f[77], 2);
    EXPECT_EQ((Bytes{f[78], f[79], f[80], f[81]}), (Bytes{0, 0, 0, 96}));
    EXPECT_EQ((Bytes{f[86], f[87], f[88], f[89]}), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ((Bytes{f[96], f[97], f[98]}), (Bytes{1, FlagContinued, 'h'}));
    EXPECT_EQ(f.back(), 0xAB);
}

} // namespace
} // namespace qm
