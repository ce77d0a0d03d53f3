// The timer tick: serves the command-line job and polls the change watches.
#pragma once

namespace qm {

void on_timer_tick();

} // namespace qm
