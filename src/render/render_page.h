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

// The renderer's program-wide state, in one place so that tests can reset it.
struct RenderState {
    std::int32_t DisplayMode = DisplayStatus;
    std::int32_t LastRecordKind = -1;
    std::unique_ptr<PreviewSurface> PreviewCache; // the page of the last window pass
    std::int32_t PreviewCacheWidth = 0;
    std::int32_t PreviewCacheHeight = 0;
};
extern RenderState Render;
void reset_render_state();

struct PagePlacement {
    std::int32_t origin_x = 0;
    std::int32_t origin_y = 0;
    std::int32_t scale_x = 0; // target units per inch
    std::int32_t scale_y = 0;
    std::int32_t area_width = 0;
    std::int32_t area_height = 0;
};

// Draws the page that starts at `first_record`: that record and every following one for as long
// as the record before is flagged continued (records whose bytes the one before consumed are
// passed over). With `window_pass` the page also goes into a new PreviewCache; with `fit` bands
// are shrunk into the area and text is sized by the scales. Each band is also written to `bmp`
// when given. With no stream, repaints `target` from the PreviewCache. Returns 0, or -1 when
// a record lies before where the previous one ended (the stream is then back at its entry
// position) or when there is no cache to repaint from.
int render_page(Canvas& target, const PagePlacement& at, SpoolStream* stream,
                std::int32_t first_record, std::int32_t record_count, bool window_pass, bool fit,
                std::FILE* bmp);

// Repaint from the cache: render_page with no stream.
int repaint_from_cache(Canvas& target);

} // namespace qm
