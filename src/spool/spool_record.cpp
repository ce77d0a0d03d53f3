#include "spool/spool_record.h"

#include <cstring>
#include <new>

#include "spool/spool_container.h"
#include "spool/spool_limits.h"

namespace qm {

std::int32_t row_bytes(int kind, int width)
{
    switch (kind) {
    case KindBand1:
        return (width + 7) / 8;
    case KindBand8:
        return width;
    case KindBand16:
        return 2 * width;
    default:
        return 0;
    }
}

std::uint64_t band_image_size(int kind, const BandHeader& h)
{
    return static_cast<std::uint64_t>(row_bytes(kind, h.width)) * h.height;
}

BandHeader read_band_header(SpoolStream& s)
{
    BandHeader h;
    h.width = read_be16(s);
    h.height = read_be16(s);
    h.left = read_be16(s);
    h.top = read_be16(s);
    h.dpi_x = read_be16(s);
    h.dpi_y = read_be16(s);
    for (int i = 0; i < 4; ++i)
        s.get();
    return h;
}

BandBuffer allocate_band_buffer(std::uint64_t image_size)
{
    BandBuffer b;
    if (image_size > MaxBandImageBytes)
        return b;
    b.bytes.reset(new (std::nothrow) std::uint8_t[image_size + BandSpareBytes]);
    if (b.bytes)
        b.image_size = image_size;
    return b;
}

namespace {

// Copy-from-above: each byte equals the one `stride` bytes before it, produced front to back so
// that a run longer than a row repeats what it has just written. Bytes with no row above are 0.
void copy_from_above(std::uint8_t* buffer, std::uint8_t* out, std::size_t n, std::size_t stride)
{
    std::size_t k = 0;
    const std::size_t at = static_cast<std::size_t>(out - buffer);
    if (at < stride) {
        const std::size_t first_row = stride - at < n ? stride - at : n;
        std::memset(out, 0, first_row);
        k = first_row;
    }
    if (k == n)
        return; // the whole run lies in the first row: nothing above to point at
    // From here on every byte has a row above, so the source stays inside the buffer.
    std::uint8_t* dst = out + k;
    const std::uint8_t* src = dst - stride;
    if (n - k <= stride) {
        std::memcpy(dst, src, n - k); // source and destination do not overlap
        return;
    }
    for (; k < n; ++k)
        *dst++ = *src++;
}

// The longest run, and the most bytes one code takes from the stream (code and literal data).
constexpr std::size_t MaxRun = 64;
constexpr std::size_t MaxCodeBytes = 1 + MaxRun;
static_assert(BandSpareBytes >= MaxRun, "every run may write a whole MaxRun-byte block");

// Decodes codes straight out of the stream's buffer for as long as a whole code with its data is
// sure to be there, so no code needs an end-of-file check. Every run writes a full MaxRun-byte
// block, a fixed-size copy that the compiler turns into a few vector moves instead of a call;
// the bytes past the run's own n are rewritten by the runs that follow, or are the last run's
// overshoot into the spare bytes (a run starts before `end`, so it writes nothing past
// end + 62). Returns where the output stands and leaves `in` at the first unread byte.
//
// What is left per code is the branch on its operation and the chain of dependent loads through
// the code bytes. On photographs, whose short literals and copies alternate at random, the
// branch mispredicts and costs most; picking the source without a branch measured slower still,
// since every code then waits for the one before it.
std::uint8_t* decode_buffered_runs(const std::uint8_t*& in, const std::uint8_t* in_end,
                                   std::uint8_t* buffer, std::uint8_t* out, const std::uint8_t* end,
                                   std::size_t stride)
{
    // From here on the row above lies wholly before the output, and a copy from it is one block.
    const std::uint8_t* const block_copies_from = stride >= MaxRun ? buffer + stride : end;
    while (out < end && static_cast<std::size_t>(in_end - in) >= MaxCodeBytes) {
        const unsigned x = *in++;
        const std::size_t n = (x >> 2) + 1;
        switch (x & 3) {
        case 0:
            if (x == 0)
                continue; // no code: nothing written, nothing counted
            std::memset(out, *in++, MaxRun);
            break;
        case 1:
            std::memcpy(out, in, MaxRun); // the whole block is buffered: at least 64 bytes
            in += n;
            break;
        case 2:
            std::memset(out, 0, MaxRun);
            break;
        default:
            if (out >= block_copies_from)
                std::memcpy(out, out - stride, MaxRun);
            else
                copy_from_above(buffer, out, n, stride); // the first row, or narrow rows
            break;
        }
        out += n;
    }
    return out;
}

void decode_run_coded(SpoolStream& s, std::uint8_t* buffer, std::uint64_t image_size,
                      std::size_t stride)
{
    std::uint8_t* out = buffer;
    std::uint8_t* const end = buffer + image_size; // the last run may pass it by up to 63
    while (out < end) {
        if (s.buffered_size() >= MaxCodeBytes) {
            const std::uint8_t* in = s.buffered();
            out = decode_buffered_runs(in, in + s.buffered_size(), buffer, out, end, stride);
            s.consume(static_cast<std::size_t>(in - s.buffered()));
            if (out >= end)
                break;
        }
        // Near the end of the buffer or of the file: one code at a time through get() and
        // read(), which refill the buffer and meet the end of the file.
        const int x = s.get();
        if (x < 0)
            break;
        if (x == 0)
            continue; // no code: nothing written, nothing counted
        const std::size_t n = static_cast<std::size_t>(x >> 2) + 1;
        switch (x & 3) {
        case 0: {
            const int v = s.get();
            std::memset(out, v < 0 ? 0 : v, n);
            break;
        }
        case 1: {
            const std::size_t got = s.read(out, n);
            if (got < n)
                std::memset(out + got, 0, n - got);
            break;
        }
        case 2:
            std::memset(out, 0, n);
            break;
        default:
            copy_from_above(buffer, out, n, stride);
            break;
        }
        out += n;
    }
    if (out < end)
        std::memset(out, 0, static_cast<std::size_t>(end - out)); // the file ended first
}

} // namespace

void decode_band(SpoolStream& s, std::uint8_t flags, int kind, const BandHeader& h,
                 std::uint8_t* buffer)
{
    const std::uint64_t size = band_image_size(kind, h);
    if (size == 0)
        return;
    if (flags & FlagCompressed) {
        decode_run_coded(s, buffer, size, static_cast<std::size_t>(row_bytes(kind, h.width)));
        return;
    }
    const std::size_t got = s.read(buffer, static_cast<std::size_t>(size));
    if (got < size)
        std::memset(buffer + got, 0, static_cast<std::size_t>(size - got));
}

} // namespace qm
