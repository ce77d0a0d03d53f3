// A canvas for tests that keeps a log of what was drawn: each band placed (its rectangle and a
// copy of its surface), each piece of text and where it went, the fonts asked for.
#pragma once

#include <string>
#include <vector>

#include "render/canvas.h"

namespace qm::test {

class MemoryBandSurface : public BandSurface {
public:
    MemoryBandSurface(std::int32_t w, std::int32_t h)
        : storage_(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3 + 1, 0xFF)
    {
        width_ = w;
        height_ = h;
        stride_ = 3 * static_cast<std::ptrdiff_t>(w);
        bits_ = storage_.data();
    }
    // 0xRRGGBB of pixel (x, y).
    std::uint32_t rgb(std::int32_t x, std::int32_t y) const
    {
        const std::uint8_t* p = row(y) + 3 * x;
        return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
    }

private:
    std::vector<std::uint8_t> storage_;
};

struct PlacedBand {
    Rect rect;
    std::int32_t width, height;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, row by row
    std::uint32_t at(std::int32_t x, std::int32_t y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

struct DrawnText {
    std::int32_t x, y;
    std::string text;
};

class RecordingCanvas;

class RecordingPreview : public PreviewSurface {
public:
    RecordingPreview(std::int32_t w, std::int32_t h);
    DeviceCaps caps() const override { return {width_, height_, 96, 96, -1, 0, 0}; }
    void fill_white(const Rect&) override { ++fills; }
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t w, std::int32_t h) override
    {
        return std::make_unique<MemoryBandSurface>(w, h);
    }
    void stretch_band(const BandSurface&, const Rect& r) override { bands.push_back(r); }
    bool select_font(std::int32_t h, std::int32_t w) override
    {
        fonts.push_back({h, w});
        return true;
    }
    void release_font() override {}
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* t, std::size_t n) override
    {
        texts.push_back({x, y, std::string(t, n)});
        return static_cast<std::int32_t>(n) * 7;
    }
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t, std::int32_t) override
    {
        return nullptr;
    }
    void draw_preview(const PreviewSurface&) override {}

    int fills = 0;
    std::vector<Rect> bands;
    std::vector<std::pair<std::int32_t, std::int32_t>> fonts;
    std::vector<DrawnText> texts;

private:
    std::vector<std::uint8_t> storage_;
};

inline RecordingPreview::RecordingPreview(std::int32_t w, std::int32_t h)
    : storage_(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 2 + 2, 0xFF)
{
    width_ = w;
    height_ = h;
    stride_ = 2 * static_cast<std::ptrdiff_t>(w);
    bits_ = storage_.data();
}

class RecordingCanvas : public Canvas {
public:
    explicit RecordingCanvas(const DeviceCaps& caps) : caps_(caps) {}
    DeviceCaps caps() const override { return caps_; }
    void fill_white(const Rect& r) override { fills.push_back(r); }
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t w, std::int32_t h) override
    {
        if (refuse_surfaces)
            return nullptr;
        return std::make_unique<MemoryBandSurface>(w, h);
    }
    void stretch_band(const BandSurface& s, const Rect& r) override
    {
        PlacedBand b{r, s.width(), s.height(), {}};
        const auto& m = static_cast<const MemoryBandSurface&>(s);
        for (std::int32_t y = 0; y < s.height(); ++y)
            for (std::int32_t x = 0; x < s.width(); ++x)
                b.pixels.push_back(m.rgb(x, y));
        bands.push_back(std::move(b));
    }
    bool select_font(std::int32_t h, std::int32_t w) override
    {
        fonts.push_back({h, w});
        return true;
    }
    void release_font() override { ++font_releases; }
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* t, std::size_t n) override
    {
        texts.push_back({x, y, std::string(t, n)});
        return static_cast<std::int32_t>(n) * 7;
    }
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t w, std::int32_t h) override
    {
        ++caches_made;
        return std::make_unique<RecordingPreview>(w, h);
    }
    void draw_preview(const PreviewSurface& p) override
    {
        previews_drawn.push_back({p.width(), p.height()});
    }

    bool refuse_surfaces = false;
    std::vector<Rect> fills;
    std::vector<PlacedBand> bands;
    std::vector<std::pair<std::int32_t, std::int32_t>> fonts; // (height, width)
    int font_releases = 0;
    std::vector<DrawnText> texts;
    int caches_made = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> previews_drawn;

private:
    DeviceCaps caps_;
};

} // namespace qm::test
