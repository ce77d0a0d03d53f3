#include "monitor/change_monitor.h"

namespace qm {

void on_timer_tick()
{
    // Job detection is not built yet: a tick changes nothing.
}

} // namespace qm
