// The application's program-wide state, grouped so that a test can put it back to how the
// program starts. The layers below are handed what they read and update: the job driver and
// the job starters a JobSession over this state, the renderer the window's RenderState.
#pragma once

#include "job/job_session.h"
#include "platform/handles.h"
#include "render/render_page.h"

namespace qm {

struct AppShell {
    Window MainWindow = nullptr;
    Cursor BusyCursor = nullptr;
    Cursor NormalCursor = nullptr;
    // The job given with "-t ", printed at the first timer tick; empty when there is none. It
    // has the room of last_print_path, into which it is expanded.
    char PendingPrintPath[PathBufferSize] = {};
    // The name the save-as-BMP dialog opens with: the last one chosen in this run.
    char BmpFileName[260] = "screen.bmp";
};

extern Settings AppSettings;
extern Counters SessionCounters;
// What the main window shows: the display mode and the page last drawn in it.
extern RenderState Render;
extern AppShell App;

// The session every job of the program runs in: this state, the main window and its cursors.
JobSession app_job_session();

// Back to the state at program start (defaults, no window, nothing pending, nothing drawn).
void reset_app_state();

} // namespace qm
