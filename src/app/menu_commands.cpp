// The menu's commands. Each runs to its end on the main thread; jobs are started through the
// job starters, as the timer starts them.
#include <cstdint>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/menu_ids.h"
#include "app/status_display.h"
#include "job/job_start.h"
#include "monitor/change_monitor.h"
#include "platform/dialog_port.h"
#include "platform/draw_port.h"
#include "platform/ui_port.h"
#include "spool/spool_record.h"

namespace qm {
namespace {

constexpr char AboutCaption[] = "About Quillmark Desktop Spooler";
constexpr char AboutText[] =
    "\n"
    "\n"
    "Desktop print companion program for Quillmark, The ultimate \n"
    "printing system for all PalmOS handhelds including Palm, Handspring, and Sony CLIE.\n"
    "\n"
    "     To print through your PC, you must first run the QMSetup install program to\n"
    "     install the Quillmark Palm Desktop printing component.  Then perform\n"
    "     printing operation on the handheld using Quillmark with the HotSync Spooler\n"
    "     printer driver selected.  HotSync to send the print job to the PC\n"
    "\n"
    "     Quillmark PC Print Spooler for Windows\n"
    "     Copyright Brackwater Software. All rights reserved.\n"
    "\n"
    "     Keep this program running to print every job your handheld sends.\n"
    "\n"
    "Visit us online for other PalmOS software solutions.";

// Description and pattern pairs, each text zero-terminated, and a closing zero.
constexpr char BmpFilter[] = "Windows Bitmaps (*.bmp)\0*.bmp\0All Files (*.*)\0*.*\0";

// Flips an option between 0 and 1 (any value but 0 counts as on) and gives the new value.
std::int32_t toggle(std::int32_t& option)
{
    option = option == 0 ? 1 : 0;
    return option;
}

void display_status(AppState& state, Window window)
{
    WindowDc dc(window);
    if (dc.get())
        paint_status(state, dc.get());
    state.Render.DisplayMode = DisplayStatus;
}

// Checks every user's backup folder, in slot order, for a spool file not printed yet.
void scan_for_missed_jobs(AppState& state)
{
    const JobSession session = app_job_session(state);
    MonitorState& monitor = state.Monitor;
    bool printed = false;
    // The count is read again after each slot, as a job's modal boxes let other messages in.
    for (int slot = 0; slot < monitor.MonitoredUserCount; ++slot) {
        if (check_user_for_job(monitor, session, slot) == 0)
            printed = true;
    }
    if (!printed)
        message_box("No queued print jobs are currently waiting to print.", "Nothing to Print");
}

void save_as_bmp(AppState& state, Window window)
{
    // A text page has no picture to save; a job rendered in no way yet (-1) may still have one.
    if (state.Render.LastRecordKind == KindText) {
        message_box("The previous print job was not a graphic", "Nothing to save");
        return;
    }
    // The dialog's own message loop dispatches timer ticks: a job started by one would enable
    // the main window under the open dialog when it ends.
    BusyHold busy(state.TickBusy);
    const bool was_minimized = is_minimized(window);
    SaveDialogDesc desc;
    desc.owner = window;
    desc.filter = BmpFilter;
    desc.file_name = state.App.BmpFileName;
    desc.file_name_size = sizeof state.App.BmpFileName;
    desc.title = "Save BMP image as...";
    desc.default_extension = "bmp";
    if (!save_file_dialog(desc))
        return;
    save_last_job_as_bmp(app_job_session(state), state.App.BmpFileName, was_minimized);
}

} // namespace

void on_menu_command(AppState& state, Window window, Menu menu, int command_id)
{
    Settings& settings = state.AppSettings;
    switch (command_id) {
    case MenuExit:
        save_settings_and_quit(state, window);
        break;
    case MenuOpenMinimized:
        check_menu_item(menu, command_id, toggle(settings.open_minimized) != 0);
        break;
    case MenuPausePages:
        check_menu_item(menu, command_id, toggle(settings.pause_pages) != 0);
        break;
    case MenuUseDefaultPrinter:
        // The item reads "use the default printer instead of asking": checked when not asking.
        check_menu_item(menu, command_id, toggle(settings.show_dialog) == 0);
        break;
    case MenuPrintToScreen:
        check_menu_item(menu, command_id, toggle(settings.print_to_screen) != 0);
        break;
    case MenuDisplayStatus:
        display_status(state, window);
        break;
    case MenuReprintLastJob:
        reprint_last_job(app_job_session(state));
        break;
    case MenuScanMissedJobs:
        scan_for_missed_jobs(state);
        break;
    case MenuSaveAsBmp:
        save_as_bmp(state, window);
        break;
    case MenuAbout:
        message_box(AboutText, AboutCaption);
        break;
    default:
        break;
    }
}

} // namespace qm
