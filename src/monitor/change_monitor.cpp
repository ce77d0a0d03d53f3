#include "monitor/change_monitor.h"

#include <cstdio>

#include "job/job_start.h"
#include "job/print_job.h"
#include "monitor/discovery.h"
#include "monitor/monitor_state.h"
#include "platform/watch_port.h"

namespace qm {
namespace {

// The lowest slot whose watch has fired, PollNothingFired or PollFailed. Slots whose watch did
// not open are never waited on: one user whose "backup" could not be watched must not make
// every poll fail and so stop every other user's jobs.
int poll_watches()
{
    WatchHandle watches[MaxMonitoredUsers];
    const int count = Monitor.MonitoredUserCount;
    for (int i = 0; i < count; ++i)
        watches[i] = Monitor.MonitoredUser[i].watch_handle.get();
    return poll_change_watches(watches, count);
}

// Checks a slot and re-arms its watch whatever the check found; a slot that printed needs no
// more re-checks.
void serve_slot(const JobSession& session, int slot)
{
    if (check_user_for_job(session, slot) == 0)
        Monitor.RetrySlot = -1;
    arm_change_watch(Monitor.MonitoredUser[slot].watch_handle.get());
}

} // namespace

int check_user_for_job(const JobSession& session, int slot)
{
    MonitoredUserSlot& user = Monitor.MonitoredUser[slot];
    int result = -1;
    for (int k = 0; k < 2; ++k) {
        // Discovery gave a slot only to folders whose spool file paths fit.
        char path[PathBufferSize];
        const int n = std::snprintf(path, sizeof path, "%s\\%s\\%s\\%s", Monitor.InstallFolder,
                                    user.user_folder, user.backup_folder, SpoolFileNames[k]);
        if (n < 0 || n >= static_cast<int>(sizeof path))
            continue;
        std::int32_t stamp = 0;
        if (!read_spool_stamp(path, &stamp))
            continue;
        if (user.seen_stamp[k] != -1 && user.seen_stamp[k] == stamp)
            continue;
        // Stamped before anything prints: a job that fails is not started again by the watch.
        user.seen_stamp[k] = stamp;
        run_detected_job(session, path, &user.seen_stamp[k]);
        result = 0;
    }
    return result;
}

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

    const int fired = poll_watches();
    if (fired >= 0) {
        Monitor.RetryCountdown = RetryTicks;
        Monitor.RetrySlot = fired;
        serve_slot(session, fired);
    } else if (Monitor.RetrySlot != -1 && Monitor.RetryCountdown > 0) {
        // The synchronisation may have held the file open when its watch fired, and a file
        // that is merely closed fires nothing: look again while the countdown lasts.
        --Monitor.RetryCountdown;
        serve_slot(session, Monitor.RetrySlot);
    }
    return TickOutcome::KeepRunning;
}

} // namespace qm
