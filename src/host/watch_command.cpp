// `qmspool watch`: the Windows spooler's monitoring without its window. The job monitor's own
// discovery and tick, and the job driver under it, run unchanged over the POSIX backend; this
// file only sets the backend up, drives the tick and stops on a signal.
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include "host/host_commands.h"
#include "host/watch_lock.h"
#include "job/job_session.h"
#include "monitor/change_monitor.h"
#include "monitor/discovery.h"
#include "monitor/monitor_state.h"
#include "platform/posix/cups_job.h"
#include "platform/posix/posix.h"

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
// handlers the process had before come back when the watch ends. A request to the print server
// that hangs is cut short by the same flag.
class StopSignals {
public:
    StopSignals()
    {
        struct sigaction sa{};
        sa.sa_handler = on_stop_signal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old_int_);
        sigaction(SIGTERM, &sa, &old_term_);
        posix::set_cups_stop_flag(&StopRequested);
    }
    ~StopSignals()
    {
        posix::set_cups_stop_flag(nullptr);
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

// The install folder as one path whatever way it was named (links, "..", a trailing slash), for
// the lock; as given when it cannot be resolved (discovery then finds no users in it).
std::string canonical_install_folder()
{
    const std::string path = posix::native_path(Monitor.InstallFolder);
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string canonical = resolved;
    std::free(resolved);
    return canonical;
}

// The printer line of the start: the one named (refused when the server says it has no such
// printer), or the default. A server that cannot be reached is only reported: it may come up
// before the first job does. False after the refusal.
bool check_printer(const char* named, std::string& line, std::FILE* err)
{
    std::string name;
    std::string error;
    switch (posix::find_cups_printer(named ? named : "", name, error)) {
    case posix::PrinterLookup::Found:
        line = "printing on '" + name + "'";
        return true;
    case posix::PrinterLookup::Missing:
        if (named) {
            std::fprintf(err, "qmspool watch: %s\n", error.c_str());
            return false;
        }
        line = "printing on '(no default printer)'";
        return true;
    case posix::PrinterLookup::Unreachable:
        break;
    }
    posix::log_line(error.c_str());
    line = named ? "printing on '" + std::string(named) + "'"
                 : std::string("printing on CUPS's default printer");
    return true;
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
    // Nothing to watch yet (a user service started before the folder was named): one line that
    // says what to do, in place of the monitor's message box about it.
    if (!read_install_folder()) {
        std::fprintf(err,
                     "qmspool watch: no install folder set: name it with 'qmspool config "
                     "install-folder DIR' (or give --install-folder DIR) and start the watch "
                     "again\n");
        return WatchNotConfigured;
    }
    // Before anything is touched (discovery deletes spool files left from before): a second
    // watch of the folder is refused, and so is a printer the server does not have.
    WatchLock lock;
    const std::string folder = canonical_install_folder();
    std::string detail;
    switch (lock.take(folder, detail)) {
    case WatchLock::Outcome::Held:
        break;
    case WatchLock::Outcome::HeldByOther:
        std::fprintf(err, "qmspool watch: '%s' is already watched by qmspool watch (PID %s)\n",
                     posix::printable(folder).c_str(), detail.c_str());
        reset_monitor_state();
        return 1;
    case WatchLock::Outcome::Unavailable:
        posix::log_line(("cannot tell whether another watch runs (" + detail + ")").c_str());
        break;
    }
    std::string printer_line;
    if (!check_printer(r.printer, printer_line, err)) {
        reset_monitor_state();
        return 1;
    }
    if (StopRequested) {
        posix::log_line("stopped");
        reset_monitor_state();
        return 0;
    }
    Window window = posix::headless_window();
    if (discover_user_folders(window) != 0) {
        std::fprintf(err,
                     "qmspool watch: no install folder: give --install-folder DIR, or set Path "
                     "under [%s] in %s\n",
                     InstallKey, posix::settings_file_path().c_str());
        return WatchNotConfigured;
    }
    if (Monitor.MonitoredUserCount == 0) {
        std::fprintf(err, "qmspool watch: no user folders with a backup folder in '%s'\n",
                     posix::printable(Monitor.InstallFolder).c_str());
        reset_monitor_state();
        return WatchNotConfigured;
    }
    for (int i = 0; i < Monitor.MonitoredUserCount; ++i) {
        if (!Monitor.MonitoredUser[i].watch_handle)
            continue; // the backend has said why it could not watch the folder
        const std::string line = "watching " + posix::native_path(Monitor.MonitoredUser[i].status_line);
        posix::log_line(line.c_str());
    }
    posix::log_line(printer_line.c_str());

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
