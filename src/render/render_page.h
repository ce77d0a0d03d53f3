// The page renderer: draws one page of a spool file on a Canvas, keeps the window's preview
// cache, and hands bands to the BMP export.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "render/canvas.h"
#include "spool/spool_stream.h"

namespace qm {

// What a repaint of the main window shows.
enum : std::int32_t { DisplayStatus = 0, DisplayBand = 1, DisplayText = 2 };

// What the renderer leaves behind for the window's repaints and for the menu: handed to every
// call by its caller (the Windows program keeps one for its window; qmspool one per command).
struct RenderState {
    std::int32_t DisplayMode = DisplayStatus;
    std::int32_t LastRecordKind = -1;
    std::unique_ptr<PreviewSurface> PreviewCache; // the page of the last window pass
    std::int32_t PreviewCacheWidth = 0;
    std::int32_t PreviewCacheHeight = 0;
};

struct PagePlacement {
    std::int32_t origin_x = 0;
    std::int32_t origin_y = 0;
    std::int32_t scale_x = 0; // target units per inch
    std::int32_t scale_y = 0;
    std::int32_t area_width = 0;
    std::int32_t area_height = 0;
};

// The printer pass: the device's own resolution and drawing area, with the page's origin on the
// corner of the paper rather than of the printable area.
PagePlacement printer_page_placement(const DeviceCaps& printer);

// The window pass: one inch of page becomes an eighth of the main window's outer width (the
// width of its rectangle, right - left, plus one), over the screen's whole area.
std::int32_t window_page_scale(std::int32_t outer_width);
PagePlacement window_page_placement(std::int32_t outer_width, std::int32_t screen_width,
                                    std::int32_t screen_height);

// The reference window and screen: the main window as the spooler first opens it (618 pixels
// wide, so an inch of page is 77 pixels) on a 1280 x 1024 screen at 96 dpi. Where no real window
// stands (qmspool's commands, the headless window of `watch`), window passes are reckoned on it,
// so that a job's pages end where they end in the Windows program's window.
struct ReferenceScreenSize {
    std::int32_t window_width;
    DeviceCaps screen;
};
inline constexpr ReferenceScreenSize ReferenceScreen{618, DeviceCaps{1280, 1024, 96, 96, -1, 0, 0}};
inline PagePlacement reference_window_placement()
{
    return window_page_placement(ReferenceScreen.window_width, ReferenceScreen.screen.horzres,
                                 ReferenceScreen.screen.vertres);
}

enum class RenderPass {
    Printer,  // at the placement as given
    InWindow, // bands fitted into the area, text sized by the scales, a new PreviewCache
    Repaint,  // no file: the PreviewCache copied to the target
};

struct RenderOptions {
    RenderPass pass = RenderPass::Printer;
    std::FILE* bmp = nullptr; // each band of the page also goes to this BMP file
};

// Draws the page that starts at `first_record`: that record and every following one for as long
// as the record before is flagged continued (records whose bytes the one before consumed are
// passed over). Updates `state` (display mode, last record kind, and on a window pass the
// cache). A repaint takes no stream. Returns 0, or -1 when a record lies before where the
// previous one ended (the stream is then back at its entry position) or when there is no
// cache to repaint from.
int render_page(Canvas& target, const PagePlacement& at, SpoolStream* stream,
                std::int32_t first_record, std::int32_t record_count, RenderState& state,
                const RenderOptions& options);

// The repaint pass: fills the target white and copies the cache to its corner; -1 when no page
// has been cached yet.
int repaint_from_cache(Canvas& target, const RenderState& state);

} // namespace qm
