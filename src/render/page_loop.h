// How a print job walks a spool file page by page. Each page gets the printer pass, then, from the
// page's start again, the window pass; the window pass decides where the page ends. A page is the
// record the walk stands at together with every following record that lies before the point
// where the page's window pass stopped reading; the next page starts at the first record at or
// beyond that point. Every walk (the job driver's, and each of qmspool's commands) goes through
// walk_pages, so they all split a file into the same pages.
#pragma once

#include <cstdint>
#include <cstdio>

#include "render/page_math.h"
#include "render/render_page.h"
#include "spool/spool_container.h"

namespace qm {

// The last record of the page that starts at `first`, judged by the stream's position now (just
// after the page's window pass).
inline std::int32_t last_record_of_page(SpoolStream& s, std::int32_t first,
                                        std::int32_t record_count)
{
    const std::int32_t stopped = as_position(s.tell());
    std::int32_t last = first;
    for (std::int32_t j = first + 1; j < record_count; ++j) {
        std::uint32_t position = 0;
        get_record_extent(s, j, &position, nullptr);
        if (static_cast<std::int32_t>(position) >= stopped)
            break;
        last = j;
    }
    return last;
}

// The passes one page gets. A pass whose canvas is null is not made; a page without a window
// pass ends at its first record (nothing was read to say where it ends).
struct PagePasses {
    Canvas* printer = nullptr;
    PagePlacement on_paper;
    Canvas* window = nullptr;
    PagePlacement in_window;
    std::FILE* bmp = nullptr; // the window pass also writes the page's bands here
};

// What a page's passes came to: render_page's result for each (-1 also for a pass not made),
// where the page's passes started reading and where the printer pass stopped (before the walk
// went back for the window pass).
struct PageDrawn {
    int printed = -1;
    int shown = -1;
    std::int64_t start = 0;
    std::int64_t printer_stopped = 0;
};

// Walks the pages of a spool file of `record_count` records whose stream stands at the start.
// For each page, `plan(first_record, passes)` fills in the page's passes, or returns false to end
// the walk before it; the walk makes them (updating `state`), then calls `done(first_record,
// drawn)`, which returns false to end the walk after it.
template <typename Plan, typename Done>
void walk_pages(SpoolStream& s, std::int32_t record_count, RenderState& state, Plan&& plan,
                Done&& done)
{
    for (std::int32_t i = 0; i < record_count; ++i) {
        PagePasses passes;
        if (!plan(i, passes))
            return;
        PageDrawn drawn;
        drawn.start = s.tell();
        drawn.printer_stopped = drawn.start;
        if (passes.printer) {
            drawn.printed = render_page(*passes.printer, passes.on_paper, &s, i, record_count,
                                        state, {RenderPass::Printer, nullptr});
            drawn.printer_stopped = s.tell();
            s.seek(drawn.start);
        }
        if (passes.window)
            drawn.shown = render_page(*passes.window, passes.in_window, &s, i, record_count, state,
                                      {RenderPass::InWindow, passes.bmp});
        if (!done(i, drawn))
            return;
        i = last_record_of_page(s, i, record_count);
    }
}

} // namespace qm
