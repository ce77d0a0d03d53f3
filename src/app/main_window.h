// The program's entry sequence, its one window and the end of a run.
#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "monitor/discovery.h"
#include "platform/handles.h"

namespace qm {

inline constexpr char MainWindowClass[] = "QMSpoolClass";
inline constexpr char MainWindowTitle[] = "Quillmark PC Print Spooler";
// The session's one spooler, as the platform knows it.
inline constexpr char SpoolerInstanceName[] = "QuillmarkSpooler";

// The whole run: the command line, start-up, the message loop. Returns the process's exit code:
// 0 after the loop ends, 1 when start-up failed (nothing is stored then). A start without a job
// while a spooler already runs in the session brings that spooler's window forward and returns
// 0 at once, having made no window and touched no file. A start with a job ("-t ") runs beside
// a spooler, keeps the spool files in the backup folders, watches none of them and ends after
// its job. A "-t " path too long to keep is refused with a message, and the start goes on as
// one without a job.
int program_main(Instance instance, int show_command);

// Creates and sets up the main window and the monitoring, over `state`, the program's state
// (the window procedure reaches that one). 0 on success; -1 when the window class cannot be
// registered or the install folder cannot be found; -2 when the window cannot be created.
int start_up(AppState& state, Instance instance, int show_command,
             StaleSpoolFiles stale = StaleSpoolFiles::Delete);

// The main window's message dispatch, over the program's state.
std::intptr_t main_window_procedure(Window window, std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam);

// Repaints the window: the status screen, or the cached page once one has been drawn.
void paint_main_window(const AppState& state, DrawContext dc);

// A menu command, by its id; ids without a command do nothing.
void on_menu_command(AppState& state, Window window, Menu menu, int command_id);

// Stores the window's rectangle and every setting, then ends the message loop. The window is
// left in place.
void save_settings_and_quit(const AppState& state, Window window);

} // namespace qm
