// The status screen: install folder, monitored users, activity since start-up, last job.
#pragma once

#include "app/app_state.h"
#include "platform/handles.h"

namespace qm {

// Clears the whole device area and draws the status screen from `state`. Leaves the value style
// (default GUI font, black) selected. Always returns 0.
int paint_status(const AppState& state, DrawContext dc);

} // namespace qm
