// A job's pages as PDF pages: the printer pass of each page on a virtual Letter printer, walked
// as the job driver walks them. Shared by `qmspool pdf` (to a file) and `qmspool print` (to
// CUPS).
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/commands.h"
#include "cli/spool_job.h"
#include "render/pdf_canvas.h"

namespace qm::cli {

struct PagesWritten {
    std::int32_t written = 0; // pages drawn onto the document
    std::int32_t pages = 0;   // pages of the job walked (all of them, unless the document failed)
    bool failed = false;      // the document failed; its error() says why
};

// Draws the job's pages in `range` onto `doc`, a PDF page each, from the start of the job.
// `progress` (may be null) gets "qmspool: NAME: page N" rewritten in place, and a line end.
PagesWritten write_job_pages(SpoolJob& job, PdfDocument& doc, const PageRange& range,
                             const char* name, std::FILE* progress);

// Progress on the terminal only: `stream` when it is one, else null.
std::FILE* terminal_or_null(std::FILE* stream);

} // namespace qm::cli
