#include "monitor/change_monitor.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/main_window.h"
#include "job/print_job.h"
#include "monitor/monitor_state.h"
#include "platform/files_port.h"
#include "platform/ui_port.h"

namespace qm {
namespace {

// An ordinary job: the first page to the window, then the printer; or the window alone.
void print_last_job()
{
    if (AppSettings.print_to_screen) {
        run_print_job(AppSettings.last_print_path, JobWindowOnly, App.NormalCursor, App.BusyCursor,
                      App.MainWindow, nullptr);
    } else {
        run_print_job(AppSettings.last_print_path, JobFirstPage, App.NormalCursor, App.BusyCursor,
                      App.MainWindow, nullptr);
        run_print_job(AppSettings.last_print_path, JobPrinter, App.NormalCursor, App.BusyCursor,
                      App.MainWindow, nullptr);
    }
}

// The job named with "-t ", served once. Returns true when the program is ending.
bool serve_command_line_job()
{
    Monitor.TickBusy = 1;
    // A path that cannot be made absolute is taken as it stands, cut to the buffer.
    if (full_path(App.PendingPrintPath, AppSettings.last_print_path,
                  sizeof AppSettings.last_print_path) != 0)
        std::snprintf(AppSettings.last_print_path, sizeof AppSettings.last_print_path, "%s",
                      App.PendingPrintPath);
    App.PendingPrintPath[0] = '\0';
    print_last_job();
    if (AppSettings.open_minimized)
        show_window(App.MainWindow, ShowMinimize);
    Monitor.TickBusy = 0;
    if (AppSettings.print_to_screen)
        return false;
    save_settings_and_quit(App.MainWindow);
    return true;
}

} // namespace

void on_timer_tick()
{
    // A tick dispatched by a modal box inside a job does nothing, so no job starts inside
    // another.
    if (Monitor.TickBusy || print_job_running())
        return;
    if (App.PendingPrintPath[0] && serve_command_line_job())
        return;
    // Watching the backup folders for new spool files comes here.
}

} // namespace qm
