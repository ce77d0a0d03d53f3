// A job source that climbs out of its folder to reach the application: refused, as the text
// "../app" names no layer the check could weigh.
#include "../app/main_window.h"
#include "job/page_loop.h"
