// The job monitor's state: the install folder, the table of monitored users with their change
// watches, and the tick's re-check bookkeeping. Its owner (the application, or qmspool watch)
// makes one and hands it to discovery, the tick and the job detection; the monitor keeps none
// of its own.
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
    std::int32_t RetrySlot = -1;
    std::uint32_t RetryCountdown = 0;
};

} // namespace qm
