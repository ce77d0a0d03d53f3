#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "spool/spool_limits.h"
#include "spool/spool_record.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

namespace qm {
namespace {

constexpr std::uint8_t Canary = 0xEE;

// Decodes `data` as a band's pixel data and reports the image and where the stream stopped.
struct Decoded {
    Bytes image;
    Bytes spare; // the buffer's bytes behind the image
    std::int64_t stopped_at = 0;
};

Decoded decode(const Bytes& data, int kind, std::uint16_t width, std::uint16_t height,
               bool compressed)
{
    BandHeader h;
    h.width = width;
    h.height = height;
    const std::uint64_t size = band_image_size(kind, h);
    Bytes buffer(size + BandSpareBytes, Canary);
    SpoolStream s = SpoolStream::from_memory(data.data(), data.size());
    decode_band(s, compressed ? FlagCompressed : 0, kind, h, buffer.data());
    Decoded d;
    d.image.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
    d.spare.assign(buffer.begin() + static_cast<std::ptrdiff_t>(size), buffer.end());
    d.stopped_at = s.tell();
    return d;
}

TEST(RowBytes, follows_each_pixel_format)
{
    EXPECT_EQ(row_bytes(KindBand1, 8), 1);
    EXPECT_EQ(row_bytes(KindBand1, 9), 2);
    EXPECT_EQ(row_bytes(KindBand1, 1), 1);
    EXPECT_EQ(row_bytes(KindBand1, 0), 0);
    EXPECT_EQ(row_bytes(KindBand8, 5), 5);
    EXPECT_EQ(row_bytes(KindBand16, 5), 10);
    EXPECT_EQ(row_bytes(KindBand16, 65535), 131070);
    BandHeader h;
    h.width = 65535;
    h.height = 65535;
    EXPECT_EQ(band_image_size(KindBand16, h), 131070ull * 65535ull) << "no 32-bit overflow";
}

TEST(BandDecode, skips_code_zero_then_fills_and_copies_from_above)
{
    // 00: no code. 04: fill of 2 with AA. 07: copy of 2 from the row above.
    const Decoded d = decode({0x00, 0x04, 0xAA, 0x07}, KindBand8, 2, 2, true);
    EXPECT_EQ(d.image, (Bytes{0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(d.stopped_at, 4);
}

TEST(BandDecode, the_longest_codes_run_64_bytes_and_the_shortest_one)
{
    Bytes data = {0xFC, 0x11, 0xFD};
    for (int i = 0; i < 64; ++i)
        data.push_back(static_cast<std::uint8_t>(i));
    data.insert(data.end(), {0xFE, 0xFF, 0x01, 0x77, 0x02});
    const Decoded d = decode(data, KindBand8, 64, 4, true);
    ASSERT_EQ(d.image.size(), 256u);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(d.image[i], 0x11);         // fill
        EXPECT_EQ(d.image[64 + i], i);       // literal
        EXPECT_EQ(d.image[128 + i], 0);      // zero
        EXPECT_EQ(d.image[192 + i], 0) << i; // copy of the zero row above
    }
    EXPECT_EQ(d.stopped_at, 3 + 64 + 2) << "the image was full: 0x01 0x77 0x02 stay unread";

    const Decoded e = decode({0x01, 0x77, 0x02}, KindBand8, 2, 1, true);
    EXPECT_EQ(e.image, (Bytes{0x77, 0x00}));
}

TEST(BandDecode, runs_cross_row_ends_and_long_copies_repeat_their_own_output)
{
    // Rows of 3. A literal of 4 ends row 0 and begins row 1; a copy of 8 then repeats the row
    // above and, past one row, the bytes it has just written.
    Bytes data;
    const std::uint8_t lit[] = {1, 2, 3, 4};
    append_run(data, RunOp::Literal, 4, lit);
    append_run(data, RunOp::CopyAbove, 8);
    const Decoded d = decode(data, KindBand8, 3, 4, true);
    EXPECT_EQ(d.image, (Bytes{1, 2, 3, 4, 2, 3, 4, 2, 3, 4, 2, 3}));
}

TEST(BandDecode, copy_from_above_in_the_first_row_gives_zeros)
{
    Bytes data;
    const std::uint8_t lit[] = {9};
    append_run(data, RunOp::Literal, 1, lit);
    append_run(data, RunOp::CopyAbove, 5); // two bytes without a row above, then from row 0
    const Decoded d = decode(data, KindBand8, 3, 2, true);
    EXPECT_EQ(d.image, (Bytes{9, 0, 0, 9, 0, 0}));

    // Copies that start in the first row, wholly inside it or reaching past the next row: the
    // decoder once formed pointers before its buffer for these (found by the fuzzer under the
    // undefined-behaviour sanitizer; the bytes were right).
    Bytes within;
    append_run(within, RunOp::CopyAbove, 2);
    append_run(within, RunOp::Literal, 1, lit);
    append_run(within, RunOp::CopyAbove, 1);
    append_run(within, RunOp::CopyAbove, 4);
    const Decoded w = decode(within, KindBand8, 5, 2, true);
    EXPECT_EQ(w.image, (Bytes{0, 0, 9, 0, 0, 0, 0, 9, 0, 0}));

    Bytes beyond;
    append_run(beyond, RunOp::Literal, 1, lit);
    append_run(beyond, RunOp::CopyAbove, 8);
    const Decoded b = decode(beyond, KindBand8, 3, 3, true);
    EXPECT_EQ(b.image, (Bytes{9, 0, 0, 9, 0, 0, 9, 0, 0}));
}

TEST(BandDecode, the_last_run_overshoots_into_the_spare_bytes_only)
{
    const Decoded d = decode({0xFC, 0x55, 0x99}, KindBand1, 9, 1, true);
    EXPECT_EQ(d.image, (Bytes{0x55, 0x55}));
    for (int i = 0; i < 62; ++i)
        EXPECT_EQ(d.spare[i], 0x55);
    for (std::size_t i = 62; i < d.spare.size(); ++i)
        ASSERT_EQ(d.spare[i], Canary) << "past the run's 64 bytes nothing is written";
    EXPECT_EQ(d.stopped_at, 2) << "the byte after the run is not read";
}

TEST(BandDecode, reads_on_past_its_record_and_stops_where_the_image_is_full)
{
    // A band's data may run into the next record's bytes: the decoder never looks at lengths.
    const Decoded d = decode({0x00, 0x00, 0x05, 0x07, 0x08, 0xAB, 0xCD}, KindBand16, 1, 1, true);
    EXPECT_EQ(d.image, (Bytes{7, 8}));
    EXPECT_EQ(d.stopped_at, 5);
}

TEST(BandDecode, plain_data_reads_exactly_the_image_size)
{
    const Decoded d = decode({1, 2, 3, 4, 5, 6, 7}, KindBand16, 3, 1, false);
    EXPECT_EQ(d.image, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(d.stopped_at, 6);
}

TEST(BandDecode, an_empty_image_reads_nothing)
{
    for (bool compressed : {false, true}) {
        EXPECT_EQ(decode({0xFC, 1}, KindBand8, 0, 5, compressed).stopped_at, 0);
        EXPECT_EQ(decode({0xFC, 1}, KindBand16, 5, 0, compressed).stopped_at, 0);
    }
}

TEST(BandDecode, a_file_that_ends_early_leaves_zeros)
{
    // Run-coded: the literal is two bytes short, then the next code meets the end.
    const Decoded d = decode({0x0D, 1, 2}, KindBand8, 4, 2, true);
    EXPECT_EQ(d.image, (Bytes{1, 2, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.stopped_at, 3);
    // A fill whose data byte is missing.
    EXPECT_EQ(decode({0x0C}, KindBand8, 4, 1, true).image, (Bytes{0, 0, 0, 0}));
    // Plain: as far as the file goes.
    const Decoded p = decode({5, 6, 7}, KindBand8, 5, 1, false);
    EXPECT_EQ(p.image, (Bytes{5, 6, 7, 0, 0}));
    EXPECT_EQ(p.stopped_at, 3);
}

// The run code straight from its definition, one byte at a time, with the decoder's choices for
// a file that ends early (missing bytes are 0) and for the first row (0 above it).
Bytes reference_decode(const Bytes& data, std::size_t size, std::size_t stride,
                       std::size_t& consumed)
{
    Bytes out(size + 64, 0);
    std::size_t at = 0, k = 0;
    auto next = [&] { return k < data.size() ? data[k++] : std::uint8_t{0}; };
    while (at < size && k < data.size()) {
        const unsigned x = data[k++];
        if (x == 0)
            continue;
        const std::size_t n = (x >> 2) + 1;
        const std::uint8_t fill = (x & 3) == 0 ? next() : 0;
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t q = at + j;
            const unsigned op = x & 3; // fill, literal, zero, copy from the row above
            out[q] = op == 0       ? fill
                     : op == 1     ? next()
                     : op == 2     ? std::uint8_t{0}
                     : q >= stride ? out[q - stride]
                                   : std::uint8_t{0};
        }
        at += n;
    }
    consumed = k;
    out.resize(size);
    return out;
}

// Long random code streams take the decoder's buffered paths (a whole code sure to be buffered)
// as well as its code-by-code path near the end of the data and at the file stream's 64 KiB
// buffer boundary, which the padding puts inside the codes.
TEST(BandDecode, long_streams_match_the_code_definition_in_memory_and_across_file_buffers)
{
    std::mt19937 rng(7);
    for (std::size_t stride : {1u, 3u, 63u, 64u, 65u, 200u, 3400u}) {
        for (int trial = 0; trial < 4; ++trial) {
            const std::size_t rows = 1 + rng() % std::min<std::size_t>(300, 200000 / stride);
            const std::size_t size = stride * rows;
            Bytes codes;
            while (codes.size() < size) {
                const unsigned x = rng() % 256;
                codes.push_back(static_cast<std::uint8_t>(rng() % 8 == 0 ? 0 : x));
                const std::size_t data = (x & 3) == 0 ? 1 : (x & 3) == 1 ? (x >> 2) + 1 : 0;
                for (std::size_t j = 0; j < data; ++j)
                    codes.push_back(static_cast<std::uint8_t>(rng()));
            }
            if (trial == 3)
                codes.resize(codes.size() / 3); // the file ends before the image is full

            std::size_t consumed = 0;
            const Bytes expected = reference_decode(codes, size, stride, consumed);
            const std::size_t pad = 65536 - 30 - trial;
            Bytes file_bytes(pad, 0x5A);
            file_bytes.insert(file_bytes.end(), codes.begin(), codes.end());
            test::TempFile file("decode-paths", file_bytes);

            SpoolStream m = SpoolStream::from_memory(codes.data(), codes.size());
            SpoolStream f = SpoolStream::open_file(file.path());
            ASSERT_TRUE(f.is_open());
            f.seek(static_cast<std::int64_t>(pad));
            for (SpoolStream* s : {&m, &f}) {
                const std::int64_t start = s->tell();
                BandHeader h;
                h.width = static_cast<std::uint16_t>(stride);
                h.height = static_cast<std::uint16_t>(size / stride);
                Bytes buffer(size + BandSpareBytes, Canary);
                decode_band(*s, FlagCompressed, KindBand8, h, buffer.data());
                const char* which = s == &m ? "memory" : "file";
                ASSERT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()))
                    << which << " stream, stride " << stride << ", trial " << trial;
                EXPECT_EQ(s->tell() - start, static_cast<std::int64_t>(consumed)) << which;
                for (std::size_t k = size + 63; k < buffer.size(); ++k)
                    ASSERT_EQ(buffer[k], Canary) << which << ": wrote past the last run";
            }
        }
    }
}

TEST(BandBuffer, refuses_images_past_the_cap_like_a_failed_allocation)
{
    EXPECT_TRUE(allocate_band_buffer(0));
    const BandBuffer small = allocate_band_buffer(1000);
    ASSERT_TRUE(small);
    EXPECT_EQ(small.image_size, 1000u);
    EXPECT_FALSE(allocate_band_buffer(MaxBandImageBytes + 1));
    EXPECT_FALSE(allocate_band_buffer(131070ull * 65535ull));
}

TEST(BandHeaderRead, reads_six_big_endian_fields_and_skips_four_bytes)
{
    const Bytes b = {0, 10, 0, 20, 1, 0, 0, 3, 0, 150, 0x01, 0x2C, 9, 9, 9, 9, 0x42};
    SpoolStream s = SpoolStream::from_memory(b.data(), b.size());
    const BandHeader h = read_band_header(s);
    EXPECT_EQ(h.width, 10);
    EXPECT_EQ(h.height, 20);
    EXPECT_EQ(h.left, 256);
    EXPECT_EQ(h.top, 3);
    EXPECT_EQ(h.dpi_x, 150);
    EXPECT_EQ(h.dpi_y, 300);
    EXPECT_EQ(s.get(), 0x42);
}

} // namespace
} // namespace qm
