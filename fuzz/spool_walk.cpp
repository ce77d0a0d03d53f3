#include "spool_walk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "spool/spool_container.h"
#include "spool/spool_limits.h"
#include "spool/spool_record.h"
#include "spool/spool_stream.h"

namespace qm::fuzz {
namespace {

// A broken invariant is a bug the fuzzer must report, in every build type.
#define QM_WALK_CHECK(cond)                                                                        \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: walk_spool check failed: %s\n", __FILE__, __LINE__,       \
                         #cond);                                                                   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

constexpr std::uint8_t SpareCanary = 0xA5;
// The last run of a run-coded band starts inside the image and is at most 64 bytes long.
constexpr std::uint64_t MaxOvershoot = 63;

std::uint32_t mix(std::uint32_t h, std::uint32_t v)
{
    return (h ^ v) * 16777619u;
}

void walk_band(SpoolStream& s, int kind, std::uint8_t flags, std::int64_t file_size,
               std::uint64_t& budget, WalkSummary& sum)
{
    const std::int64_t header_at = s.tell();
    const BandHeader h = read_band_header(s);
    if (header_at + 16 <= file_size)
        QM_WALK_CHECK(s.tell() == header_at + 16);
    sum.checksum = mix(sum.checksum, (std::uint32_t{h.width} << 16) | h.height);

    const std::uint64_t size = band_image_size(kind, h);
    QM_WALK_CHECK(size == static_cast<std::uint64_t>(row_bytes(kind, h.width)) * h.height);
    if (size > MaxBandImageBytes) {
        QM_WALK_CHECK(!allocate_band_buffer(size));
        ++sum.bands_refused;
        return;
    }
    if (size > budget) {
        ++sum.bands_passed_over;
        return;
    }
    budget -= size;
    BandBuffer buffer = allocate_band_buffer(size);
    QM_WALK_CHECK(buffer && buffer.image_size == size);

    std::uint8_t* const bytes = buffer.bytes.get();
    std::memset(bytes + size, SpareCanary, BandSpareBytes);
    const std::int64_t data_at = s.tell();
    decode_band(s, flags, kind, h, bytes);
    ++sum.bands_decoded;
    sum.band_pixels += std::uint64_t{h.width} * h.height;

    // Where the stream stops: plain data is read as far as the image or the file goes; run-coded
    // data never moves backwards nor past the end.
    const std::int64_t end_of_data = std::max(data_at, file_size);
    if (size == 0) {
        QM_WALK_CHECK(s.tell() == data_at);
    } else if (flags & FlagCompressed) {
        QM_WALK_CHECK(s.tell() > data_at || data_at >= file_size);
        QM_WALK_CHECK(s.tell() <= end_of_data);
    } else {
        QM_WALK_CHECK(s.tell() == std::min<std::int64_t>(data_at + static_cast<std::int64_t>(size),
                                                         end_of_data));
    }
    // Only the last run may spill into the spare bytes, and by less than one run.
    const std::uint64_t untouched_from = (flags & FlagCompressed) ? size + MaxOvershoot : size;
    for (std::uint64_t k = untouched_from; k < size + BandSpareBytes; ++k)
        QM_WALK_CHECK(bytes[k] == SpareCanary);

    // Sample the image rather than hash all of it: the sanitizers already see every byte written.
    for (std::uint64_t k = 0; k < size; k += 4093)
        sum.checksum = mix(sum.checksum, bytes[k]);
    if (size > 0)
        sum.checksum = mix(sum.checksum, bytes[size - 1]);
}

void walk_text(SpoolStream& s, std::int32_t length, std::int64_t file_size, std::uint64_t& budget,
               WalkSummary& sum)
{
    const std::int64_t text_at = s.tell();
    const std::int64_t text_length = static_cast<std::int64_t>(length) - 2;
    // What the file can actually supply: reading stops at its end.
    const std::int64_t available = std::max<std::int64_t>(0, file_size - text_at);
    const std::uint64_t cost =
        static_cast<std::uint64_t>(std::clamp<std::int64_t>(text_length, 0, available));
    if (cost > budget)
        return;
    budget -= cost;

    std::int64_t text_bytes = 0;
    read_text_lines(s, text_length, [&](const char* line, std::size_t n, bool line_end) {
        QM_WALK_CHECK(n <= LineBufferSize);
        QM_WALK_CHECK(line_end || n == LineBufferSize); // a piece is split only when full
        for (std::size_t k = 0; k < n; ++k) {
            const auto c = static_cast<unsigned char>(line[k]);
            QM_WALK_CHECK(c != 0x0A && c != 0x00 && c != 0x0D && c != 0x0F);
            sum.checksum = mix(sum.checksum, c);
        }
        text_bytes += static_cast<std::int64_t>(n);
        if (line_end)
            ++sum.text_lines;
    });
    QM_WALK_CHECK(text_bytes <= std::max<std::int64_t>(0, text_length));
    QM_WALK_CHECK(s.tell() == text_at + static_cast<std::int64_t>(cost));
}

} // namespace

WalkSummary walk_spool(const std::uint8_t* data, std::size_t size)
{
    WalkSummary sum;
    SpoolStream s = SpoolStream::from_memory(data, size);
    const std::int64_t file_size = s.size();
    QM_WALK_CHECK(file_size == static_cast<std::int64_t>(size));

    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    QM_WALK_CHECK(s.tell() == SpoolRecordListOffset || file_size < SpoolRecordListOffset);
    sum.record_count = count;

    std::uint64_t budget = WalkWorkBudget;
    const std::int32_t walked = std::min(count, MaxWalkedRecords);
    for (std::int32_t i = 0; i < walked; ++i) {
        // The lookup must leave the stream where it stood: callers compare positions after it.
        const std::int64_t before = s.tell();
        std::uint32_t position = 0;
        std::int32_t length = 0;
        get_record_extent(s, i, &position, &length);
        QM_WALK_CHECK(s.tell() == before);
        std::uint32_t position_only = 0;
        get_record_extent(s, i, &position_only, nullptr);
        QM_WALK_CHECK(position_only == position && s.tell() == before);

        s.seek(position);
        QM_WALK_CHECK(s.tell() == static_cast<std::int64_t>(position));
        const int kind = read_u8(s);
        const std::uint8_t flags = read_u8(s);
        sum.checksum = mix(sum.checksum, (static_cast<std::uint32_t>(kind) << 8) | flags);
        ++sum.records_walked;

        if (is_band_kind(kind))
            walk_band(s, kind, flags, file_size, budget, sum);
        else if (kind == KindText)
            walk_text(s, length, file_size, budget, sum);
    }
    return sum;
}

} // namespace qm::fuzz
