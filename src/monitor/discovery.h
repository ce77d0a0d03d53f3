// Finding the install folder and every user's backup folder, once, at start-up.
#pragma once

#include "platform/handles.h"

namespace qm {

// The two names under which a spool file arrives in a backup folder, in the order they are
// examined (the index of each is its seen_stamp index).
extern const char* const SpoolFileNames[2];

// Reads the install folder, fills the MonitoredUser table, opens and arms a change watch per
// backup folder and deletes spool files left over from before. -1 when the install folder
// cannot be found (the user has been told, over `main_window` shown restored); 0 otherwise, also
// when no user was found.
int discover_user_folders(Window main_window);

} // namespace qm
