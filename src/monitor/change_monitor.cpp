#include "monitor/change_monitor.h"

#include <cstdio>

#include "job/job_start.h"
#include "monitor/discovery.h"
#include "platform/watch_port.h"

namespace qm {
namespace {

// The lowest slot whose watch has fired, PollNothingFired or PollFailed. Slots whose watch did
// not open are never waited on: one user whose "backup" could not be watched must not make
// every poll fail and so stop every other user's jobs.
int poll_watches(const MonitorState& monitor)
{
    WatchHandle watches[MaxMonitoredUsers];
    const int count = monitor.MonitoredUserCount;
    for (int i = 0; i < count; ++i)
        watches[i] = monitor.MonitoredUser[i].watch_handle.get();
    return poll_change_watches(watches, count);
}

// Checks a slot and re-arms its watch whatever the check found; a slot that printed needs no
// more re-checks. On a re-check no poll named the watch, and arming leaves it fired by a change
// made during the check's job (the next sync's file), so that the next tick prints that too.
void serve_slot(MonitorState& monitor, const JobSession& session, int slot)
{
    if (check_user_for_job(monitor, session, slot) == 0)
        monitor.RetrySlot = -1;
    arm_change_watch(monitor.MonitoredUser[slot].watch_handle.get());
}

} // namespace

int check_user_for_job(MonitorState& monitor, const JobSession& session, int slot)
{
    MonitoredUserSlot& user = monitor.MonitoredUser[slot];
    int result = -1;
    for (int k = 0; k < 2; ++k) {
        // Discovery gave a slot only to folders whose spool file paths fit.
        char path[PathBufferSize];
        const int n = std::snprintf(path, sizeof path, "%s\\%s\\%s\\%s", monitor.InstallFolder,
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

TickOutcome on_timer_tick(MonitorState& monitor, const JobSession& session, char* pending_path,
                          bool beside_spooler)
{
    // A tick dispatched by a modal box inside a job does nothing, so no job starts inside
    // another.
    if (session.tick_busy)
        return TickOutcome::KeepRunning;
    BusyHold busy(session.tick_busy);
    if (pending_path[0] && (run_command_line_job(session, pending_path) || beside_spooler))
        return TickOutcome::EndProgram;
    // A second watcher of the folders would print every job twice.
    if (beside_spooler)
        return TickOutcome::KeepRunning;

    const int fired = poll_watches(monitor);
    if (fired >= 0) {
        monitor.RetryCountdown = RetryTicks;
        monitor.RetrySlot = fired;
        serve_slot(monitor, session, fired);
    } else if (monitor.RetrySlot != -1 && monitor.RetryCountdown > 0) {
        // The synchronisation may have held the file open when its watch fired, and a file
        // that is merely closed fires nothing: look again while the countdown lasts.
        --monitor.RetryCountdown;
        serve_slot(monitor, session, monitor.RetrySlot);
    }
    return TickOutcome::KeepRunning;
}

} // namespace qm
