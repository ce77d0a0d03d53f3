#include "spool/spool_check.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "spool/spool_container.h"
#include "spool/spool_limits.h"
#include "spool/spool_record.h"

namespace qm {
namespace {

constexpr std::int64_t RecordHeadBytes = 2;  // kind and flags
constexpr std::int64_t BandHeadBytes = 18;   // kind, flags, band header and its 4 ignored bytes

// The bytes a band's run codes take from the stream until its image is full, as the decoder
// reads them; -1 when the file ends first (a code, a fill's byte or a literal's bytes missing).
std::int64_t run_coded_length(SpoolStream& s, std::uint64_t image_size)
{
    const std::int64_t start = s.tell();
    // At most MaxBandImageBytes: bands past it are not decoded.
    auto wanted = static_cast<std::int64_t>(image_size);
    std::uint8_t literal[64];
    while (wanted > 0) {
        const int x = s.get();
        if (x < 0)
            return -1;
        if (x == 0)
            continue; // no code: nothing written, nothing counted
        const std::size_t n = static_cast<std::size_t>(x >> 2) + 1;
        if ((x & 3) == 0 && s.get() < 0)
            return -1;
        if ((x & 3) == 1 && s.read(literal, n) < n)
            return -1;
        wanted -= static_cast<std::int64_t>(n);
    }
    return s.tell() - start;
}

// The bytes record `index` at `pos` needs from its start: its kind and flags, and for a band
// its header and the pixel data the decoder will read. -1 when run codes meet the end first.
std::int64_t record_needs(SpoolStream& s, std::int64_t pos, std::int64_t file_size,
                          std::uint8_t* flags)
{
    s.seek(pos);
    const int kind = read_u8(s);
    *flags = read_u8(s);
    if (!is_band_kind(kind))
        return RecordHeadBytes;
    if (file_size - pos < BandHeadBytes)
        return BandHeadBytes;
    const BandHeader h = read_band_header(s);
    const std::uint64_t image = band_image_size(kind, h);
    if (image > MaxBandImageBytes)
        return BandHeadBytes; // refused unread, as the page walk refuses it
    if (!(*flags & FlagCompressed))
        return BandHeadBytes + static_cast<std::int64_t>(image);
    const std::int64_t coded = run_coded_length(s, image);
    return coded < 0 ? -1 : BandHeadBytes + coded;
}

} // namespace

SpoolCut find_spool_cut(SpoolStream& s, std::int32_t record_count)
{
    SpoolCut cut;
    if (record_count <= 0)
        return cut;
    cut.count = record_count;
    cut.file_size = s.size();
    const std::int64_t saved = s.tell();
    const std::int64_t size = cut.file_size;

    // Each entry's position field must be in the file (its attribute bytes are never read).
    const std::int64_t last_field_end =
        SpoolRecordListOffset + SpoolRecordEntrySize * (record_count - 1) + 4;
    if (last_field_end > size) {
        cut.kind = SpoolCutKind::ListPastEnd;
        const std::int64_t beyond = size - SpoolRecordListOffset - 4;
        cut.record = beyond < 0 ? 0 : static_cast<std::int32_t>(beyond / SpoolRecordEntrySize + 1);
        s.seek(saved);
        return cut;
    }
    std::vector<std::uint32_t> positions(static_cast<std::size_t>(record_count));
    s.seek(SpoolRecordListOffset);
    for (std::uint32_t& p : positions) {
        p = read_be32(s);
        read_be32(s);
    }

    // A file cut short shows first in records that start past its end: name the first of them
    // before looking inside any record.
    for (std::int32_t i = 0; i < record_count; ++i) {
        const std::int64_t pos = positions[static_cast<std::size_t>(i)];
        // A position that reads as negative is one the page walk refuses by itself: that page
        // is not drawn and the job goes on, as it always has.
        if (pos <= INT32_MAX && pos >= size) {
            cut.kind = SpoolCutKind::RecordPastEnd;
            cut.record = i;
            s.seek(saved);
            return cut;
        }
    }
    for (std::int32_t i = 0; i < record_count && !cut; ++i) {
        const std::int64_t pos = positions[static_cast<std::size_t>(i)];
        if (pos > INT32_MAX)
            continue;
        cut.record = i;
        std::uint8_t flags = 0;
        const std::int64_t needs = record_needs(s, pos, size, &flags);
        cut.needs = needs;
        if (needs < 0) {
            cut.kind = SpoolCutKind::RunsPastEnd;
        } else if (pos + needs > size) {
            cut.kind = SpoolCutKind::RecordShort;
            cut.holds = size - pos;
        } else if (!(flags & FlagContinued) && i + 1 < record_count) {
            // A band that reads on into the next record ends its page there, and the walk then
            // passes over every record it read: pages that would silently go missing.
            const std::int64_t next = positions[static_cast<std::size_t>(i) + 1];
            if (next > pos && next <= INT32_MAX && pos + needs > next) {
                cut.kind = SpoolCutKind::RecordShort;
                cut.holds = next - pos;
            }
        }
    }
    s.seek(saved);
    return cut;
}

void describe_spool_cut(const SpoolCut& cut, char* text, std::size_t size)
{
    const int n = cut.record + 1;
    switch (cut.kind) {
    case SpoolCutKind::Whole:
        std::snprintf(text, size, "whole");
        break;
    case SpoolCutKind::ListPastEnd:
        std::snprintf(text, size, "record %d of %d is listed past its end (%" PRId64 " bytes)", n,
                      cut.count, cut.file_size);
        break;
    case SpoolCutKind::RecordPastEnd:
        std::snprintf(text, size, "record %d of %d starts past its end (%" PRId64 " bytes)", n,
                      cut.count, cut.file_size);
        break;
    case SpoolCutKind::RecordShort:
        std::snprintf(text, size,
                      "record %d of %d holds %" PRId64 " bytes where its header needs %" PRId64,
                      n, cut.count, cut.holds, cut.needs);
        break;
    case SpoolCutKind::RunsPastEnd:
        std::snprintf(text, size,
                      "record %d of %d's run-coded pixels go on past its end (%" PRId64 " bytes)",
                      n, cut.count, cut.file_size);
        break;
    }
}

} // namespace qm
