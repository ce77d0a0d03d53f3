#include <gtest/gtest.h>

#include "spool/spool_container.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

namespace qm {
namespace {

SpoolImage three_records()
{
    SpoolImage img;
    img.records = {text_record(0, "first"), text_record(0, "second!"), text_record(0, "3")};
    return img;
}

TEST(SpoolContainer, reads_big_endian_fields)
{
    const Bytes b = {0x12, 0x34, 0x56, 0x78, 0xFE, 0xDC};
    SpoolStream s = SpoolStream::from_memory(b.data(), b.size());
    EXPECT_EQ(read_be32(s), 0x12345678u);
    EXPECT_EQ(read_be16(s), 0xFEDC);
    EXPECT_EQ(read_be16(s), 0) << "bytes past the end of the file read as 0";
}

TEST(SpoolContainer, header_reads_the_count_signed_and_stops_at_78)
{
    SpoolImage img = three_records();
    Bytes file = build_spool(img);
    SpoolStream s = SpoolStream::from_memory(file.data(), file.size());
    std::int32_t count = -5;
    std::uint32_t type = 0, creator = 0;
    read_spool_header(s, &count, &type, &creator);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(type, 0x53706F6Cu); // "Spol"
    EXPECT_EQ(creator, 0x516D726Bu); // "Qmrk"
    EXPECT_EQ(s.tell(), 78);

    s.seek(3);
    read_spool_header(s, nullptr, &type, nullptr);
    EXPECT_EQ(s.tell(), 64) << "only the type read: the stream stands behind it";

    for (std::uint16_t raw : {std::uint16_t{0x8000}, std::uint16_t{0xFFFF}}) {
        img.count = raw;
        file = build_spool(img);
        SpoolStream t = SpoolStream::from_memory(file.data(), file.size());
        read_spool_header(t, &count, nullptr, nullptr);
        EXPECT_EQ(count, static_cast<std::int16_t>(raw));
        EXPECT_LT(count, 0);
    }
}

TEST(SpoolContainer, a_file_cut_inside_its_header_has_no_records)
{
    Bytes file = build_spool(three_records());
    file.resize(76);
    SpoolStream s = SpoolStream::from_memory(file.data(), file.size());
    std::int32_t count = 99;
    read_spool_header(s, &count, nullptr, nullptr);
    EXPECT_EQ(count, 0);
}

TEST(SpoolContainer, record_extents_come_from_the_next_position_or_the_file_end)
{
    const SpoolImage img = three_records();
    const Bytes file = build_spool(img);
    SpoolStream s = SpoolStream::from_memory(file.data(), file.size());
    const std::uint32_t first = 78 + 3 * 8 + 2;
    std::uint32_t pos = 0;
    std::int32_t len = 0;
    get_record_extent(s, 0, &pos, &len);
    EXPECT_EQ(pos, first);
    EXPECT_EQ(len, 7);
    get_record_extent(s, 1, &pos, &len);
    EXPECT_EQ(pos, first + 7);
    EXPECT_EQ(len, 9);
    get_record_extent(s, 2, &pos, &len);
    EXPECT_EQ(len, 3) << "the last record runs to the end of the file";
    get_record_extent(s, 1, &pos, nullptr);
    EXPECT_EQ(pos, first + 7);
}

TEST(SpoolContainer, lengths_go_negative_and_zero_as_positions_say)
{
    SpoolImage img = three_records();
    const std::uint32_t first = 78 + 3 * 8 + 2;
    img.positions = {first + 10, first, std::nullopt};
    Bytes file = build_spool(img);
    SpoolStream s = SpoolStream::from_memory(file.data(), file.size());
    std::int32_t len = 0;
    get_record_extent(s, 0, nullptr, &len);
    EXPECT_EQ(len, -10) << "the successor lies before the record";

    img.positions = {std::nullopt, std::nullopt, static_cast<std::uint32_t>(file.size())};
    file = build_spool(img);
    SpoolStream t = SpoolStream::from_memory(file.data(), file.size());
    get_record_extent(t, 2, nullptr, &len);
    EXPECT_EQ(len, 0) << "a last record that starts at the end of the file";

    img.positions = {std::nullopt, std::nullopt, 0xFFFFFFF0u};
    file = build_spool(img);
    SpoolStream u = SpoolStream::from_memory(file.data(), file.size());
    get_record_extent(u, 2, nullptr, &len);
    EXPECT_EQ(len, static_cast<std::int32_t>(file.size()) + 16)
        << "a position beyond the end: the signed 32-bit difference";
    get_record_extent(u, 1, nullptr, &len);
    EXPECT_LT(len, 0);
}

TEST(SpoolContainer, a_count_larger_than_the_list_reads_on_into_the_records)
{
    SpoolImage img = three_records();
    img.count = 5;
    const Bytes file = build_spool(img);
    SpoolStream s = SpoolStream::from_memory(file.data(), file.size());
    std::uint32_t pos = 0;
    get_record_extent(s, 3, &pos, nullptr);
    // Entry 3 overlaps the pad bytes and the first record's bytes: 00 00 01 00.
    EXPECT_EQ(pos, 0x00000100u);
}

TEST(SpoolContainer, extent_lookups_restore_the_stream_position)
{
    const Bytes file = build_spool(three_records());
    test::TempFile path("extent", file);
    SpoolStream f = SpoolStream::open_file(path.path());
    SpoolStream m = SpoolStream::from_memory(file.data(), file.size());
    for (SpoolStream* s : {&f, &m}) {
        for (std::int64_t at : {std::int64_t{0}, std::int64_t{113}, std::int64_t{5000}}) {
            s->seek(at);
            std::uint32_t pos;
            std::int32_t len;
            get_record_extent(*s, 2, &pos, &len); // length from the end of the file
            EXPECT_EQ(s->tell(), at);
            get_record_extent(*s, 0, &pos, &len);
            EXPECT_EQ(s->tell(), at);
            get_record_extent(*s, 1, &pos, nullptr);
            EXPECT_EQ(s->tell(), at);
        }
    }
}

} // namespace
} // namespace qm
