// The page renderer's Canvas on a GDI device context: a window's, a printer's, or the memory DC
// of the preview cache.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/win32/win_handles.h"
#include "render/canvas.h"
#include "render/pending_white.h"

namespace qm::win {

// A page is filled white and then almost wholly covered by bands, so on a screen's device
// context (a window's, or a memory DC over a bitmap) a fill's white is held back: each row's is
// written when drawing first reaches the row, and there only outside the columns a band is about
// to overwrite, so that each pixel of a covered page is written once. What is still held back is
// written by finish_page() and when the canvas goes, before anyone can see the device. Other
// devices (printers) get their white at once.
class GdiCanvas final : public Canvas {
public:
    // Draws on `dc`, which the caller keeps alive and releases. With `hold_white` false every
    // fill is written at once (for a device whose bits are read without a word to the canvas).
    explicit GdiCanvas(HDC dc, bool hold_white = true);
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    HDC dc() const { return dc_; }

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
    void finish_page() override;

private:
    // True when logical units are device pixels up to a shift, so that a rectangle split in
    // logical units covers the same pixels as the whole.
    bool plain_mapping() const;
    void write_all_held();
    // Clears the held white over rows about to be overwritten across [left, right) by `draw`,
    // then draws; should the drawing fail, those columns get their white after all.
    template <typename Draw> void overwrite(const Rect& dst, Draw draw);

    HDC dc_;
    bool hold_white_;
    GdiObject font_;
    HGDIOBJ font_replaced_ = nullptr; // what the font took the place of

    PendingWhite held_; // in columns, counted over the clip box of the fill that held it
};

// A band's 24-bit top-down DIB section, whose bits the renderer writes directly.
class GdiBandSurface final : public BandSurface {
public:
    static std::unique_ptr<GdiBandSurface> create(HDC compatible, std::int32_t width,
                                                  std::int32_t height);
    HBITMAP bitmap() const { return static_cast<HBITMAP>(bitmap_.get()); }

private:
    GdiBandSurface() = default;
    GdiObject bitmap_;
};

// The preview cache: a 16-bit bottom-up DIB section selected into a memory DC compatible with the
// screen. It is a canvas of its own, drawing through that memory DC.
class GdiPreviewSurface final : public PreviewSurface {
public:
    static std::unique_ptr<GdiPreviewSurface> create(std::int32_t width, std::int32_t height);
    ~GdiPreviewSurface() override;

    HDC dc() const { return dc_.get(); }

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
    void finish_page() override;

private:
    GdiPreviewSurface() = default;
    // Declared in release order: the canvas lets go of its font, the bitmap is selected out,
    // then the DC and the bitmap go.
    GdiObject bitmap_;
    MemoryDc dc_;
    HGDIOBJ bitmap_replaced_ = nullptr;
    std::unique_ptr<GdiCanvas> canvas_;
};

} // namespace qm::win
