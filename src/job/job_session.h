// What a job needs from the program around it. The application keeps the state and hands it
// down with every job, so a call shows what the job reads and what it updates.
#pragma once

#include <cstdint>

#include "platform/files_port.h"
#include "platform/handles.h"
#include "render/render_page.h"

namespace qm {

// The options and the last job, as held in memory between start-up and shutdown. The options
// are booleans stored as 32-bit integers: zero off, anything else on.
struct Settings {
    std::int32_t show_dialog = 1;
    std::int32_t pause_pages = 0;
    std::int32_t print_to_screen = 0;
    std::int32_t open_minimized = 0;
    char last_print_path[PathBufferSize] = {};
};

// What the job driver counts between runs: the activity since start-up, shown on the status
// screen.
struct Counters {
    std::int32_t jobs = 0;
    std::int32_t pages = 0;
};

// Holds the busy guard (TickBusy) for a scope and puts back what it found, so that a run inside
// a tick's job leaves the tick's hold in place. The guard is set while a run, or a timer tick's
// job, is under way: modal boxes inside a run dispatch timer ticks, and a tick that finds it set
// does nothing, so no job starts inside another.
class BusyHold {
public:
    explicit BusyHold(bool& tick_busy) : flag_(tick_busy), was_(flag_) { flag_ = true; }
    ~BusyHold() { flag_ = was_; }
    BusyHold(const BusyHold&) = delete;
    BusyHold& operator=(const BusyHold&) = delete;

private:
    bool& flag_;
    bool was_;
};

struct JobSession {
    Settings& settings;  // the options obeyed; last_print_path, set by the job starters
    Counters& counters;  // what every run adds to
    bool& tick_busy;     // the busy guard that every tick and every run holds
    RenderState& render; // the main window's page, display mode and last record kind
    Window main_window = nullptr;
    Cursor normal_cursor = nullptr; // shown when a run ends
    Cursor busy_cursor = nullptr;   // shown while a run is under way
};

} // namespace qm
