#include "platform/win32/gdi_canvas.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "spool/spool_limits.h"

namespace qm::win {

namespace {

int clamp_length(std::size_t length)
{
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

// Row length of a DIB: whole pixels, padded to 4 bytes. 0 when the surface is empty.
long long dib_stride(std::int32_t width, std::int32_t height, int bytes_per_pixel)
{
    if (width <= 0 || height <= 0)
        return 0;
    return (static_cast<long long>(width) * bytes_per_pixel + 3) & ~3ll;
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

// White over [left, right) x [top, bottom), if anything.
void white(HDC dc, std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom)
{
    if (left < right && top < bottom)
        PatBlt(dc, static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
               static_cast<int>(bottom - top), WHITENESS);
}

// True when the far edges of `r` are ints, as GDI computes them.
bool edges_fit(const Rect& r)
{
    return std::int64_t{r.left} + r.width <= INT_MAX && std::int64_t{r.top} + r.height <= INT_MAX;
}

} // namespace

// ---- GdiCanvas

GdiCanvas::GdiCanvas(HDC dc, bool hold_white)
    : dc_(dc), hold_white_(hold_white && GetDeviceCaps(dc, TECHNOLOGY) == DT_RASDISPLAY)
{
}

GdiCanvas::~GdiCanvas()
{
    write_all_held();
    release_font();
}

bool GdiCanvas::plain_mapping() const
{
    return GetMapMode(dc_) == MM_TEXT && GetGraphicsMode(dc_) == GM_COMPATIBLE &&
           GetLayout(dc_) == 0;
}

void GdiCanvas::write_all_held()
{
    held_.settle_all([this](std::int32_t a, std::int32_t b, std::int64_t left, std::int64_t right) {
        white(dc_, left, a, right, b);
    });
}

template <typename Draw> void GdiCanvas::overwrite(const Rect& dst, Draw draw)
{
    if (!held_.any()) {
        draw();
        return;
    }
    if (dst.width <= 0 || dst.height <= 0 || !edges_fit(dst) || !plain_mapping()) {
        // Which pixels a mirrored or empty rectangle reaches is GDI's to say: all the white
        // first, as a fill written at once would have it.
        write_all_held();
        draw();
        return;
    }
    // SRCCOPY from a source that holds the whole source rectangle writes every pixel of the
    // destination that the clip lets through, as a PatBlt there would.
    const std::int32_t right = dst.left + dst.width;
    std::vector<std::pair<std::int32_t, std::int32_t>> kept; // rows whose middle was left
    held_.settle(
        dst.top, std::int64_t{dst.top} + dst.height, dst.left, right,
        [&](std::int32_t a, std::int32_t b, std::int64_t from, std::int64_t to) {
            white(dc_, from, a, to, b);
        },
        [&](std::int32_t a, std::int32_t b) { kept.emplace_back(a, b); });
    if (draw())
        return;
    for (const auto& [a, b] : kept)
        white(dc_, std::max<std::int64_t>(held_.begin(), dst.left), a,
              std::min<std::int64_t>(held_.end(), right), b);
}

void GdiCanvas::finish_page()
{
    write_all_held();
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
    auto at_once = [&] { PatBlt(dc_, r.left, r.top, r.width, r.height, WHITENESS); };
    if (!hold_white_ || r.width <= 0 || r.height <= 0 || !edges_fit(r) || !plain_mapping())
        return at_once();
    // Only what can be seen is held: the clip box bounds every pixel any drawing can reach.
    RECT clip{};
    const int region = GetClipBox(dc_, &clip);
    const std::int32_t top = std::max<std::int32_t>(r.top, clip.top);
    const std::int32_t bottom = std::min<std::int32_t>(r.top + r.height, clip.bottom);
    const std::int32_t left = std::max<std::int32_t>(r.left, clip.left);
    const std::int32_t right = std::min<std::int32_t>(r.left + r.width, clip.right);
    if (region == ERROR || region == NULLREGION || top >= bottom || left >= right)
        return at_once();
    const std::int32_t first_row = clip.top, rows = clip.bottom - clip.top;
    if (held_.promise(first_row, rows, top, bottom, left, right))
        return;
    write_all_held();
    if (!held_.promise(first_row, rows, top, bottom, left, right))
        at_once(); // no memory to hold it
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
    overwrite(dst, [&] {
        return StretchBlt(dc_, dst.left, dst.top, dst.width, dst.height, source.get(), 0, 0,
                          band.width(), band.height(), SRCCOPY) != FALSE;
    });
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
    // A glyph may reach past its cell and the cell's height depends on the font: all held white
    // is written first. Text goes where bands do not, so little is written twice for it.
    write_all_held();
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
    overwrite(Rect{0, 0, cache.width(), cache.height()}, [&] {
        return BitBlt(dc_, 0, 0, cache.width(), cache.height(), surface->dc(), 0, 0, SRCCOPY) !=
               FALSE;
    });
}

// ---- GdiBandSurface

std::unique_ptr<GdiBandSurface> GdiBandSurface::create(HDC compatible, std::int32_t width,
                                                       std::int32_t height)
{
    const long long stride = dib_stride(width, height, 3);
    // A band that qmspool refuses is not drawn here either.
    if (stride == 0 || !band_surface_fits(width, height))
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
    if (stride == 0 ||
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height) > MaxRasterBytes)
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
    // Its bits are read through pixel() at any moment, so nothing is held back.
    surface->canvas_ = std::make_unique<GdiCanvas>(surface->dc_.get(), false);
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

void GdiPreviewSurface::finish_page()
{
    canvas_->finish_page();
    GdiFlush();
}

} // namespace qm::win
