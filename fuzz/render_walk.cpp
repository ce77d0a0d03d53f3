#include "render_walk.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "render/page_loop.h"
#include "render/raster_canvas.h"
#include "render/render_page.h"
#include "spool/spool_container.h"

namespace qm::fuzz {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A 36-dpi Letter printer with a small unprintable margin, and a small screen: small surfaces
// keep each input fast while every path of the drawing is reached.
constexpr DeviceCaps printer_caps(bool monochrome)
{
    return DeviceCaps{300, 390, 36, 36, monochrome ? 2 : -1, 3, 3};
}
constexpr DeviceCaps ScreenCaps{160, 120, 96, 96, -1, 0, 0};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "render_spool check failed: %s\n", what);
        std::abort();
    }
}

} // namespace

RenderSummary render_spool(const std::uint8_t* data, std::size_t size, bool monochrome)
{
    RenderSummary sum;
    RenderState state;
    const DeviceCaps pc = printer_caps(monochrome);
    std::unique_ptr<RasterCanvas> printer = RasterCanvas::create(pc);
    std::unique_ptr<RasterCanvas> screen = RasterCanvas::create(ScreenCaps);
    check(printer && screen, "canvases");

    SpoolStream s = SpoolStream::from_memory(data, size);
    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    s.seek(0);

    // The printer pass of each page, then its window pass, as a printed job does; the first
    // page's window pass also saves the BMP.
    std::unique_ptr<std::FILE, FileCloser> bmp(std::tmpfile());
    const PagePlacement on_paper = printer_page_placement(pc);
    const PagePlacement in_window{0, 0, 20, 20, ScreenCaps.horzres, ScreenCaps.vertres};
    walk_pages(
        s, count, state,
        [&](std::int32_t first, PagePasses& passes) {
            passes.printer = printer.get();
            passes.on_paper = on_paper;
            passes.window = screen.get();
            passes.in_window = in_window;
            passes.bmp = first == 0 ? bmp.get() : nullptr;
            return true;
        },
        [&](std::int32_t, const PageDrawn& drawn) {
            check(drawn.printed == 0 || drawn.printer_stopped == drawn.start,
                  "a failed pass rewinds");
            check(drawn.shown == 0 || s.tell() == drawn.start, "a failed window pass rewinds");
            check(drawn.printed == drawn.shown, "both passes read the page alike");
            check(state.PreviewCacheWidth == ScreenCaps.horzres, "the cache has the area's size");
            check(repaint_from_cache(*screen, state) == (state.PreviewCache ? 0 : -1), "repaint");
            return ++sum.pages < MaxRenderedPages;
        });
    if (bmp) {
        std::fseek(bmp.get(), 0, SEEK_END);
        sum.bmp_bytes = std::ftell(bmp.get());
    }
    return sum;
}

} // namespace qm::fuzz
