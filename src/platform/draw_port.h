// Drawing on a window: the few device-context operations the status screen uses, the window's
// device contexts, and a Canvas over a device context for the page renderer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/handles.h"
#include "render/canvas.h"

namespace qm {

// The two stock fonts of the status screen.
enum class StockFont { SystemFixed, DefaultGui };

// A colour as the platform stores it: 0x00BBGGRR.
constexpr std::uint32_t rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 |
           static_cast<std::uint32_t>(b) << 16;
}

DeviceCaps device_caps(DrawContext dc);
void fill_white(DrawContext dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height);
void set_text_colour(DrawContext dc, std::uint32_t colour);
void select_stock_font(DrawContext dc, StockFont font);
// Height of the selected font's character cell.
std::int32_t text_height(DrawContext dc);
// One line of 8-bit text with its cell's top-left corner at (x, y).
void draw_text(DrawContext dc, std::int32_t x, std::int32_t y, const char* text,
               std::size_t length);

// The page renderer's view of a device context. The canvas does not own the context and must
// not outlive it.
std::unique_ptr<Canvas> open_canvas(DrawContext dc);

// Runs `painter` on the context of a repaint of the window (BeginPaint .. EndPaint).
void paint_window(Window window, void (*painter)(DrawContext dc));

// The window's device context outside a repaint; null when it cannot be had.
DrawContext acquire_window_dc(Window window);
void release_window_dc(Window window, DrawContext dc);

// Holds a window's device context and gives it back on every way out.
class WindowDc {
public:
    explicit WindowDc(Window window) : window_(window), dc_(acquire_window_dc(window)) {}
    ~WindowDc()
    {
        if (dc_)
            release_window_dc(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    DrawContext get() const { return dc_; }

private:
    Window window_;
    DrawContext dc_;
};

} // namespace qm
