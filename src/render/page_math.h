// Page geometry: signed 32-bit integer arithmetic that wraps like the device's own, each
// product formed before its division, each division truncating toward zero. Computing in 64
// bits and wrapping to 32 keeps the results of the original arithmetic without the undefined
// behaviour of a signed overflow.
#pragma once

#include <cstdint>

#include "render/canvas.h"
#include "render/render_page.h"
#include "spool/spool_record.h"

namespace qm {

constexpr std::int32_t wrap32(std::int64_t v)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}
constexpr std::int32_t wrap_add(std::int32_t a, std::int32_t b)
{
    return wrap32(std::int64_t{a} + b);
}
constexpr std::int32_t wrap_sub(std::int32_t a, std::int32_t b)
{
    return wrap32(std::int64_t{a} - b);
}
constexpr std::int32_t wrap_mul(std::int32_t a, std::int32_t b)
{
    return wrap32(std::int64_t{a} * b);
}
// Truncating division; the one quotient that does not fit (INT32_MIN / -1) wraps.
constexpr std::int32_t wrap_div(std::int32_t a, std::int32_t b)
{
    return wrap32(std::int64_t{a} / b);
}

// A stream position as the signed 32-bit number that record positions are compared with.
constexpr std::int32_t as_position(std::int64_t pos)
{
    return wrap32(pos);
}

// MulDiv: a x b / d rounded to the nearest integer (halves away from zero); -1 when d is 0 or
// the result does not fit.
constexpr std::int32_t mul_div(std::int32_t a, std::int32_t b, std::int32_t d)
{
    if (d == 0)
        return -1;
    std::int64_t p = std::int64_t{a} * b;
    std::int64_t q = std::int64_t{d};
    if (q < 0) {
        p = -p;
        q = -q;
    }
    const std::int64_t r = p >= 0 ? (p + q / 2) / q : -((-p + q / 2) / q);
    if (r > INT32_MAX || r < INT32_MIN)
        return -1;
    return static_cast<std::int32_t>(r);
}

struct BandPlacement {
    bool drawn = false; // false: the band is left undrawn and y stays
    Rect rect;
};

// Where a band lands. With `fit`, a band that would pass the right edge of the area is shrunk
// to end there (its height keeping the ratio), and then one that would pass the bottom, below
// the current position y. A resolution of 0, a remaining area of 0 or less that the band would
// need to shrink into, or a divisor that the arithmetic brings to 0 leaves the band undrawn.
constexpr BandPlacement place_band(const BandHeader& h, const PagePlacement& at, std::int32_t y,
                                   bool fit)
{
    BandPlacement p;
    std::int32_t dx = h.dpi_x;
    std::int32_t dy = h.dpi_y;
    if (dx == 0 || dy == 0)
        return p;
    if (fit) {
        const std::int32_t need_x = wrap_mul(at.scale_x, std::int32_t{h.width} + h.left);
        const std::int32_t room_x = wrap_sub(at.area_width, at.origin_x);
        if (need_x > wrap_mul(room_x, dx)) {
            if (room_x <= 0)
                return p;
            const std::int32_t ndx = wrap_div(need_x, room_x);
            dy = wrap_div(wrap_mul(ndx, dy), dx);
            dx = ndx;
            if (dx == 0 || dy == 0)
                return p;
        }
        const std::int32_t need_y = wrap_mul(at.scale_y, std::int32_t{h.height} + h.top);
        const std::int32_t room_y = wrap_sub(at.area_height, y);
        if (need_y > wrap_mul(room_y, dy)) {
            if (room_y <= 0)
                return p;
            const std::int32_t ndy = wrap_div(need_y, room_y);
            dx = wrap_div(wrap_mul(ndy, dx), dy);
            dy = ndy;
            if (dx == 0 || dy == 0)
                return p;
        }
    }
    p.drawn = true;
    p.rect.left = wrap_add(at.origin_x, wrap_div(wrap_mul(at.scale_x, h.left), dx));
    p.rect.top = wrap_add(y, wrap_div(wrap_mul(at.scale_y, h.top), dy));
    p.rect.width = wrap_div(wrap_mul(at.scale_x, h.width), dx);
    p.rect.height = wrap_div(wrap_mul(at.scale_y, h.height), dy);
    return p;
}

struct TextMetrics {
    std::int32_t char_height;
    std::int32_t avg_width;
    std::int32_t line_step;
};

// Ten characters per inch and six lines per inch at the window pass's scale, never below one
// unit.
constexpr TextMetrics text_metrics_fit(std::int32_t scale_x, std::int32_t scale_y)
{
    std::int32_t w = mul_div(1, scale_x, 10);
    std::int32_t h = mul_div(1, scale_y, 6);
    return {h < 1 ? 1 : h, w < 1 ? 1 : w, scale_y / 6};
}

// The same at the device's own resolution.
inline TextMetrics text_metrics_device(const DeviceCaps& caps)
{
    return {mul_div(1, caps.logpixelsy, 6), mul_div(1, caps.logpixelsx, 10), caps.logpixelsy / 6};
}

} // namespace qm
