#include "platform/win32/gdi_canvas.h"

#include <climits>
#include <cstring>

namespace qm::win {

namespace {

// Anything larger is a size nobody meant (a Letter page at 1200 dpi in 24-bit colour is about
// 400 MiB).
constexpr long long MaxSurfaceBytes = 1ll << 30;

int clamp_length(std::size_t length)
{
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

// Row length of a DIB: whole pixels, padded to 4 bytes. 0 when the surface would be too large.
long long dib_stride(std::int32_t width, std::int32_t height, int bytes_per_pixel)
{
    if (width <= 0 || height <= 0)
        return 0;
    const long long stride = (static_cast<long long>(width) * bytes_per_pixel + 3) & ~3ll;
    if (stride * height > MaxSurfaceBytes)
        return 0;
    return stride;
}

// A DIB section with its bits, or an empty one when it cannot be made.
GdiObject make_dib(HDC dc, std::int32_t width, std::int32_t height, int bits_per_pixel,
                   bool top_down, void** bits)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = top_down ? -height : height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = static_cast<WORD>(bits_per_pixel);
    bmi.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    GdiObject bitmap(CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, bits, nullptr, 0));
    if (!*bits)
        bitmap.reset();
    return bitmap;
}

} // namespace

// ---- GdiCanvas

GdiCanvas::~GdiCanvas()
{
    release_font();
}

DeviceCaps GdiCanvas::caps() const
{
    DeviceCaps c;
    c.horzres = GetDeviceCaps(dc_, HORZRES);
    c.vertres = GetDeviceCaps(dc_, VERTRES);
    c.logpixelsx = GetDeviceCaps(dc_, LOGPIXELSX);
    c.logpixelsy = GetDeviceCaps(dc_, LOGPIXELSY);
    c.numcolors = GetDeviceCaps(dc_, NUMCOLORS);
    c.physical_offset_x = GetDeviceCaps(dc_, PHYSICALOFFSETX);
    c.physical_offset_y = GetDeviceCaps(dc_, PHYSICALOFFSETY);
    return c;
}

void GdiCanvas::fill_white(const Rect& r)
{
    PatBlt(dc_, r.left, r.top, r.width, r.height, WHITENESS);
}

std::unique_ptr<BandSurface> GdiCanvas::create_band_surface(std::int32_t width, std::int32_t height)
{
    return GdiBandSurface::create(dc_, width, height);
}

void GdiCanvas::stretch_band(const BandSurface& band, const Rect& dst)
{
    const auto* surface = dynamic_cast<const GdiBandSurface*>(&band);
    if (!surface)
        return;
    MemoryDc source(CreateCompatibleDC(dc_));
    if (!source)
        return;
    Selection selected(source.get(), surface->bitmap());
    if (!selected.ok())
        return;
    // The device context's own stretch mode stands (BLACKONWHITE unless someone changed it).
    StretchBlt(dc_, dst.left, dst.top, dst.width, dst.height, source.get(), 0, 0, band.width(),
               band.height(), SRCCOPY);
}

bool GdiCanvas::select_font(std::int32_t char_height, std::int32_t avg_width)
{
    release_font();
    // Negative sizes ask for the character height (not the cell height) and average width.
    GdiObject font(CreateFontA(-char_height, -avg_width, 0, 0, 0, FALSE, FALSE, FALSE, ANSI_CHARSET,
                               0, 0, 0, FIXED_PITCH, "Courier New"));
    if (!font)
        return false;
    HGDIOBJ replaced = SelectObject(dc_, font.get());
    if (!replaced || replaced == HGDI_ERROR)
        return false;
    font_replaced_ = replaced;
    font_ = std::move(font);
    return true;
}

void GdiCanvas::release_font()
{
    if (!font_)
        return;
    SelectObject(dc_, font_replaced_);
    font_replaced_ = nullptr;
    font_.reset();
}

std::int32_t GdiCanvas::text_out(std::int32_t x, std::int32_t y, const char* text,
                                 std::size_t length)
{
    const int n = clamp_length(length);
    TextOutA(dc_, x, y, text, n);
    SIZE extent{};
    if (!GetTextExtentPoint32A(dc_, text, n, &extent))
        return 0;
    return extent.cx;
}

std::unique_ptr<PreviewSurface> GdiCanvas::create_preview_cache(std::int32_t width,
                                                                std::int32_t height)
{
    return GdiPreviewSurface::create(width, height);
}

void GdiCanvas::draw_preview(const PreviewSurface& cache)
{
    const auto* surface = dynamic_cast<const GdiPreviewSurface*>(&cache);
    if (!surface)
        return;
    BitBlt(dc_, 0, 0, cache.width(), cache.height(), surface->dc(), 0, 0, SRCCOPY);
}

// ---- GdiBandSurface

std::unique_ptr<GdiBandSurface> GdiBandSurface::create(HDC compatible, std::int32_t width,
                                                       std::int32_t height)
{
    const long long stride = dib_stride(width, height, 3);
    if (stride == 0)
        return nullptr;
    void* bits = nullptr;
    GdiObject bitmap = make_dib(compatible, width, height, 24, true, &bits);
    if (!bitmap)
        return nullptr;
    std::unique_ptr<GdiBandSurface> surface(new GdiBandSurface());
    surface->bitmap_ = std::move(bitmap);
    surface->bits_ = static_cast<std::uint8_t*>(bits);
    surface->width_ = width;
    surface->height_ = height;
    surface->stride_ = static_cast<std::ptrdiff_t>(stride);
    std::memset(bits, 0xFF, static_cast<std::size_t>(stride * height));
    return surface;
}

// ---- GdiPreviewSurface

std::unique_ptr<GdiPreviewSurface> GdiPreviewSurface::create(std::int32_t width,
                                                             std::int32_t height)
{
    const long long stride = dib_stride(width, height, 2);
    if (stride == 0)
        return nullptr;
    MemoryDc dc;
    {
        // Compatible with the screen, whatever device the page is drawn for.
        HDC screen = GetDC(nullptr);
        if (!screen)
            return nullptr;
        dc.reset(CreateCompatibleDC(screen));
        ReleaseDC(nullptr, screen);
    }
    if (!dc)
        return nullptr;
    void* bits = nullptr;
    GdiObject bitmap = make_dib(dc.get(), width, height, 16, false, &bits);
    if (!bitmap)
        return nullptr;
    // White in 5-5-5 is 0x7FFF, as GDI itself writes it.
    for (std::int32_t y = 0; y < height; ++y) {
        auto* row = static_cast<std::uint8_t*>(bits) + y * stride;
        for (std::int32_t x = 0; x < width; ++x) {
            row[2 * x] = 0xFF;
            row[2 * x + 1] = 0x7F;
        }
    }
    HGDIOBJ replaced = SelectObject(dc.get(), bitmap.get());
    if (!replaced || replaced == HGDI_ERROR)
        return nullptr;

    std::unique_ptr<GdiPreviewSurface> surface(new GdiPreviewSurface());
    surface->bitmap_ = std::move(bitmap);
    surface->dc_ = std::move(dc);
    surface->bitmap_replaced_ = replaced;
    surface->canvas_ = std::make_unique<GdiCanvas>(surface->dc_.get());
    surface->bits_ = static_cast<std::uint8_t*>(bits);
    surface->width_ = width;
    surface->height_ = height;
    surface->stride_ = static_cast<std::ptrdiff_t>(stride);
    return surface;
}

GdiPreviewSurface::~GdiPreviewSurface()
{
    canvas_.reset();
    if (dc_ && bitmap_replaced_)
        SelectObject(dc_.get(), bitmap_replaced_);
}

DeviceCaps GdiPreviewSurface::caps() const
{
    // Its own size and the screen's resolution; a 16-bit surface is a colour device.
    DeviceCaps c = canvas_->caps();
    c.horzres = width_;
    c.vertres = height_;
    c.numcolors = -1;
    c.physical_offset_x = 0;
    c.physical_offset_y = 0;
    return c;
}

// Drawing goes through GDI, which may batch it; flushing after each call makes the bits that
// pixel() reads current.
void GdiPreviewSurface::fill_white(const Rect& r)
{
    canvas_->fill_white(r);
    GdiFlush();
}

std::unique_ptr<BandSurface> GdiPreviewSurface::create_band_surface(std::int32_t width,
                                                                    std::int32_t height)
{
    return canvas_->create_band_surface(width, height);
}

void GdiPreviewSurface::stretch_band(const BandSurface& band, const Rect& dst)
{
    canvas_->stretch_band(band, dst);
    GdiFlush();
}

bool GdiPreviewSurface::select_font(std::int32_t char_height, std::int32_t avg_width)
{
    return canvas_->select_font(char_height, avg_width);
}

void GdiPreviewSurface::release_font()
{
    canvas_->release_font();
}

std::int32_t GdiPreviewSurface::text_out(std::int32_t x, std::int32_t y, const char* text,
                                         std::size_t length)
{
    const std::int32_t advance = canvas_->text_out(x, y, text, length);
    GdiFlush();
    return advance;
}

std::unique_ptr<PreviewSurface> GdiPreviewSurface::create_preview_cache(std::int32_t width,
                                                                        std::int32_t height)
{
    return GdiPreviewSurface::create(width, height);
}

void GdiPreviewSurface::draw_preview(const PreviewSurface& cache)
{
    canvas_->draw_preview(cache);
    GdiFlush();
}

} // namespace qm::win
