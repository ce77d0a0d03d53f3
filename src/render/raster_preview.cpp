#include "render/raster_canvas.h"

#include <new>
#include <utility>

#include "render/raster_font.h"
#include "render/raster_pixels.h"
#include "render/raster_stretch.h"

namespace qm {

using namespace raster;

// ---------------------------------------------------------------------------------------------
// RasterPreviewSurface

RasterPreviewSurface::RasterPreviewSurface(std::int32_t width, std::int32_t height,
                                           std::int32_t logpixelsx, std::int32_t logpixelsy,
                                           std::unique_ptr<std::uint8_t[]> memory,
                                           std::ptrdiff_t stride)
    : memory_(std::move(memory)), logpixelsx_(logpixelsx), logpixelsy_(logpixelsy)
{
    bits_ = memory_.get();
    width_ = width;
    height_ = height;
    stride_ = stride;
}

RasterPreviewSurface::~RasterPreviewSurface() = default;

std::unique_ptr<RasterPreviewSurface> RasterPreviewSurface::create(std::int32_t width,
                                                                   std::int32_t height,
                                                                   std::int32_t logpixelsx,
                                                                   std::int32_t logpixelsy)
{
    if (width < 0 || height < 0)
        return nullptr;
    const std::uint64_t stride = padded_row_bytes(width, 2);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    if (bytes > MaxRasterBytes)
        return nullptr;
    std::unique_ptr<std::uint8_t[]> memory = allocate(bytes);
    if (!memory)
        return nullptr;
    Rgb555::fill_white(memory.get(), static_cast<std::int32_t>(bytes / 2));
    return std::unique_ptr<RasterPreviewSurface>(new (std::nothrow) RasterPreviewSurface(
        width, height, logpixelsx, logpixelsy, std::move(memory),
        static_cast<std::ptrdiff_t>(stride)));
}

namespace {
// The top row is the last one in memory.
PixelView view_of(std::uint8_t* bits, std::ptrdiff_t stride, std::int32_t width,
                  std::int32_t height)
{
    if (height == 0)
        return PixelView{bits, stride, width, 0};
    return PixelView{bits + (height - 1) * stride, -stride, width, height};
}
} // namespace

DeviceCaps RasterPreviewSurface::caps() const
{
    DeviceCaps c;
    c.horzres = width_;
    c.vertres = height_;
    c.logpixelsx = logpixelsx_;
    c.logpixelsy = logpixelsy_;
    c.numcolors = -1;
    return c;
}

void RasterPreviewSurface::fill_white(const Rect& r)
{
    fill_white_rect<Rgb555>(view_of(bits_, stride_, width_, height_), r);
}

std::unique_ptr<BandSurface> RasterPreviewSurface::create_band_surface(std::int32_t width,
                                                                       std::int32_t height)
{
    return create_raster_band_surface(width, height);
}

void RasterPreviewSurface::stretch_band(const BandSurface& band, const Rect& dst)
{
    stretch_to<Rgb555>(view_of(bits_, stride_, width_, height_), band, dst);
}

bool RasterPreviewSurface::select_font(std::int32_t char_height, std::int32_t avg_width)
{
    return select_raster_font(font_, char_height, avg_width, false);
}

void RasterPreviewSurface::release_font()
{
    if (font_)
        font_->deselect();
}

std::int32_t RasterPreviewSurface::text_out(std::int32_t x, std::int32_t y, const char* text,
                                            std::size_t length)
{
    return draw_text<Rgb555>(view_of(bits_, stride_, width_, height_), font_.get(), x, y, text,
                             length);
}

std::unique_ptr<PreviewSurface> RasterPreviewSurface::create_preview_cache(std::int32_t width,
                                                                           std::int32_t height)
{
    return RasterPreviewSurface::create(width, height, logpixelsx_, logpixelsy_);
}

void RasterPreviewSurface::draw_preview(const PreviewSurface& cache)
{
    const PixelView view = view_of(bits_, stride_, width_, height_);
    copy_preview<2>(
        cache, width_, height_, [&view](std::int32_t y) { return view.row(y); },
        [](std::uint8_t* out, unsigned v) {
            out[0] = static_cast<std::uint8_t>(v);
            out[1] = static_cast<std::uint8_t>(v >> 8);
        });
}

} // namespace qm