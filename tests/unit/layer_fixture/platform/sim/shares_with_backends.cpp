// A backend takes what the backends share.
#include "platform/common/fired_state.h"
