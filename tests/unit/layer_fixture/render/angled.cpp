// A render source that names the ports in angle brackets, which the compiler finds all the same:
// refused; a system header in angle brackets is not.
#include <platform/ui_port.h>
#include <vector>
