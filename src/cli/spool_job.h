// Reading a spool file the way a print job does: open it, take the record count, go back to the
// start, and walk the pages with the window pass deciding where each page ends.
#pragma once

#include <cstdint>
#include <cstdio>

#include "render/canvas.h"
#include "render/render_page.h"
#include "spool/spool_stream.h"

namespace qm::cli {

// The main window the spooler opens with: 618 pixels wide, so an inch of page is 77 pixels.
inline constexpr std::int32_t DefaultWindowWidth = 618;

struct SpoolJob {
    SpoolStream stream;
    std::int32_t record_count = 0;
    RenderState render; // what the command's passes leave behind (the window pass's preview)
};

// Opens `path` and reads its record count; false after a line on `err`.
bool open_spool_job(const char* path, SpoolJob& job, std::FILE* err);

// Makes the window pass of a page on a canvas that draws nothing: all that is wanted is where
// the page ends.
void skip_page(SpoolJob& job, std::int32_t first_record);

} // namespace qm::cli
