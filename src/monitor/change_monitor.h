// The timer tick: serves the command-line job and polls the change watches.
#pragma once

#include "job/job_session.h"

namespace qm {

enum class TickOutcome { KeepRunning, EndProgram };

// One tick of the main window's timer. `pending_path` is the job named with "-t ", served on
// the first tick and emptied. EndProgram after that job when the program is to end; the caller
// stores the settings and quits.
TickOutcome on_timer_tick(const JobSession& session, char* pending_path);

} // namespace qm
