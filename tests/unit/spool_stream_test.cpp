#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "spool/spool_stream.h"
#include "temp_file.h"

namespace qm {
namespace {

Bytes counting_bytes(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    return b;
}

// The file stream buffers 64 KiB at a time; these positions cross and straddle that window.
TEST(SpoolStream, file_and_memory_streams_agree_on_every_read_and_position)
{
    const Bytes data = counting_bytes(200000);
    test::TempFile file("stream", data);
    SpoolStream f = SpoolStream::open_file(file.path());
    SpoolStream m = SpoolStream::from_memory(data.data(), data.size());
    ASSERT_TRUE(f.is_open());
    EXPECT_EQ(f.size(), 200000);
    EXPECT_EQ(m.size(), 200000);

    const std::int64_t seeks[] = {0, 65535, 65536, 131071, 10, 199999, 70000, 1};
    for (std::int64_t at : seeks) {
        f.seek(at);
        m.seek(at);
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(f.get(), m.get()) << "at " << at;
            ASSERT_EQ(f.tell(), m.tell());
        }
        std::uint8_t a[300] = {}, b[300] = {};
        ASSERT_EQ(f.read(a, sizeof a), m.read(b, sizeof b)) << "at " << at;
        EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
        EXPECT_EQ(f.tell(), m.tell());
    }

    // One read larger than the buffer, starting mid-window.
    f.seek(5);
    Bytes big(150000);
    ASSERT_EQ(f.read(big.data(), big.size()), big.size());
    EXPECT_TRUE(std::equal(big.begin(), big.end(), data.begin() + 5));
    EXPECT_EQ(f.tell(), 150005);
    EXPECT_EQ(f.get(), data[150005]);
}

TEST(SpoolStream, end_of_file_leaves_the_position_and_seeks_past_it_read_nothing)
{
    const Bytes data = {1, 2, 3};
    test::TempFile file("stream-eof", data);
    SpoolStream f = SpoolStream::open_file(file.path());
    SpoolStream m = SpoolStream::from_memory(data.data(), data.size());
    for (SpoolStream* s : {&f, &m}) {
        s->seek(2);
        EXPECT_EQ(s->get(), 3);
        EXPECT_EQ(s->get(), -1);
        EXPECT_EQ(s->tell(), 3);
        s->seek(1000);
        EXPECT_EQ(s->tell(), 1000);
        EXPECT_EQ(s->get(), -1);
        std::uint8_t b[4];
        EXPECT_EQ(s->read(b, 4), 0u);
        s->seek(0); // back inside the data after a seek past its end
        EXPECT_EQ(s->get(), 1);
        s->seek(1);
        EXPECT_EQ(s->read(b, 4), 2u);
        EXPECT_EQ(s->tell(), 3);
    }
}

TEST(SpoolStream, a_missing_file_does_not_open_and_reads_as_empty)
{
    SpoolStream s = SpoolStream::open_file("/nonexistent/dir/no-such-file.pdb");
    EXPECT_FALSE(s.is_open());
    EXPECT_EQ(s.get(), -1);
    EXPECT_EQ(s.size(), 0);
}

} // namespace
} // namespace qm
