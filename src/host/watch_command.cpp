// `qmspool watch`: the Windows spooler's monitoring without its window. The job monitor's own
// discovery and tick, and the job driver under it, run unchanged over the POSIX backend; this
// file only sets the backend up, drives the tick and stops on a signal.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include "host/host_commands.h"
#include "job/job_session.h"
#include "monitor/change_monitor.h"
#include "monitor/discovery.h"
#include "monitor/monitor_state.h"
#include "platform/posix/posix.h"
#include "platform/print_port.h"

namespace qm::host {
namespace {

// The Windows program's timer period.
constexpr long TickMs = 5000;
// How often the wait between ticks looks for a stop request.
constexpr long StopCheckMs = 100;
// Where the desktop sync keeps its install folder, as the monitor reads it.
constexpr char InstallKey[] = "Software\\U.S. Robotics\\Pilot Desktop\\Core";

volatile std::sig_atomic_t StopRequested = 0;

extern "C" void on_stop_signal(int)
{
    StopRequested = 1;
}

// SIGINT and SIGTERM ask the watch to stop once the tick under way (and its job) is done; the
// handlers the process had before come back when the watch ends.
class StopSignals {
public:
    StopSignals()
    {
        struct sigaction sa{};
        sa.sa_handler = on_stop_signal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old_int_);
        sigaction(SIGTERM, &sa, &old_term_);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction old_int_{};
    struct sigaction old_term_{};
};

void wait_for_tick()
{
    for (long waited = 0; waited < TickMs && !StopRequested; waited += StopCheckMs) {
        timespec t{0, StopCheckMs * 1000000L};
        nanosleep(&t, nullptr);
    }
}

std::string absolute(const char* path)
{
    if (path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : std::string(path);
}

} // namespace

void stop_watch()
{
    StopRequested = 1;
}

int run_watch(const WatchRequest& r, std::FILE* err)
{
    StopSignals signals;
    StopRequested = 0;
    posix::Options options;
    options.log = err;
    options.printer = r.printer ? r.printer : "";
    posix::configure(options);
    if (r.install_folder)
        posix::set_value(InstallKey, "Path", absolute(r.install_folder));

    reset_monitor_state();
    // The monitor joins names with backslashes and the backend reads each as a separator: an
    // install folder with one in its name would be taken for another folder.
    if (read_install_folder() && std::strchr(Monitor.InstallFolder, '\\')) {
        std::fprintf(err,
                     "qmspool watch: install folder '%s' not used: a backslash in its name "
                     "would be read as a folder separator\n",
                     posix::printable(Monitor.InstallFolder).c_str());
        reset_monitor_state();
        return 1;
    }
    Window window = posix::headless_window();
    if (discover_user_folders(window) != 0) {
        std::fprintf(err,
                     "qmspool watch: no install folder: give --install-folder DIR, or set Path "
                     "under [%s] in %s\n",
                     InstallKey, posix::settings_file_path().c_str());
        return 1;
    }
    if (Monitor.MonitoredUserCount == 0) {
        std::fprintf(err, "qmspool watch: no user folders with a backup folder in '%s'\n",
                     posix::printable(Monitor.InstallFolder).c_str());
        reset_monitor_state();
        return 1;
    }
    char printer[256] = "";
    if (!default_printer_name(printer, sizeof printer))
        std::snprintf(printer, sizeof printer, "%s", "(no default printer)");
    for (int i = 0; i < Monitor.MonitoredUserCount; ++i) {
        if (!Monitor.MonitoredUser[i].watch_handle)
            continue; // the backend has said why it could not watch the folder
        const std::string line = "watching " + posix::native_path(Monitor.MonitoredUser[i].status_line);
        posix::log_line(line.c_str());
    }
    posix::log_line(("printing on '" + std::string(printer) + "'").c_str());

    // The options a headless spooler has: no print dialog, every page straight to the printer.
    Settings settings;
    settings.show_dialog = 0;
    Counters counters;
    RenderState render;
    const JobSession session{settings, counters, render, window, nullptr, nullptr};
    char pending[PathBufferSize] = "";
    while (!StopRequested) {
        on_timer_tick(session, pending);
        wait_for_tick();
    }
    posix::log_line("stopped");
    reset_monitor_state();
    return 0;
}

} // namespace qm::host
