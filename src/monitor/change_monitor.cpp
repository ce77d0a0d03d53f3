#include "monitor/change_monitor.h"

#include "job/job_start.h"
#include "job/print_job.h"
#include "monitor/monitor_state.h"

namespace qm {

TickOutcome on_timer_tick(const JobSession& session, char* pending_path)
{
    // A tick dispatched by a modal box inside a job does nothing, so no job starts inside
    // another.
    if (Monitor.TickBusy || print_job_running())
        return TickOutcome::KeepRunning;
    if (pending_path[0]) {
        Monitor.TickBusy = 1;
        const bool end = run_command_line_job(session, pending_path);
        Monitor.TickBusy = 0;
        if (end)
            return TickOutcome::EndProgram;
    }
    // Watching the backup folders for new spool files comes here.
    return TickOutcome::KeepRunning;
}

} // namespace qm
