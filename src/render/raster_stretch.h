// The scaled copy of a band onto a raster target, as a template over the target's pixel format:
// placing bands is most of a page's drawing, and its row loops are inlined into each target.
// Internal to the raster canvas.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define QM_STREAMING_STORES 1
#endif

#include "render/raster_pixels.h"

namespace qm::raster {

// ---------------------------------------------------------------------------------------------
// Scaled copy (StretchBlt, SRCCOPY, BLACKONWHITE)
//
// Destination pixel d of a destination length dl takes the source span [d * sl / dl,
// (d + 1) * sl / dl) of a source length sl, at least one pixel long. Enlarging makes every span
// one pixel, so pixels repeat; shrinking ANDs the span's pixels together byte by byte, so that a
// thin black line on white survives however far the band is shrunk.

// One visible destination column: where its span starts in the source row (bytes from the first
// source column any visible column uses) and how many source pixels it covers.
struct ColumnSpan {
    std::ptrdiff_t offset;
    std::int32_t count;
};

struct SourceSpan {
    std::int64_t first;
    std::int64_t count;
};

inline SourceSpan source_span(std::int64_t d, std::int64_t source_length, std::int64_t dest_length)
{
    const std::int64_t first = d * source_length / dest_length;
    const std::int64_t end = (d + 1) * source_length / dest_length;
    return {first, std::max<std::int64_t>(end - first, 1)};
}

// Pixels are stored as whole words whose low three bytes are blue, green and red.
static_assert(std::endian::native == std::endian::little,
              "word stores assume a little-endian machine");

// Writes one destination row segment from a source row when no destination column covers more
// than one source pixel (enlarging, or copying at the same width): source pixel s, counted from
// the first one in use, fills the next repeats[s] destination pixels.
template <class Format>
void repeat_row(std::uint8_t* out, const std::uint8_t* src, const std::int32_t* repeats,
                std::int32_t m)
{
    if constexpr (Format::Bytes == 3) {
        // Placing bands on the page is most of a page's drawing: each pixel is stored as one
        // word whose fourth byte the next pixel overwrites, and the very last byte by byte, so
        // that nothing right of the segment is touched.
        for (std::int32_t s = 0; s < m; ++s, src += 3) {
            const std::uint32_t bgr = src[0] | src[1] << 8 | src[2] << 16;
            for (std::int32_t k = repeats[s] - (s + 1 == m); k > 0; --k, out += 3)
                std::memcpy(out, &bgr, 4);
        }
        src -= 3;
        Format::put(out, src[0], src[1], src[2]);
    } else {
        for (std::int32_t s = 0; s < m; ++s, src += 3) {
            for (std::int32_t k = repeats[s]; k > 0; --k, out += Format::Bytes)
                Format::put(out, src[0], src[1], src[2]);
        }
    }
}

// Writes one destination row segment from a source row whose column spans are `columns`, ANDing
// together the pixels of each span.
template <class Format>
void and_row(std::uint8_t* out, const std::uint8_t* src, const ColumnSpan* columns, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i, out += Format::Bytes) {
        const std::uint8_t* p = src + columns[i].offset;
        std::uint8_t b = p[0], g = p[1], r = p[2];
        for (std::int32_t k = 1; k < columns[i].count; ++k) {
            p += 3;
            b &= p[0];
            g &= p[1];
            r &= p[2];
        }
        Format::put(out, b, g, r);
    }
}

// A destination this large is not read again while it is in any cache: a page raster at a
// printer's resolution (a Letter page at 600 dpi is 101 MB), which the next band, the image writer
// or the printer driver meets long after it has left. Its words are stored past the caches, which
// also spares reading each line in before overwriting it: a third of the page's memory traffic.
inline constexpr std::uint64_t StreamedTargetBytes = 32ull << 20;

inline void store_word(std::uint8_t* at, std::uint64_t word, bool streamed)
{
#if QM_STREAMING_STORES
    if (streamed) {
        _mm_stream_si64(reinterpret_cast<long long*>(at), static_cast<long long>(word));
        return;
    }
#else
    (void)streamed;
#endif
    std::memcpy(at, &word, 8);
}

// Makes the streamed stores visible to whatever reads the raster next.
inline void finish_streamed_stores()
{
#if QM_STREAMING_STORES
    _mm_sfence();
#endif
}

// Writes one destination row segment from a source row, and the same into `twin` unless it is
// null, when every source pixel in use fills exactly two destination pixels: the page at twice
// the band's resolution, most of what a printer pass draws. Four source pixels (12 bytes) make
// 24 bytes of output, stored as three words per row, with nothing stored outside the segment.
template <bool Twin>
void double_row(std::uint8_t* out, std::uint8_t* twin, const std::uint8_t* src, std::int32_t m,
                bool streamed)
{
    auto store = [&](std::ptrdiff_t at, std::uint64_t word) {
        store_word(out + at, word, streamed);
        if constexpr (Twin)
            store_word(twin + at, word, streamed);
    };
    std::int32_t s = 0;
    for (; s + 4 <= m; s += 4, src += 12) {
        std::uint64_t a;
        std::uint32_t b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + 8, 4);
        const std::uint64_t p0 = a & 0xFFFFFF, p1 = a >> 24 & 0xFFFFFF;
        const std::uint64_t p2 = a >> 48 | static_cast<std::uint64_t>(b & 0xFF) << 16;
        const std::uint64_t p3 = b >> 8;
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(s) * 6;
        store(at, p0 | p0 << 24 | p1 << 48);
        store(at + 8, p1 >> 16 | p1 << 8 | p2 << 32 | p2 << 56);
        store(at + 16, p2 >> 8 | p3 << 16 | p3 << 40);
    }
    for (; s < m; ++s, src += 3) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(s) * 6;
        for (std::uint8_t* row : {out, twin}) {
            if (!row)
                continue;
            std::memcpy(row + at, src, 3);
            std::memcpy(row + at + 3, src, 3);
        }
    }
}

// Which source bytes each destination column takes, worked out once per call. Offsets count from
// the first source column in use, so that a shrunk row can be built in a scratch row of just
// that width.
struct ColumnPlan {
    std::unique_ptr<ColumnSpan[]> columns;
    std::int64_t source_x0 = 0;    // the first source column in use
    std::int64_t source_bytes = 0; // the source columns in use, 3 bytes each
    bool single_pixel_spans = true;
    // With one source pixel per column, consecutive columns take the same source pixel or the
    // next one, so the row is each source pixel in use repeated over its columns.
    std::unique_ptr<std::int32_t[]> repeats;
    bool doubled = false; // every source pixel in use fills two columns
    std::int32_t source_pixels() const { return static_cast<std::int32_t>(source_bytes / 3); }
};

// False when the memory for the plan is not there.
template <class Format>
bool plan_columns(ColumnPlan& plan, const Range& xs, std::int64_t sw, const Rect& dst)
{
    const auto n = static_cast<std::int32_t>(xs.end - xs.begin);
    plan.columns.reset(new (std::nothrow) ColumnSpan[n]);
    if (!plan.columns)
        return false;
    const SourceSpan first_span = source_span(xs.begin - dst.left, sw, dst.width);
    const SourceSpan last_span = source_span(xs.end - 1 - dst.left, sw, dst.width);
    plan.source_x0 = first_span.first;
    plan.source_bytes = (last_span.first + last_span.count - plan.source_x0) * 3;
    for (std::int32_t i = 0; i < n; ++i) {
        const SourceSpan s = source_span(xs.begin - dst.left + i, sw, dst.width);
        plan.columns[i] = {static_cast<std::ptrdiff_t>((s.first - plan.source_x0) * 3),
                           static_cast<std::int32_t>(s.count)};
        plan.single_pixel_spans = plan.single_pixel_spans && s.count == 1;
    }
    if (!plan.single_pixel_spans)
        return true;
    const std::int32_t pixels = plan.source_pixels();
    plan.repeats.reset(new (std::nothrow) std::int32_t[pixels]());
    if (!plan.repeats)
        return false;
    for (std::int32_t i = 0; i < n; ++i)
        ++plan.repeats[plan.columns[i].offset / 3];
    plan.doubled = Format::Bytes == 3 && std::all_of(plan.repeats.get(), plan.repeats.get() + pixels,
                                                     [](std::int32_t r) { return r == 2; });
    return true;
}

// The source rows of `rows` ANDed into `acc` (at least two rows), over the plan's columns.
inline void and_source_rows(const BandSurface& band, const SourceSpan& rows, const ColumnPlan& plan,
                            std::uint8_t* acc)
{
    const std::uint8_t* first = band.row(static_cast<std::int32_t>(rows.first)) + plan.source_x0 * 3;
    const std::uint8_t* second =
        band.row(static_cast<std::int32_t>(rows.first + 1)) + plan.source_x0 * 3;
    for (std::int64_t j = 0; j < plan.source_bytes; ++j)
        acc[j] = first[j] & second[j];
    for (std::int64_t k = 2; k < rows.count; ++k) {
        const std::uint8_t* more =
            band.row(static_cast<std::int32_t>(rows.first + k)) + plan.source_x0 * 3;
        for (std::int64_t j = 0; j < plan.source_bytes; ++j)
            acc[j] &= more[j];
    }
}

// Copies the band onto `dst` of the view. Every destination row in view is written whole over
// the visible columns (PixelView::row_overwriting relies on that), and nothing else is.
template <class Format>
void stretch_to(const PixelView& view, const BandSurface& band, const Rect& dst)
{
    const std::int64_t sw = band.width();
    const std::int64_t sh = band.height();
    if (sw <= 0 || sh <= 0 || dst.width <= 0 || dst.height <= 0)
        return;
    const Range xs = clip(dst.left, dst.width, view.width);
    const Range ys = clip(dst.top, dst.height, view.height);
    if (xs.empty() || ys.empty())
        return;
    const auto n = static_cast<std::int32_t>(xs.end - xs.begin);
    ColumnPlan plan;
    if (!plan_columns<Format>(plan, xs, sw, dst))
        return;
    const std::int64_t source_x0 = plan.source_x0;
    const std::int64_t source_bytes = plan.source_bytes;
    const std::int32_t source_pixels = plan.source_pixels();

    // Several source rows for one destination row only when shrinking vertically.
    std::unique_ptr<std::uint8_t[]> scratch;
    if (sh > dst.height) {
        scratch = allocate(static_cast<std::uint64_t>(source_bytes));
        if (!scratch)
            return;
    }

    const std::size_t out_begin = static_cast<std::size_t>(xs.begin) * Format::Bytes;
    const std::size_t out_bytes = static_cast<std::size_t>(n) * Format::Bytes;
    const bool streamed = static_cast<std::uint64_t>(view.height) *
                              static_cast<std::uint64_t>(view.step < 0 ? -view.step : view.step) >=
                          StreamedTargetBytes;
    auto out_row = [&](std::int32_t y) {
        return view.row_overwriting(y, out_begin, out_begin + out_bytes) + out_begin;
    };
    for (auto y = static_cast<std::int32_t>(ys.begin); y < ys.end;) {
        const SourceSpan rows = source_span(y - static_cast<std::int64_t>(dst.top), sh, dst.height);
        // Enlarging: the destination rows that repeat this source row.
        std::int32_t copies = 1;
        if (rows.count == 1) {
            while (y + copies < ys.end &&
                   source_span(y + copies - static_cast<std::int64_t>(dst.top), sh, dst.height)
                           .first == rows.first)
                ++copies;
        }
        std::uint8_t* const out = out_row(y);
        const std::uint8_t* src = band.row(static_cast<std::int32_t>(rows.first)) + source_x0 * 3;
        if (rows.count > 1) {
            and_source_rows(band, rows, plan, scratch.get());
            src = scratch.get();
        }
        std::int32_t written = 1;
        if (plan.doubled && copies >= 2) {
            // Both rows from the same registers: the second is not read back from the first.
            double_row<true>(out, out_row(y + 1), src, source_pixels, streamed);
            written = 2;
        } else if (plan.doubled) {
            double_row<false>(out, nullptr, src, source_pixels, streamed);
        } else if (plan.single_pixel_spans) {
            repeat_row<Format>(out, src, plan.repeats.get(), source_pixels);
        } else {
            and_row<Format>(out, src, plan.columns.get(), n);
        }
        for (; written < copies; ++written)
            std::memcpy(out_row(y + written), out, out_bytes);
        y += copies;
    }
    if (streamed)
        finish_streamed_stores();
}

} // namespace qm::raster
