// The timer tick and the job detection: the command-line job, then the change watches of the
// backup folders, and the check of one user's folder for spool files not printed yet.
#pragma once

#include <cstdint>

#include "job/job_session.h"
#include "monitor/monitor_state.h"

namespace qm {

enum class TickOutcome { KeepRunning, EndProgram };

// The period of the tick, whoever drives it (the main window's timer, qmspool watch's wait).
inline constexpr std::uint32_t TickPeriodMs = 5000;

// How long a folder is checked again after its watch fires while nothing prints from it: the
// synchronisation may still hold the file open when the watch fires, and a file that is merely
// closed fires nothing.
inline constexpr std::uint32_t RetryPeriodMs = 2 * 60 * 1000;
// The ticks of that re-checking, after the tick that saw the watch fire.
inline constexpr std::uint32_t RetryTicks = RetryPeriodMs / TickPeriodMs;
static_assert(RetryPeriodMs % TickPeriodMs == 0, "the re-checks must fill their period");

// One tick of the main window's timer. `pending_path` is the job named with "-t ", served on
// the first tick and emptied; EndProgram after that job when the program is to end (the caller
// stores the settings and quits). Otherwise the lowest fired watch's folder is checked and its
// watch re-armed; on a tick where none has fired, the folder of the last fired watch is checked
// again while it has printed nothing and RetryTicks allow. At most one folder a tick. A tick
// that finds the session's busy guard (TickBusy) set does nothing; it holds it while it works.
// `beside_spooler`: another spooler of the session watches the folders, and this run only prints
// the job named with "-t ": it ends after that job whatever print_to_screen says, and polls
// nothing.
TickOutcome on_timer_tick(MonitorState& monitor, const JobSession& session, char* pending_path,
                          bool beside_spooler = false);

// Prints each of the slot's two spool files ("Quillmark Spool File.pdb" first) whose last-write
// time differs from the one it was last printed with. 0 when at least one was printed, -1 when
// neither was new (missing, held open by another program, or unchanged).
int check_user_for_job(MonitorState& monitor, const JobSession& session, int slot);

} // namespace qm
