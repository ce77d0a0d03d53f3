// The timer tick and the job detection: the command-line job, then the change watches of the
// backup folders, and the check of one user's folder for spool files not printed yet.
#pragma once

#include "job/job_session.h"

namespace qm {

enum class TickOutcome { KeepRunning, EndProgram };

// How many ticks after a watch fires its folder is checked again while nothing prints from it:
// the synchronisation may still hold the file open when the watch fires. Two minutes of ticks.
inline constexpr std::uint32_t RetryTicks = 24;

// One tick of the main window's timer. `pending_path` is the job named with "-t ", served on
// the first tick and emptied; EndProgram after that job when the program is to end (the caller
// stores the settings and quits). Otherwise the lowest fired watch's folder is checked and its
// watch re-armed; on a tick where none has fired, the folder of the last fired watch is checked
// again while it has printed nothing and RetryTicks allow. At most one folder a tick.
TickOutcome on_timer_tick(const JobSession& session, char* pending_path);

// Prints each of the slot's two spool files ("Quillmark Spool File.pdb" first) whose last-write
// time differs from the one it was last printed with. 0 when at least one was printed, -1 when
// neither was new (missing, held open by another program, or unchanged).
int check_user_for_job(const JobSession& session, int slot);

} // namespace qm
