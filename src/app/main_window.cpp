#include "app/main_window.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/menu_ids.h"
#include "app/settings_store.h"
#include "app/status_display.h"
#include "monitor/change_monitor.h"
#include "monitor/discovery.h"
#include "platform/draw_port.h"
#include "platform/instance_port.h"
#include "platform/ui_port.h"
#include "render/render_page.h"

namespace qm {

namespace {

constexpr unsigned TimerId = 1;

constexpr char PathTooLongText[] =
    "The file name given with -t is too long to print (more than 511 characters).";
static_assert(PathBufferSize == 512, "the refusal names the room of PendingPrintPath");

void set_check_marks(const Settings& settings, Menu menu)
{
    // The item reads "use the default printer instead of asking", the inverse of show_dialog.
    check_menu_item(menu, MenuUseDefaultPrinter, settings.show_dialog == 0);
    check_menu_item(menu, MenuPausePages, settings.pause_pages != 0);
    check_menu_item(menu, MenuOpenMinimized, settings.open_minimized != 0);
    check_menu_item(menu, MenuPrintToScreen, settings.print_to_screen != 0);
}

// Shows the spooler that runs already to the user who started another. It claims the session
// before it makes its window, so one that is still starting is given a moment to make it.
void show_running_spooler()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (bring_window_forward(MainWindowClass))
            return;
        sleep_ms(100);
    }
}

} // namespace

int program_main(Instance instance, int show_command)
{
    AppState& state = program_state();
    AppShell& app = state.App;
    if (!take_print_path(process_command_line(), app.PendingPrintPath, sizeof app.PendingPrintPath))
        message_box(PathTooLongText, MainWindowTitle);

    // Two spoolers watching the same folders would print every job twice. A plain start (the
    // log-on's, the Start menu's) claims the session for the whole run; when another holds it,
    // this start only shows that one, before it makes a window or deletes anything. A job
    // printed with "-t " claims nothing: beside a running spooler it keeps the folders' spool
    // files, which that spooler may be about to print, and ends after its job in every mode.
    InstanceClaimHandle claim;
    StaleSpoolFiles stale = StaleSpoolFiles::Delete;
    if (app.PendingPrintPath[0] == '\0') {
        InstanceClaim held = nullptr;
        if (claim_instance(SpoolerInstanceName, &held) == ClaimOutcome::HeldElsewhere) {
            show_running_spooler();
            return 0;
        }
        claim = InstanceClaimHandle(held);
    } else if (instance_claimed(SpoolerInstanceName)) {
        // With "Print to screen only" too: a window that stayed would be a second spooler, and
        // the one a later plain start might bring forward instead of the one holding the claim.
        stale = StaleSpoolFiles::Keep;
        app.BesideSpooler = true;
    }

    if (start_up(state, instance, show_command, stale) != 0)
        return 1;
    run_message_loop();
    return 0;
}

int start_up(AppState& state, Instance instance, int show_command, StaleSpoolFiles stale)
{
    AppShell& app = state.App;
    Settings& settings = state.AppSettings;
    app.BusyCursor = load_system_cursor(SystemCursor::Wait);
    app.NormalCursor = load_system_cursor(SystemCursor::Arrow);

    const WindowClassSpec window_class{MainWindowClass, IconMain, MenuMain, main_window_procedure};
    if (register_window_class(instance, window_class) != 0)
        return -1;
    const MainWindowSpec desc{MainWindowClass, MainWindowTitle, 340, 440, true};
    app.MainWindow = create_main_window(instance, desc);
    if (!app.MainWindow)
        return -2;
    Window window = app.MainWindow;
    show_window(window, show_command);

    WindowGeometry placed;
    read_settings(SettingsRead::Geometry, settings, placed);
    move_window(window, placed.x, placed.y, placed.width, placed.height, true);
    update_window(window);

    read_settings(SettingsRead::BeforeDiscovery, settings, placed);

    if (settings.open_minimized != 0) {
        show_window(window, ShowMinimize);
        update_window(window);
    }

    if (discover_user_folders(state.Monitor, window, stale) != 0)
        return -1;

    start_timer(window, TimerId, TickPeriodMs);

    read_settings(SettingsRead::AfterDiscovery, settings, placed);
    set_check_marks(settings, window_menu(window));

    ScreenRect area = window_rect(window);
    area.left = 0;
    area.top = 0;
    invalidate_window(window, area, false);
    return 0;
}

std::intptr_t main_window_procedure(Window window, std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam)
{
    AppState& state = program_state();
    switch (message) {
    case MessageDestroy:
        save_settings_and_quit(state, window);
        return 0;
    case MessageMove:
    case MessageSize:
    case MessageVScroll:
    case MessageLButtonDown:
        return 0;
    case MessagePaint:
        paint_window(window, [](DrawContext dc) { paint_main_window(program_state(), dc); });
        return 0;
    case MessageInitDialog:
        return 1;
    case MessageCommand:
        on_menu_command(state, window, window_menu(window), static_cast<int>(wparam & 0xFFFF));
        return 0;
    case MessageTimer:
        if (on_timer_tick(state.Monitor, app_job_session(state), state.App.PendingPrintPath,
                          state.App.BesideSpooler) == TickOutcome::EndProgram)
            save_settings_and_quit(state, window);
        return 0;
    default:
        return default_window_procedure(window, message, wparam, lparam);
    }
}

void paint_main_window(const AppState& state, DrawContext dc)
{
    switch (state.Render.DisplayMode) {
    case DisplayStatus:
        paint_status(state, dc);
        break;
    case DisplayBand:
    case DisplayText:
        if (auto canvas = open_canvas(dc))
            repaint_from_cache(*canvas, state.Render);
        break;
    default:
        break;
    }
}

void save_settings_and_quit(const AppState& state, Window window)
{
    const Settings& settings = state.AppSettings;
    // A minimised window reports the place where it is parked, far off the screen; storing
    // that would open the next run's window where nobody can see it. Its restored rectangle is
    // what the user placed.
    const ScreenRect r = is_minimized(window) ? restored_window_rect(window) : window_rect(window);
    write_settings(settings, WindowGeometry{r.left, r.top, r.right - r.left, r.bottom - r.top});
    post_quit(0);
}

} // namespace qm
