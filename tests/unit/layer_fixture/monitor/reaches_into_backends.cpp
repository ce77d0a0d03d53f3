// A monitor source that reaches for what only the backends share: the layer check must refuse
// it, and let a backend have it.
#include "platform/common/fired_state.h"
#include "platform/watch_port.h"
