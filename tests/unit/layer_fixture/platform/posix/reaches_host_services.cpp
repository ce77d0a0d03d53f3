// The POSIX backend reaching for a service of the native host: refused, the host hands the
// backend what it needs of them.
#include "host/services/cups_job.h"
#include "platform/common/fired_state.h"
