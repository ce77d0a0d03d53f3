// The print job driver: one run over one spool file, on the printer and in the main window.
#pragma once

#include <cstdio>

#include "job/job_session.h"
#include "platform/handles.h"

namespace qm {

enum JobMode : int {
    JobPrinter = 0,    // every page printed, each a document of its own, and drawn in the window
    JobWindowOnly = 1, // every page drawn in the window
    JobFirstPage = 2,  // the first page drawn in the window (and saved, with a BMP stream)
};

// A device context on the system's default printer, or null when there is none.
DrawContext open_default_printer();

// Runs a job over the spool file at `path`, with the session's window, cursors and options; adds
// to its counters and draws into its render state. The session's busy guard is held for the run.
// 0 when it went through (also for an empty path, a file with no records, or a page that could
// not be drawn); -1 when the print dialog was cancelled or gave no printer, the file did not
// open, or the printer refused a document or a page; JobCutShort when the file lacks bytes that
// its records promise (nothing of it is drawn). Every failure but the cancelled dialog has been
// shown to the user.
inline constexpr int JobCutShort = -2;
int run_print_job(const JobSession& session, const char* path, JobMode mode, std::FILE* bmp);

} // namespace qm
