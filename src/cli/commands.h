// The qmspool commands, callable from tests with their own output streams. Each returns the
// process exit status: 0, or 1 after one line on `err` saying what went wrong.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/command_table.h"
#include "render/render_page.h"

namespace qm::cli {

// Parses the command line and runs the command it names, among the portable rows and `more`
// (the native host's rows, where it is built).
int qmspool_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err,
                 std::span<const Command> more = {});

// Lists the records of a spool file and where its pages start.
int run_info(const char* path, std::FILE* out, std::FILE* err);

// Saves the first page as the spooler's "Save last job as BMP" does; "-" as `out_path`: to `out`.
// A job without pages, or whose first page has no band, is refused and nothing is written.
int run_bmp(const char* path, const char* out_path, std::FILE* out, std::FILE* err);

// The largest screen side `render --screen` takes: the window pass draws on a canvas of the
// screen's size, which is bounded to what memory holds.
inline constexpr std::int32_t MaxScreenSide = 16384;

struct RenderRequest {
    const char* path = nullptr;
    const char* out_path = nullptr; // "-": standard output, in `format`
    const char* format = nullptr;   // "ppm" or "png", for standard output
    std::FILE* out = stdout;        // standard output
    std::int32_t page = 0;       // counted from 1
    std::int32_t dpi = 0;        // printer pass at this resolution, or
    bool mono = false;
    std::int32_t window = 0;     // window pass for a main window this wide
    std::int32_t screen_width = ReferenceScreen.screen.horzres;
    std::int32_t screen_height = ReferenceScreen.screen.vertres;
};
int run_render(const RenderRequest& request, std::FILE* err);

// Writes the demonstration job.
int run_testpage(const char* out_path, std::FILE* err);

// Pages counted from 1, both ends included; INT32_MAX as `last`: to the job's end. A range that
// names a page the job does not have is refused whole rather than cut to the job (a user who
// asks for pages 2-9 of a 3-page job has the wrong job or the wrong pages in mind, and a shorter
// output would hide it); "A-", which names no last page, runs to the job's end.
struct PageRange {
    std::int32_t first = 1;
    std::int32_t last = INT32_MAX;
};
// Reads "A", "A-B" or "A-" (to the end); false when the text is none of them or B < A.
bool parse_page_range(const char* text, PageRange& range);

#if QM_HAVE_PDF
// Writes the pages of the job in `range` as a PDF (one Letter page each), through a temporary
// file in OUT's folder that takes OUT's name only once it is whole. Progress goes to `progress`
// (null: none), one line rewritten in place.
int run_pdf(const char* path, const char* out_path, const PageRange& range, std::FILE* progress,
            std::FILE* err);
#endif

} // namespace qm::cli
