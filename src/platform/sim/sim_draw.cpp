// Simulated drawing on the window: text calls kept for the tests, the renderer's drawing on a
// raster of the screen's size.
#include <memory>

#include "platform/draw_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"
#include "render/raster_canvas.h"

namespace qm {

namespace {

DeviceCaps window_caps(const sim::WindowDc& dc)
{
    DeviceCaps c;
    c.horzres = dc.screen_width;
    c.vertres = dc.screen_height;
    c.logpixelsx = 96;
    c.logpixelsy = 96;
    c.numcolors = -1;
    return c;
}

RasterCanvas* raster_of(sim::WindowDc& dc)
{
    if (!dc.raster)
        dc.raster = RasterCanvas::create(window_caps(dc));
    return dc.raster.get();
}

} // namespace

namespace sim {
namespace {

const char* font_name(StockFont font)
{
    return font == StockFont::SystemFixed ? "system_fixed" : "default_gui";
}

} // namespace

void set_font_height(StockFont font, std::int32_t height)
{
    (font == StockFont::SystemFixed ? state().fixed_height : state().gui_height) = height;
}

const std::vector<TextDrawn>& text_drawn()
{
    return state().window ? state().window->dc.text : state().no_text;
}

void clear_drawing()
{
    if (state().window)
        state().window->dc.text.clear();
}

const RasterCanvas* window_raster()
{
    return state().window ? raster_of(state().window->dc) : nullptr;
}

StockFont selected_font()
{
    return state().window ? state().window->dc.font : StockFont::SystemFixed;
}

std::uint32_t selected_colour()
{
    return state().window ? state().window->dc.colour : 0;
}

} // namespace sim

using sim::record;
using sim::state;

namespace {

// What the renderer sees of a simulated window: the window's raster, with every call recorded.
class SimCanvas final : public Canvas {
public:
    explicit SimCanvas(sim::WindowDc* dc) : dc_(dc) {}

    DeviceCaps caps() const override { return window_caps(*dc_); }
    void fill_white(const Rect& r) override
    {
        record("canvas fill_white " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
               std::to_string(r.width) + " " + std::to_string(r.height));
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->fill_white(r);
    }
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                     std::int32_t height) override
    {
        RasterCanvas* raster = raster_of(*dc_);
        return raster ? raster->create_band_surface(width, height) : nullptr;
    }
    void stretch_band(const BandSurface& band, const Rect& dst) override
    {
        record("canvas stretch_band");
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->stretch_band(band, dst);
    }
    bool select_font(std::int32_t char_height, std::int32_t avg_width) override
    {
        RasterCanvas* raster = raster_of(*dc_);
        return raster && raster->select_font(char_height, avg_width);
    }
    void release_font() override
    {
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->release_font();
    }
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* text,
                          std::size_t length) override
    {
        record("canvas text_out " + std::string(text, length));
        RasterCanvas* raster = raster_of(*dc_);
        return raster ? raster->text_out(x, y, text, length) : 0;
    }
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t width,
                                                         std::int32_t height) override
    {
        RasterCanvas* raster = raster_of(*dc_);
        return raster ? raster->create_preview_cache(width, height) : nullptr;
    }
    void draw_preview(const PreviewSurface& cache) override
    {
        record("canvas draw_preview");
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->draw_preview(cache);
    }

private:
    sim::WindowDc* dc_;
};

} // namespace

DeviceCaps device_caps(DrawContext dc)
{
    if (auto printer = sim::open_printer_canvas(dc))
        return printer->caps();
    return window_caps(*sim::dc_of(dc));
}

void fill_white(DrawContext dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height)
{
    record("fill_white " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(width) + " " + std::to_string(height));
    if (RasterCanvas* raster = raster_of(*sim::dc_of(dc)))
        raster->fill_white(Rect{x, y, width, height});
}

void set_text_colour(DrawContext dc, std::uint32_t colour)
{
    sim::dc_of(dc)->colour = colour;
}

void select_stock_font(DrawContext dc, StockFont font)
{
    sim::dc_of(dc)->font = font;
    record(std::string("select_font ") + sim::font_name(font));
}

std::int32_t text_height(DrawContext dc)
{
    return sim::dc_of(dc)->font == StockFont::SystemFixed ? state().fixed_height
                                                          : state().gui_height;
}

void draw_text(DrawContext dc, std::int32_t x, std::int32_t y, const char* text, std::size_t length)
{
    sim::WindowDc* w = sim::dc_of(dc);
    w->text.push_back(sim::TextDrawn{x, y, std::string(text, length), w->font, w->colour});
}

std::unique_ptr<Canvas> open_canvas(DrawContext dc)
{
    if (auto printer = sim::open_printer_canvas(dc))
        return printer;
    return std::make_unique<SimCanvas>(sim::dc_of(dc));
}

void paint_window(Window window, void (*painter)(DrawContext dc))
{
    record("begin_paint");
    if (window)
        painter(sim::handle_of(&sim::window_of(window)->dc));
    record("end_paint");
}

DrawContext acquire_window_dc(Window window)
{
    record("get_dc");
    return window ? sim::handle_of(&sim::window_of(window)->dc) : nullptr;
}

void release_window_dc(Window, DrawContext)
{
    record("release_dc");
}

} // namespace qm
