// The job monitor's program-wide state: the install folder, the table of monitored users with
// their change watches, and the tick's bookkeeping. Grouped so a test can put it back to how the
// program starts.
#pragma once

#include <cstdint>

#include "job/job_session.h"
#include "platform/watch_port.h"

namespace qm {

inline constexpr int MaxMonitoredUsers = 50;

struct MonitoredUserSlot {
    char user_folder[50] = {};             // the user's folder inside InstallFolder
    char backup_folder[200] = {};          // the backup folder inside the user folder
    char status_line[200] = {};            // the watched path, or the failure text with it
    ChangeWatch watch_handle;              // null when the watch could not be opened
    std::int32_t seen_stamp[2] = {-1, -1}; // per spool file name; -1 never seen
};

struct MonitorState {
    char InstallFolder[PathBufferSize] = {};
    MonitoredUserSlot MonitoredUser[MaxMonitoredUsers];
    int MonitoredUserCount = 0;
    int TickBusy = 0;
    std::int32_t RetrySlot = -1;
    std::uint32_t RetryCountdown = 0;
};

extern MonitorState Monitor;

// Closes every watch and empties the table.
void reset_monitor_state();

} // namespace qm
