// The menu's commands. Each runs to its end on the main thread; jobs are started through the
// job starters, like the ones the timer starts.
#include <cstdint>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/menu_ids.h"
#include "monitor/change_monitor.h"
#include "monitor/monitor_state.h"
#include "platform/ui_port.h"

namespace qm {
namespace {

constexpr char NothingToPrint[] = "Nothing to Print";

// Checks every user's backup folder, in slot order, for a spool file not printed yet.
void scan_for_missed_jobs()
{
    const JobSession session = app_job_session();
    bool printed = false;
    // The count is read again after each slot, as a job's modal boxes let other messages in.
    for (int slot = 0; slot < Monitor.MonitoredUserCount; ++slot) {
        if (check_user_for_job(session, slot) == 0)
            printed = true;
    }
    if (!printed)
        message_box("No queued print jobs are currently waiting to print.", NothingToPrint);
}

} // namespace

void on_menu_command(Window window, Menu, int command_id)
{
    switch (command_id) {
    case MenuExit:
        save_settings_and_quit(window);
        break;
    case MenuScanMissedJobs:
        scan_for_missed_jobs();
        break;
    default:
        break;
    }
}

} // namespace qm
