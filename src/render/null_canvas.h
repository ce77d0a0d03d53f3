// A canvas that draws nothing, for walking a file's pages when only the split into pages (or the
// renderer's reading of the file) matters. The renderer reads a file the same way whatever it
// draws on.
#pragma once

#include "render/canvas.h"

namespace qm {

class NullCanvas final : public Canvas {
public:
    explicit NullCanvas(const DeviceCaps& caps = {}) : caps_(caps) {}
    DeviceCaps caps() const override { return caps_; }
    void fill_white(const Rect&) override {}
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t, std::int32_t) override
    {
        return nullptr;
    }
    void stretch_band(const BandSurface&, const Rect&) override {}
    bool select_font(std::int32_t, std::int32_t) override { return false; }
    void release_font() override {}
    std::int32_t text_out(std::int32_t, std::int32_t, const char*, std::size_t) override
    {
        return 0;
    }
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t, std::int32_t) override
    {
        return nullptr;
    }
    void draw_preview(const PreviewSurface&) override {}

private:
    DeviceCaps caps_;
};

} // namespace qm
