// Pixel memory of the raster targets, shared by the canvas, the preview surface, the scaled copy
// and the text: a top-down view of a raster, the two pixel formats, clipping, and the fill and
// preview copy as templates, so that each target's calls compile to its own format's loops.
// Internal to the raster canvas; nothing outside src/render/raster_* includes it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "render/raster_canvas.h"

namespace qm::raster {

// ---------------------------------------------------------------------------------------------
// Pixel memory

// A top-down view of a raster whatever its memory order: a bottom-up DIB is seen from its last
// row with a negative step.
// White a fill has promised but not written (see PendingWhite) is written as rows are reached.
struct PixelView {
    std::uint8_t* top = nullptr;
    std::ptrdiff_t step = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    PendingWhite* pending = nullptr;

    // Row y as it stands, to read or write any of it.
    std::uint8_t* row(std::int32_t y) const
    {
        std::uint8_t* r = top + y * step;
        if (pending && pending->owes(y))
            settle(r, y, 0, 0);
        return r;
    }
    // Row y for a caller that overwrites every byte of [begin, end) before reading any of them:
    // promised white there is not written.
    std::uint8_t* row_overwriting(std::int32_t y, std::size_t begin, std::size_t end) const
    {
        std::uint8_t* r = top + y * step;
        if (pending && pending->owes(y))
            settle(r, y, begin, end);
        return r;
    }

private:
    void settle(std::uint8_t* r, std::int32_t y, std::size_t keep_begin, std::size_t keep_end) const
    {
        pending->settle(y, y + 1, static_cast<std::int64_t>(keep_begin),
                        static_cast<std::int64_t>(keep_end),
                        [r](std::int32_t, std::int32_t, std::int64_t from, std::int64_t to) {
                            std::memset(r + from, 0xFF, static_cast<std::size_t>(to - from));
                        });
    }
};

// Scales an 8-bit channel by keep / 255, rounded: keep 255 leaves it, keep 0 makes it black.
inline unsigned scale_channel(unsigned v, unsigned keep)
{
    return (v * keep + 127) / 255;
}

// 24-bit blue, green, red.
struct Bgr24 {
    static constexpr int Bytes = 3;

    static void put(std::uint8_t* p, std::uint8_t b, std::uint8_t g, std::uint8_t r)
    {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    static void fill_white(std::uint8_t* p, std::int32_t n)
    {
        std::memset(p, 0xFF, static_cast<std::size_t>(n) * Bytes);
    }
    // Blends toward black by `coverage` (0 leaves the pixel, 255 makes it black).
    static void darken(std::uint8_t* p, unsigned coverage)
    {
        const unsigned keep = 255 - coverage;
        p[0] = static_cast<std::uint8_t>(scale_channel(p[0], keep));
        p[1] = static_cast<std::uint8_t>(scale_channel(p[1], keep));
        p[2] = static_cast<std::uint8_t>(scale_channel(p[2], keep));
    }
};

// 16-bit 5-5-5, little-endian: red in bits 14-10, green 9-5, blue 4-0. 8-bit channels lose their
// low three bits, as a 16-bit DIB section takes them.
struct Rgb555 {
    static constexpr int Bytes = 2;

    static void put(std::uint8_t* p, std::uint8_t b, std::uint8_t g, std::uint8_t r)
    {
        const unsigned v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void fill_white(std::uint8_t* p, std::int32_t n)
    {
        for (std::int32_t i = 0; i < n; ++i, p += 2) {
            p[0] = 0xFF;
            p[1] = 0x7F;
        }
    }
    static void darken(std::uint8_t* p, unsigned coverage)
    {
        const unsigned keep = 255 - coverage;
        const unsigned v = p[0] | p[1] << 8;
        const unsigned r = scale_channel(v >> 10 & 0x1F, keep);
        const unsigned g = scale_channel(v >> 5 & 0x1F, keep);
        const unsigned b = scale_channel(v & 0x1F, keep);
        const unsigned out = r << 10 | g << 5 | b;
        p[0] = static_cast<std::uint8_t>(out);
        p[1] = static_cast<std::uint8_t>(out >> 8);
    }
};

// [begin, end) of the range start .. start + length clipped to 0 .. limit; empty when begin >=
// end. 64-bit so that a rectangle near the ends of the 32-bit range cannot wrap.
struct Range {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    bool empty() const { return begin >= end; }
};

inline Range clip(std::int32_t start, std::int32_t length, std::int32_t limit)
{
    Range r;
    r.begin = std::max<std::int64_t>(start, 0);
    r.end = std::min<std::int64_t>(static_cast<std::int64_t>(start) + length, limit);
    return r;
}

// Bytes of a row of `width` pixels of `bytes_per_pixel`, padded to 4 as a DIB pads it.
inline std::uint64_t padded_row_bytes(std::int32_t width, int bytes_per_pixel)
{
    return (static_cast<std::uint64_t>(width) * bytes_per_pixel + 3) & ~std::uint64_t{3};
}

// A zero-filled block of at least one byte, or null when the memory is not there.
inline std::unique_ptr<std::uint8_t[]> allocate(std::uint64_t bytes)
{
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow)
                                               std::uint8_t[std::max<std::uint64_t>(bytes, 1)]);
}

template <class Format> void fill_white_rect(const PixelView& view, const Rect& r)
{
    const Range xs = clip(r.left, r.width, view.width);
    const Range ys = clip(r.top, r.height, view.height);
    if (xs.empty() || ys.empty())
        return;
    const auto n = static_cast<std::int32_t>(xs.end - xs.begin);
    for (auto y = static_cast<std::int32_t>(ys.begin); y < ys.end; ++y)
        Format::fill_white(view.row(y) + xs.begin * Format::Bytes, n);
}

// Copies a preview cache unscaled to (0, 0) of a target of width x height, clipped: `out_row(y)`
// gives the target's row y, `put(p, v)` stores the 5-5-5 value v at p and returns nothing; the
// target's pixels are `Bytes` apart.
template <int Bytes, class OutRow, class Put>
void copy_preview(const PreviewSurface& cache, std::int32_t width, std::int32_t height,
                  OutRow out_row, Put put)
{
    const std::int32_t w = std::min(cache.width(), width);
    const std::int32_t h = std::min(cache.height(), height);
    // Our own caches are read straight from memory; any other through pixel().
    const auto* raster = dynamic_cast<const RasterPreviewSurface*>(&cache);
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* out = out_row(y);
        if (raster) {
            const std::uint8_t* in = raster->memory_row(cache.height() - 1 - y);
            for (std::int32_t x = 0; x < w; ++x, in += 2, out += Bytes)
                put(out, static_cast<unsigned>(in[0] | in[1] << 8));
        } else {
            for (std::int32_t x = 0; x < w; ++x, out += Bytes)
                put(out, cache.pixel(x, y));
        }
    }
}

} // namespace qm::raster
