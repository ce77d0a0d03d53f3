// Memory rasters behind the Canvas interface: the page of qmspool and of the tests, the band
// surfaces placed on it and the 16-bit preview cache. They behave as a GDI device context over a
// device-independent bitmap behaves with its defaults: scaled copies in the BLACKONWHITE stretch
// mode, black text on an opaque white background in a fixed-pitch font.
//
// Text is set in Liberation Mono (the metrics of the fixed-pitch face the Windows program asks
// for), which the program carries (render/text_font.h). Should that face fail to load, no text is
// drawn, the advances stay the same, and the canvas says its page lost text (text_lost), so that
// the caller fails the page rather than hand it on without its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "render/canvas.h"
#include "render/pending_white.h"
#include "spool/spool_limits.h"

namespace qm {

namespace raster {
struct PixelView;
}

// The text state of one raster target: the selected size and the face scaled to it. Defined in
// the .cpp so that no FreeType header leaks out of it.
class RasterFont;

// True when text can be drawn: the built-in face loaded.
bool raster_text_available();

// A 24-bit page raster: blue, green, red bytes, row 0 at the top, rows stride() bytes apart
// (a multiple of 4, as in a DIB). It starts white.
class RasterCanvas final : public Canvas {
public:
    // Null when the size is negative, the raster would pass MaxRasterBytes, or the memory is not
    // there. A size of 0 gives an empty canvas on which every drawing call does nothing.
    static std::unique_ptr<RasterCanvas> create(const DeviceCaps& caps);

    ~RasterCanvas() override;
    RasterCanvas(const RasterCanvas&) = delete;
    RasterCanvas& operator=(const RasterCanvas&) = delete;

    std::int32_t width() const { return caps_.horzres; }
    std::int32_t height() const { return caps_.vertres; }
    std::ptrdiff_t stride() const { return stride_; }
    // The raster's memory, every promised white written first: a row may be read, and written
    // through the pointer, as long as no drawing call comes between.
    const std::uint8_t* row(std::int32_t y) const
    {
        settle();
        return bits_.get() + y * stride_;
    }
    std::uint8_t* row(std::int32_t y)
    {
        settle();
        return bits_.get() + y * stride_;
    }
    // Pixel (x, y) as 0xRRGGBB; x and y must lie inside the raster.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const
    {
        const std::uint8_t* p = row(y) + 3 * x;
        return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 |
               p[0];
    }

    // True once text was to be drawn here and the face could not be loaded: the page lacks it.
    bool text_lost() const { return text_lost_; }

    DeviceCaps caps() const override { return caps_; }
    void fill_white(const Rect& r) override;
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                     std::int32_t height) override;
    void stretch_band(const BandSurface& band, const Rect& dst) override;
    bool select_font(std::int32_t char_height, std::int32_t avg_width) override;
    void release_font() override;
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* text,
                          std::size_t length) override;
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t width,
                                                         std::int32_t height) override;
    void draw_preview(const PreviewSurface& cache) override;

private:
    RasterCanvas(const DeviceCaps& caps, std::unique_ptr<std::uint8_t[]> bits,
                 std::ptrdiff_t stride);

    raster::PixelView view();
    void settle() const
    {
        pending_.settle_all(
            [this](std::int32_t a, std::int32_t b, std::int64_t from, std::int64_t to) {
                for (std::int32_t y = a; y < b; ++y)
                    std::memset(bits_.get() + y * stride_ + from, 0xFF,
                                static_cast<std::size_t>(to - from));
            });
    }

    DeviceCaps caps_;
    std::unique_ptr<std::uint8_t[]> bits_;
    std::ptrdiff_t stride_ = 0;
    // In bytes. Reading the pixels writes it: the raster reads the same.
    mutable PendingWhite pending_;
    std::unique_ptr<RasterFont> font_;
    bool text_lost_ = false;
};

// The preview cache in memory: 16-bit 5-5-5 pixels (white is 0x7FFF), the bottom row first, rows
// a multiple of 4 bytes apart, as a positive-height DIB stores them. It is a canvas of its own:
// bands and text are drawn into it as into the window.
//
// Its caps() give its own size, the resolution of the canvas that created it, and NUMCOLORS -1:
// a 16-bit surface is a colour device, so its text is anti-aliased even when the creator is
// monochrome (the cache is made for the screen, not for the device it was created from).
class RasterPreviewSurface final : public PreviewSurface {
public:
    // Null when the size is negative, passes MaxRasterBytes, or the memory is not there.
    static std::unique_ptr<RasterPreviewSurface> create(std::int32_t width, std::int32_t height,
                                                        std::int32_t logpixelsx,
                                                        std::int32_t logpixelsy);

    ~RasterPreviewSurface() override;
    RasterPreviewSurface(const RasterPreviewSurface&) = delete;
    RasterPreviewSurface& operator=(const RasterPreviewSurface&) = delete;

    // The memory as a DIB holds it: row 0 is the bottom row of the picture.
    std::ptrdiff_t stride() const { return stride_; }
    const std::uint8_t* memory_row(std::int32_t i) const { return bits_ + i * stride_; }

    DeviceCaps caps() const override;
    void fill_white(const Rect& r) override;
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                     std::int32_t height) override;
    void stretch_band(const BandSurface& band, const Rect& dst) override;
    bool select_font(std::int32_t char_height, std::int32_t avg_width) override;
    void release_font() override;
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* text,
                          std::size_t length) override;
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t width,
                                                         std::int32_t height) override;
    void draw_preview(const PreviewSurface& cache) override;

private:
    RasterPreviewSurface(std::int32_t width, std::int32_t height, std::int32_t logpixelsx,
                         std::int32_t logpixelsy, std::unique_ptr<std::uint8_t[]> memory,
                         std::ptrdiff_t stride);

    std::unique_ptr<std::uint8_t[]> memory_;
    std::int32_t logpixelsx_ = 0;
    std::int32_t logpixelsy_ = 0;
    std::unique_ptr<RasterFont> font_;
};

// A white 24-bit band surface made without a canvas (every raster canvas makes the same kind).
// An empty surface for a width or height of 0; null when either is negative, when the pixels
// would pass MaxBandImageBytes, or when the memory is not there.
std::unique_ptr<BandSurface> create_raster_band_surface(std::int32_t width, std::int32_t height);

} // namespace qm
