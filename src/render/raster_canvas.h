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
#include <memory>

#include "render/canvas.h"

namespace qm {

namespace raster {
struct PixelView;
}

// The largest raster (page or preview cache) we allocate: a Letter page at 1200 dpi in 24-bit
// colour is about 400 MiB, so anything past this is a size nobody meant.
inline constexpr std::uint64_t MaxRasterBytes = 1ull << 30;

// The text state of one raster target: the selected size and the face scaled to it. Defined in
// the .cpp so that no FreeType header leaks out of it.
class RasterFont;

// True when text can be drawn: the built-in face loaded.
bool raster_text_available();

// White that a fill has promised a raster but not yet written. A page is filled white and then
// almost wholly covered by bands, so the white is written only where a row is first touched, and
// there only outside what the drawing is about to overwrite: each pixel of a covered page is
// written once. Rows are settled one at a time as drawing reaches them; reading the raster from
// outside settles them all first, so nobody can see the difference.
class PendingWhite {
public:
    // Promises white over bytes [begin, end) of rows [top, bottom) (clipped by the caller), on
    // top of what is already promised; false when the two cannot be held as one promise (the
    // caller then settles the old one and tries again) or there is no memory for the rows.
    bool promise(std::int32_t rows, std::int32_t top, std::int32_t bottom, std::size_t begin,
                 std::size_t end);
    bool any() const { return count_ > 0; }
    // Writes the promised white of row y (whose memory is `row`), except bytes [keep_begin,
    // keep_end), which the caller is about to overwrite; the row then owes nothing.
    void settle(std::uint8_t* row, std::int32_t y, std::size_t keep_begin = 0,
                std::size_t keep_end = 0)
    {
        if (count_ > 0 && owed_[y])
            settle_owed(row, y, keep_begin, keep_end);
    }
    // Settles every row; `top` is the memory of row 0, rows `stride` bytes apart.
    void settle_all(std::uint8_t* top, std::ptrdiff_t stride);

private:
    void settle_owed(std::uint8_t* row, std::int32_t y, std::size_t keep_begin,
                     std::size_t keep_end);

    std::unique_ptr<std::uint8_t[]> owed_; // 1 for each row that still owes its white
    std::int32_t rows_ = 0;                // rows owed_ has room for
    std::int32_t count_ = 0;               // rows that owe it
    std::int32_t top_ = 0, bottom_ = 0;    // every owing row lies in [top_, bottom_)
    std::size_t begin_ = 0, end_ = 0;      // the bytes of each owing row that are white
};

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
        if (pending_.any())
            pending_.settle_all(bits_.get(), stride_);
    }

    DeviceCaps caps_;
    std::unique_ptr<std::uint8_t[]> bits_;
    std::ptrdiff_t stride_ = 0;
    mutable PendingWhite pending_; // reading the pixels writes it: the raster reads the same
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
