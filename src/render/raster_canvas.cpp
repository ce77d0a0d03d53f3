#include "render/raster_canvas.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "render/raster_font.h"
#include "render/raster_pixels.h"
#include "render/raster_stretch.h"
#include "spool/spool_limits.h"

namespace qm {

using namespace raster;

namespace {

// ---------------------------------------------------------------------------------------------
// Band surfaces

class RasterBandSurface final : public BandSurface {
public:
    RasterBandSurface(std::int32_t width, std::int32_t height, std::ptrdiff_t stride,
                      std::unique_ptr<std::uint8_t[]> memory)
        : memory_(std::move(memory))
    {
        bits_ = memory_.get();
        width_ = width;
        height_ = height;
        stride_ = stride;
    }

private:
    std::unique_ptr<std::uint8_t[]> memory_;
};

} // namespace

std::unique_ptr<BandSurface> create_raster_band_surface(std::int32_t width, std::int32_t height)
{
    if (!band_surface_fits(width, height))
        return nullptr;
    if (width == 0 || height == 0) {
        // Nothing to hold, but the renderer still places it (and moves on by its height).
        return std::unique_ptr<BandSurface>(new (std::nothrow)
                                                RasterBandSurface(width, height, 0, nullptr));
    }
    const std::uint64_t stride = padded_row_bytes(width, 3);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    std::unique_ptr<std::uint8_t[]> memory = allocate(bytes);
    if (!memory)
        return nullptr;
    std::memset(memory.get(), 0xFF, bytes);
    return std::unique_ptr<BandSurface>(new (std::nothrow) RasterBandSurface(
        width, height, static_cast<std::ptrdiff_t>(stride), std::move(memory)));
}

// ---------------------------------------------------------------------------------------------
// RasterCanvas

namespace {

// Every byte of a page raster is written before it is read (the drawing or the promised white),
// and on Linux each 4 KiB page's first touch is a fault: 25,000 of them for a Letter page at 600
// dpi, which took longer than drawing the page. Asking for them all at once costs the kernel a
// third less. Only a hint: an older kernel declines it and the pages come one fault at a time.
// (Large pages would make them 50, but where the kernel compacts memory for them on the fault,
// as it commonly does for a region that asks, the first touch waited 150 to 300 ms.)
void populate_pages(std::uint8_t* memory, std::uint64_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    constexpr std::uint64_t Page = 4096;
    if (bytes < 1024 * Page)
        return;
    const auto first = (reinterpret_cast<std::uintptr_t>(memory) + Page - 1) & ~(Page - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(memory) + bytes) & ~(Page - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)memory;
    (void)bytes;
#endif
}

} // namespace

RasterCanvas::RasterCanvas(const DeviceCaps& caps, std::unique_ptr<std::uint8_t[]> bits,
                           std::ptrdiff_t stride)
    : caps_(caps), bits_(std::move(bits)), stride_(stride)
{
}

RasterCanvas::~RasterCanvas() = default;

std::unique_ptr<RasterCanvas> RasterCanvas::create(const DeviceCaps& caps)
{
    if (caps.horzres < 0 || caps.vertres < 0)
        return nullptr;
    const std::uint64_t stride = padded_row_bytes(caps.horzres, 3);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(caps.vertres);
    if (bytes > MaxRasterBytes)
        return nullptr;
    std::unique_ptr<std::uint8_t[]> bits = allocate(bytes);
    if (!bits)
        return nullptr;
    populate_pages(bits.get(), bytes);
    std::unique_ptr<RasterCanvas> canvas(new (std::nothrow) RasterCanvas(
        caps, std::move(bits), static_cast<std::ptrdiff_t>(stride)));
    // White from the start, padding included; written as drawing reaches each row.
    if (canvas && !canvas->pending_.promise(0, caps.vertres, 0, caps.vertres, 0,
                                            static_cast<std::int64_t>(stride)))
        std::memset(canvas->bits_.get(), 0xFF, bytes);
    return canvas;
}

PixelView RasterCanvas::view()
{
    return PixelView{bits_.get(), stride_, width(), height(), &pending_};
}

void RasterCanvas::fill_white(const Rect& r)
{
    const Range xs = clip(r.left, r.width, width());
    const Range ys = clip(r.top, r.height, height());
    if (xs.empty() || ys.empty())
        return;
    const auto top = static_cast<std::int32_t>(ys.begin),
               bottom = static_cast<std::int32_t>(ys.end);
    const auto begin = static_cast<std::int64_t>(xs.begin) * 3;
    const auto end = static_cast<std::int64_t>(xs.end) * 3;
    if (pending_.promise(0, height(), top, bottom, begin, end))
        return;
    settle();
    if (!pending_.promise(0, height(), top, bottom, begin, end))
        fill_white_rect<Bgr24>(view(), r); // no memory to keep the promise: written now
}

std::unique_ptr<BandSurface> RasterCanvas::create_band_surface(std::int32_t width,
                                                               std::int32_t height)
{
    return create_raster_band_surface(width, height);
}

void RasterCanvas::stretch_band(const BandSurface& band, const Rect& dst)
{
    stretch_to<Bgr24>(view(), band, dst);
}

bool RasterCanvas::select_font(std::int32_t char_height, std::int32_t avg_width)
{
    return select_raster_font(font_, char_height, avg_width, caps_.numcolors == 2);
}

void RasterCanvas::release_font()
{
    if (font_)
        font_->deselect();
}

std::int32_t RasterCanvas::text_out(std::int32_t x, std::int32_t y, const char* text,
                                    std::size_t length)
{
    if (text && length > 0 && !raster_text_available())
        text_lost_ = true;
    return draw_text<Bgr24>(view(), font_.get(), x, y, text, length);
}

std::unique_ptr<PreviewSurface> RasterCanvas::create_preview_cache(std::int32_t width,
                                                                   std::int32_t height)
{
    return RasterPreviewSurface::create(width, height, caps_.logpixelsx, caps_.logpixelsy);
}

void RasterCanvas::draw_preview(const PreviewSurface& cache)
{
    copy_preview<3>(
        cache, width(), height(), [this](std::int32_t y) { return row(y); },
        [](std::uint8_t* out, unsigned v) {
            const unsigned r = v >> 10 & 0x1F, g = v >> 5 & 0x1F, b = v & 0x1F;
            // 5 bits to 8 so that 31 becomes 255 and 0 stays 0.
            out[0] = static_cast<std::uint8_t>(b << 3 | b >> 2);
            out[1] = static_cast<std::uint8_t>(g << 3 | g >> 2);
            out[2] = static_cast<std::uint8_t>(r << 3 | r >> 2);
        });
}

} // namespace qm
