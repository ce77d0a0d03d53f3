#include "monitor/monitor_state.h"

namespace qm {

MonitorState Monitor;

void reset_monitor_state()
{
    Monitor = MonitorState{};
}

} // namespace qm
