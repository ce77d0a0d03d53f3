// The status screen: install folder, monitored users, activity since start-up, last job.
#pragma once

#include "platform/handles.h"

namespace qm {

// Clears the whole device area and draws the status screen from the current state. Leaves the
// value style (default GUI font, black) selected. Always returns 0.
int paint_status(DrawContext dc);

} // namespace qm
