// The application's state: one object, which the window procedure reaches and hands down. The
// layers below are given the part they read and update: the monitor its MonitorState, the job
// driver and the job starters a JobSession over the settings, counters and render state, the
// renderer the window's RenderState.
#pragma once

#include "job/job_session.h"
#include "monitor/monitor_state.h"
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
    // This run was started with "-t " while another spooler holds the session: it prints its job
    // and ends, and watches nothing (that spooler does).
    bool BesideSpooler = false;
    // The name the save-as-BMP dialog opens with: the last one chosen in this run.
    char BmpFileName[260] = "screen.bmp";
};

struct AppState {
    Settings AppSettings;
    Counters SessionCounters;
    bool TickBusy = false; // held by every tick, every job and every modal box of a command
    // What the main window shows: the display mode and the page last drawn in it.
    RenderState Render;
    MonitorState Monitor;
    AppShell App;
};

// The program's one state object. The platform calls the window procedure with no context of
// its own, so the procedure (and the program's entry) reach the state here; everything else is
// handed it. Back to how the program starts with `program_state() = AppState{}`.
AppState& program_state();

// The session every job of the program runs in: the state, the main window and its cursors.
JobSession app_job_session(AppState& state);

} // namespace qm
