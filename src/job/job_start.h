// The one place where jobs are started: the command-line job, a job found in a backup folder,
// and the menu's reprint and BMP save all come through here, so that each runs the same modes
// in the same order whoever asks for it.
#pragma once

#include "job/job_session.h"

namespace qm {

// An ordinary job over the current job, last_print_path: the first page in the window and then
// every page on the printer, or, with print_to_screen, every page in the window alone.
void print_current_job(const JobSession& session);

// The job named with "-t ": its absolute form becomes last_print_path, `pending_path` is emptied
// (it is served once), the job runs, and the window is minimised when open_minimized asks for
// it. True when the program should now end (print_to_screen off).
bool run_command_line_job(const JobSession& session, char* pending_path);

// How long a new spool file is left alone before it is printed, so that the synchronisation
// that brought it can finish writing it. The thread blocks meanwhile.
inline constexpr unsigned SyncSettleMs = 5000;

// A new spool file found in a backup folder: the window is restored, the synchronisation given
// SyncSettleMs to finish, `path` becomes last_print_path and the job runs; a window that was
// minimised is minimised again. `stamp` holds the low word of the file's last-write time as
// found; it is read again after the wait, so that it names the version that is printed (a file
// still being written when it was found would otherwise print again when the writing ends).
void run_detected_job(const JobSession& session, const char* path, std::int32_t* stamp);

// The menu's reprint: the window restored for the job and minimised again if it was; a message
// when there has been no job yet.
void reprint_last_job(const JobSession& session);

// The menu's save as BMP, once the user has chosen `out_path`: the window restored, the first
// page of the last job drawn in it and written to `out_path` (created, or emptied, first), the
// window minimised again when `was_minimized`. The user is told when there is no last job (the
// file is then not created) or the file cannot be opened for writing.
void save_last_job_as_bmp(const JobSession& session, const char* out_path, bool was_minimized);

// The low 32 bits of a file's last-write time, the stamp a backup folder's check compares.
// False when the file cannot be opened for itself alone or its time cannot be read.
bool read_spool_stamp(const char* path, std::int32_t* stamp);

} // namespace qm
