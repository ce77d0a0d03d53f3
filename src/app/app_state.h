// The application shell's program-wide state, grouped so that a test can put it back to how the
// program starts.
#pragma once

#include <cstdint>

#include "platform/handles.h"

namespace qm {

// Room of every full path the program keeps (last job, install folder, command-line job).
inline constexpr int PathBufferSize = 512;

// The options and the last job, as held in memory between start-up and shutdown. The options
// are booleans stored as 32-bit integers: zero off, anything else on.
struct Settings {
    std::int32_t show_dialog = 1;
    std::int32_t pause_pages = 0;
    std::int32_t print_to_screen = 0;
    std::int32_t open_minimized = 0;
    char last_print_path[PathBufferSize] = {};
};

// Activity since start-up, shown on the status screen; kept by the job driver.
struct Counters {
    std::int32_t jobs = 0;
    std::int32_t pages = 0;
};

struct AppShell {
    Window MainWindow = nullptr;
    Cursor BusyCursor = nullptr;
    Cursor NormalCursor = nullptr;
    // The job given with "-t ", printed at the first timer tick; empty when there is none. It
    // has the room of last_print_path, into which it is expanded.
    char PendingPrintPath[PathBufferSize] = {};
};

extern Settings AppSettings;
extern Counters SessionCounters;
extern AppShell App;

// Back to the state at program start (defaults, no window, nothing pending).
void reset_app_state();

} // namespace qm
