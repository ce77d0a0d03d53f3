// What `qmspool watch` tells the journal at start beyond what the monitor's own calls say: each
// folder of the install folder that is no user's watched folder, and why.
#pragma once

#include <vector>

#include "monitor/discovery.h"
#include "monitor/monitor_state.h"

namespace qm::host {

// One line per folder of the install folder that discovery gave no slot, with its reason.
void log_skipped_user_folders(const MonitorState& monitor,
                              const std::vector<SkippedUserFolder>& skipped);

} // namespace qm::host
