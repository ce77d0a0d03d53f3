// A render source that reaches across into the ports: refused too.
#include "platform/ui_port.h"
#include "spool/spool_stream.h"
