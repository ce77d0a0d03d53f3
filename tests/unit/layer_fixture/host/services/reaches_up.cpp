// A host service that reaches up for the host's commands: refused. What it stands on, the
// portable commands, the ports and the POSIX backend, it may have.
#include "cli/output_file.h"
#include "host/host_commands.h"
#include "platform/posix/posix.h"
#include "platform/settings_port.h"
