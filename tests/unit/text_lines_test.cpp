#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spool/spool_record.h"

namespace qm {
namespace {

// Each handed-out piece as text; a piece that does not end its line is marked with a '+'.
std::vector<std::string> lines_of(const std::string& text, std::int64_t length = -1)
{
    SpoolStream s = SpoolStream::from_memory(reinterpret_cast<const std::uint8_t*>(text.data()),
                                             text.size());
    std::vector<std::string> out;
    read_text_lines(s, length < 0 ? static_cast<std::int64_t>(text.size()) : length,
                    [&](const char* p, std::size_t n, bool line_end) {
                        out.emplace_back(std::string(p, n) + (line_end ? "" : "+"));
                    });
    return out;
}

using Lines = std::vector<std::string>;

TEST(TextLines, line_feed_and_nul_end_lines_and_the_last_byte_ends_the_last)
{
    EXPECT_EQ(lines_of("AB\nCD"), (Lines{"AB", "CD"}));
    EXPECT_EQ(lines_of(std::string("AB\0CD", 5)), (Lines{"AB", "CD"}));
    EXPECT_EQ(lines_of(std::string("AB\0", 3)), (Lines{"AB"}));
    EXPECT_EQ(lines_of("AB\n"), (Lines{"AB"})) << "a final line feed ends the line once";
    EXPECT_EQ(lines_of("X\n\nY"), (Lines{"X", "", "Y"}));
    EXPECT_EQ(lines_of("\n"), (Lines{""}));
}

TEST(TextLines, carriage_return_and_0x0F_are_dropped_and_end_nothing)
{
    EXPECT_EQ(lines_of("AB\r\n"), (Lines{"AB"}));
    EXPECT_EQ(lines_of("A\rB\x0f" "C"), (Lines{"ABC"}));
    EXPECT_EQ(lines_of("AB\r"), (Lines{})) << "a last byte 0x0D ends no line";
    EXPECT_EQ(lines_of("AB\n\x0f"), (Lines{"AB"}));
    EXPECT_EQ(lines_of("\r\x0f"), (Lines{}));
}

TEST(TextLines, reads_only_the_text_length_and_nothing_when_it_is_not_positive)
{
    EXPECT_EQ(lines_of("ABCDEF", 3), (Lines{"ABC"}));
    EXPECT_EQ(lines_of("ABC", 0), (Lines{}));
}

TEST(TextLines, a_file_that_ends_inside_the_text_ends_the_text)
{
    EXPECT_EQ(lines_of("AB\nCD", 1000), (Lines{"AB", "CD"}));
    EXPECT_EQ(lines_of("AB\n", 1000), (Lines{"AB"}));
}

TEST(TextLines, a_line_longer_than_the_buffer_comes_whole_in_pieces)
{
    const std::string longline(2500, 'x');
    const Lines got = lines_of(longline + "\nend");
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], std::string(1000, 'x') + "+");
    EXPECT_EQ(got[1], std::string(1000, 'x') + "+");
    EXPECT_EQ(got[2], std::string(500, 'x'));
    EXPECT_EQ(got[3], "end");
    // Exactly the buffer's size is one piece.
    EXPECT_EQ(lines_of(std::string(1000, 'y')), (Lines{std::string(1000, 'y')}));
    // Cut short by the end of the file after a full piece: the line still ends.
    EXPECT_EQ(lines_of(std::string(1000, 'z'), 5000), (Lines{std::string(1000, 'z')}));
}

} // namespace
} // namespace qm
