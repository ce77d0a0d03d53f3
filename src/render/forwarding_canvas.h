// A printer's canvas as the renderer sees it: everything goes to the page under way, and
// between pages (before the first is started, after one has ended) is drawn nowhere.
#pragma once

#include <memory>

#include "render/canvas.h"

namespace qm {

class ForwardingCanvas : public Canvas {
public:
    void fill_white(const Rect& r) override
    {
        if (Canvas* p = page())
            p->fill_white(r);
    }
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t w, std::int32_t h) override
    {
        Canvas* p = page();
        return p ? p->create_band_surface(w, h) : nullptr;
    }
    void stretch_band(const BandSurface& band, const Rect& dst) override
    {
        if (Canvas* p = page())
            p->stretch_band(band, dst);
    }
    bool select_font(std::int32_t h, std::int32_t w) override
    {
        Canvas* p = page();
        return p && p->select_font(h, w);
    }
    void release_font() override
    {
        if (Canvas* p = page())
            p->release_font();
    }
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* t, std::size_t n) override
    {
        Canvas* p = page();
        return p ? p->text_out(x, y, t, n) : 0;
    }
    // A printer keeps no preview.
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t, std::int32_t) override
    {
        return nullptr;
    }
    void draw_preview(const PreviewSurface&) override {}
    void finish_page() override
    {
        if (Canvas* p = page())
            p->finish_page();
    }

protected:
    // The page under way, or null.
    virtual Canvas* page() const = 0;
};

} // namespace qm
