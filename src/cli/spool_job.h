// Reading a spool file the way a print job does: open it, take the record count, go back to the
// start, and walk the pages with the window pass deciding where each page ends.
#pragma once

#include <cstdint>
#include <cstdio>

#include "render/page_loop.h"
#include "render/canvas.h"
#include "render/null_canvas.h"
#include "render/render_page.h"
#include "spool/spool_stream.h"

namespace qm::cli {

struct SpoolJob {
    SpoolStream stream;
    std::int32_t record_count = 0;
    RenderState render; // what the command's passes leave behind (the window pass's preview)
};

// What opening a job does with a file that lacks bytes its records promise: a command that makes
// pages refuses it, an inspection lists it as it reads after saying so.
enum class CutShortFile { Refuse, Warn };

// Opens `path` and reads its record count; false after a line on `err`.
bool open_spool_job(const char* path, SpoolJob& job, std::FILE* err,
                    CutShortFile cut_short = CutShortFile::Refuse);

// Walks the job's pages as the job driver does (walk_pages). Unless `plan` gives a page another,
// its window pass is made on a canvas that draws nothing, over the reference window: all that is
// wanted of it is where the page ends.
template <typename Plan, typename Done> void walk_job_pages(SpoolJob& job, Plan&& plan, Done&& done)
{
    NullCanvas nothing;
    walk_pages(
        job.stream, job.record_count, job.render,
        [&](std::int32_t first, PagePasses& passes) {
            passes.window = &nothing;
            passes.in_window = reference_window_placement();
            return plan(first, passes);
        },
        done);
}

} // namespace qm::cli
