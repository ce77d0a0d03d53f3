// Drawing on a window through GDI.
#include <windows.h>

#include <climits>

#include "platform/draw_port.h"
#include "platform/win32/gdi_canvas.h"

namespace qm {

namespace {

HDC hdc(DrawContext dc)
{
    return reinterpret_cast<HDC>(dc);
}

// Ends a repaint begun with BeginPaint on every way out.
class PaintGuard {
public:
    explicit PaintGuard(HWND window) : window_(window), dc_(BeginPaint(window, &ps_)) {}
    ~PaintGuard() { EndPaint(window_, &ps_); }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

} // namespace

DeviceCaps device_caps(DrawContext dc)
{
    return win::GdiCanvas(hdc(dc)).caps();
}

void fill_white(DrawContext dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height)
{
    PatBlt(hdc(dc), x, y, width, height, WHITENESS);
}

void set_text_colour(DrawContext dc, std::uint32_t colour)
{
    SetTextColor(hdc(dc), colour);
}

void select_stock_font(DrawContext dc, StockFont font)
{
    // Stock objects are never deleted, so what they replace needs no keeping.
    SelectObject(hdc(dc), GetStockObject(font == StockFont::SystemFixed ? SYSTEM_FIXED_FONT
                                                                        : DEFAULT_GUI_FONT));
}

std::int32_t text_height(DrawContext dc)
{
    TEXTMETRICA tm{};
    if (!GetTextMetricsA(hdc(dc), &tm))
        return 0;
    return tm.tmHeight;
}

void draw_text(DrawContext dc, std::int32_t x, std::int32_t y, const char* text, std::size_t length)
{
    const int n = length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
    TextOutA(hdc(dc), x, y, text, n);
}

std::unique_ptr<Canvas> open_canvas(DrawContext dc)
{
    if (!dc)
        return nullptr;
    return std::make_unique<win::GdiCanvas>(hdc(dc));
}

void paint_window(Window window, void (*painter)(DrawContext dc))
{
    PaintGuard paint(reinterpret_cast<HWND>(window));
    if (paint.dc())
        painter(reinterpret_cast<DrawContext>(paint.dc()));
}

DrawContext acquire_window_dc(Window window)
{
    return reinterpret_cast<DrawContext>(GetDC(reinterpret_cast<HWND>(window)));
}

void release_window_dc(Window window, DrawContext dc)
{
    ReleaseDC(reinterpret_cast<HWND>(window), hdc(dc));
}

} // namespace qm
