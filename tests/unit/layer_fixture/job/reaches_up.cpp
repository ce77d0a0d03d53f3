// A job source that reaches up into the application: the layer check must refuse it.
#include "app/main_window.h"
#include "render/render_page.h"
