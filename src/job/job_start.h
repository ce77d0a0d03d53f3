// The one place where jobs are started: the command-line job, a job found in a backup folder,
// and the menu's reprint and BMP save all come through here, so that each runs the same modes
// in the same order whoever asks for it.
#pragma once

#include "job/job_session.h"

namespace qm {

// An ordinary job over last_print_path: the first page in the window and then every page on
// the printer, or, with print_to_screen, every page in the window alone.
void print_last_job(const JobSession& session);

// The job named with "-t ": its absolute form becomes last_print_path, `pending_path` is emptied
// (it is served once), the job runs, and the window is minimised when open_minimized asks for
// it. True when the program should now end (print_to_screen off).
bool run_command_line_job(const JobSession& session, char* pending_path);

} // namespace qm
