// What the page renderer needs of a device, in the program's own terms. A window's or a
// printer's device context stands behind it in the Windows program; memory rasters stand
// behind it in qmspool and the tests.
//
// Calls through this interface are per band, per text line or per page, never per pixel: band
// pixels are written straight into a BandSurface's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qm {

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The device capabilities the renderer and the job driver read (GetDeviceCaps indexes).
struct DeviceCaps {
    std::int32_t horzres = 0;  // drawing area width, device pixels
    std::int32_t vertres = 0;  // drawing area height
    std::int32_t logpixelsx = 0;
    std::int32_t logpixelsy = 0;
    std::int32_t numcolors = -1; // 2 on a monochrome device
    std::int32_t physical_offset_x = 0;
    std::int32_t physical_offset_y = 0;
};

// A band's 24-bit surface: width x height pixels of blue, green, red bytes, row 0 at the top,
// rows `stride` bytes apart. It starts white.
class BandSurface {
public:
    virtual ~BandSurface() = default;
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::ptrdiff_t stride() const { return stride_; }
    std::uint8_t* row(std::int32_t y) { return bits_ + y * stride_; }
    const std::uint8_t* row(std::int32_t y) const { return bits_ + y * stride_; }

protected:
    std::uint8_t* bits_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::ptrdiff_t stride_ = 0;
};

class PreviewSurface;

// A drawing target.
class Canvas {
public:
    virtual ~Canvas() = default;

    virtual DeviceCaps caps() const = 0;

    // Fills a rectangle white (PatBlt WHITENESS); parts outside the device are ignored.
    virtual void fill_white(const Rect& r) = 0;

    // A white band surface compatible with this canvas, or null when it cannot be made (too
    // large, or no memory).
    virtual std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                             std::int32_t height) = 0;

    // Copies the whole surface scaled onto `dst` (StretchBlt, SRCCOPY, default stretch mode
    // BLACKONWHITE: shrinking ANDs the dropped pixels together, enlarging repeats pixels).
    // `dst` may have a negative or zero size and may lie partly or wholly off the device.
    virtual void stretch_band(const BandSurface& band, const Rect& dst) = 0;

    // Selects a fixed-pitch font of the given character height and average character width
    // (both in device units, at least 1 expected but not enforced) for text_out. False when no
    // font could be made; text_out then draws in the device's default font.
    virtual bool select_font(std::int32_t char_height, std::int32_t avg_width) = 0;
    // Goes back to the device's default font and releases the selected one.
    virtual void release_font() = 0;

    // Draws 8-bit characters with their cell's top-left corner at (x, y), black on an opaque
    // white background (the device context's defaults). Returns the advance in device units.
    virtual std::int32_t text_out(std::int32_t x, std::int32_t y, const char* text,
                                  std::size_t length) = 0;

    // The window's preview cache: a new white 16-bit (5-5-5) surface of the given size,
    // compatible with the screen. Null when it cannot be made.
    virtual std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t width,
                                                                 std::int32_t height) = 0;

    // Copies the cache unscaled to (0, 0) of this canvas (BitBlt, SRCCOPY).
    virtual void draw_preview(const PreviewSurface& cache) = 0;

    // The page (or the repaint) is drawn: a canvas that holds drawing back writes it now, so
    // that whoever reads the device next (a printer's end of page, a window on screen) sees it
    // all. Drawing may go on afterwards.
    virtual void finish_page() {}
};

// The preview cache is itself a canvas (bands and text are drawn into it as into the window)
// with 16-bit 5-5-5 pixels, rows stored bottom-up as a positive-height DIB stores them.
class PreviewSurface : public Canvas {
public:
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // Pixel (x, y), y counted from the top: red bits 14-10, green 9-5, blue 4-0.
    std::uint16_t pixel(std::int32_t x, std::int32_t y) const
    {
        const std::uint8_t* p = bits_ + (height_ - 1 - y) * stride_ + 2 * x;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }

protected:
    std::uint8_t* bits_ = nullptr; // bottom row first
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::ptrdiff_t stride_ = 0;
};

} // namespace qm
