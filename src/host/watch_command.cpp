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
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host_commands.h"
#include "host/services/cups_job.h"
#include "host/services/journal_wording.h"
#include "host/services/watch_lock.h"
#include "host/watch_journal.h"
#include "job/job_session.h"
#include "monitor/change_monitor.h"
#include "monitor/discovery.h"
#include "monitor/monitor_state.h"
#include "platform/posix/posix.h"
#include "text/printable.h"

namespace qm::host {
namespace {

// How often the wait between ticks looks for a stop request.
constexpr long StopCheckMs = 100;
// Where the desktop sync keeps its install folder, as the monitor reads it.

// What the watch owns: the monitor's state and what its jobs read and update. The monitor and
// the job driver keep nothing of their own; this is handed to them.
struct WatchState {
    MonitorState Monitor;
    // The options a headless spooler has: no print dialog, every page straight to the printer.
    Settings AppSettings{.show_dialog = 0};
    Counters SessionCounters;
    bool TickBusy = false;
    RenderState Render;
};

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
        set_cups_stop_flag(&StopRequested);
    }
    ~StopSignals()
    {
        set_cups_stop_flag(nullptr);
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
    for (long waited = 0; waited < static_cast<long>(TickPeriodMs) && !StopRequested;
         waited += StopCheckMs) {
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
std::string canonical_install_folder(const MonitorState& monitor)
{
    const std::string path = posix::native_path(monitor.InstallFolder);
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
    switch (find_cups_printer(named ? named : "", name, error)) {
    case PrinterLookup::Found:
        line = "printing on '" + name + "'";
        return true;
    case PrinterLookup::Missing:
        if (named) {
            std::fprintf(err, "qmspool watch: %s\n", error.c_str());
            return false;
        }
        line = "printing on '(no default printer)'";
        return true;
    case PrinterLookup::Unreachable:
        break;
    }
    posix::log_line(error.c_str());
    line = named ? "printing on '" + std::string(named) + "'"
                 : std::string("printing on CUPS's default printer");
    return true;
}

// The backend prints through CUPS: a CUPS job behind each of its documents.
class CupsPrinterJob : public posix::PrinterJob {
public:
    explicit CupsPrinterJob(std::unique_ptr<CupsJob> job) : job_(std::move(job)) {}
    bool write(const unsigned char* data, std::size_t length) override
    {
        return job_->write(data, length);
    }
    bool finish(std::string& error) override { return job_->finish(error); }
    const std::string& printer() const override { return job_->printer(); }
    int id() const override { return job_->id(); }

private:
    std::unique_ptr<CupsJob> job_;
};

std::unique_ptr<posix::PrinterJob> start_cups_job(const std::string& printer, const char* title,
                                                  std::string& error)
{
    std::unique_ptr<CupsJob> job = CupsJob::start(printer, title, error);
    if (!job)
        return nullptr;
    return std::make_unique<CupsPrinterJob>(std::move(job));
}

bool find_cups_default(std::string& name, std::string& error)
{
    return find_cups_printer("", name, error) == PrinterLookup::Found;
}

} // namespace

void stop_watch()
{
    StopRequested = 1;
}

namespace {

// Fills the monitor's install folder; 0, or the exit status after a line on `err` that says why
// the watch cannot start.
int locate_usable_install_folder(MonitorState& monitor, const char* given, std::FILE* err)
{
    // The monitor joins names with backslashes and the backend reads each as a separator: an
    // install folder with one in its name would be taken for another folder.
    const bool located = locate_install_folder(monitor, given);
    if (located && std::strchr(monitor.InstallFolder, '\\')) {
        std::fprintf(err,
                     "qmspool watch: install folder '%s' not used: a backslash in its name "
                     "would be read as a folder separator\n",
                     printable(monitor.InstallFolder).c_str());
        return 1;
    }
    // Nothing to watch yet (a user service started before the folder was named): one line that
    // says what to do, in place of the monitor's message box about it.
    if (!located) {
        std::fprintf(err,
                     "qmspool watch: no install folder set: name it with 'qmspool config "
                     "install-folder DIR' (or give --install-folder DIR) and start the watch "
                     "again\n");
        return WatchNotConfigured;
    }
    return 0;
}

// False after a line on `err` when another watch holds the install folder. A lock that cannot be
// had at all is said in the journal, and the watch goes on.
bool take_lock(WatchLock& lock, const MonitorState& monitor, std::FILE* err)
{
    const std::string folder = canonical_install_folder(monitor);
    std::string detail;
    switch (lock.take(folder, detail)) {
    case WatchLock::Outcome::Held:
        break;
    case WatchLock::Outcome::HeldByOther:
        std::fprintf(err, "qmspool watch: '%s' is already watched by qmspool watch (PID %s)\n",
                     printable(folder).c_str(), detail.c_str());
        return false;
    case WatchLock::Outcome::Unavailable:
        posix::log_line(("cannot tell whether another watch runs (" + detail + ")").c_str());
        break;
    }
    return true;
}

// A journal line for each folder watched.
void log_watched_folders(const MonitorState& monitor)
{
    for (int i = 0; i < monitor.MonitoredUserCount; ++i) {
        const MonitoredUserSlot& slot = monitor.MonitoredUser[i];
        if (!slot.watch_handle)
            continue; // the backend has said why it could not watch the folder
        // The path whole, as discovery built it: the slot's status line is cut to its field.
        char watched[PathBufferSize];
        if (!fit_watched_path(monitor.InstallFolder, slot.user_folder, slot.backup_folder, watched))
            continue; // discovery gave the slot only once it fitted
        posix::log_line(("watching " + posix::native_path(watched)).c_str());
    }
}

} // namespace

int run_watch(const WatchRequest& r, std::FILE* err)
{
    StopSignals signals;
    StopRequested = 0;
    posix::Options options;
    options.log = err;
    options.printer = r.printer ? r.printer : "";
    options.print_service = {start_cups_job, find_cups_default};
    options.notice_wording = [](const Notice& notice, const posix::NoticeFacts& facts) {
        return journal_line(notice, facts, JournalContext{});
    };
    posix::configure(options);
    // --install-folder is taken in place of the settings' install folder, as an absolute path
    // like the one the settings hold.
    const std::string given_folder = r.install_folder ? absolute(r.install_folder) : "";
    const char* given = r.install_folder ? given_folder.c_str() : nullptr;

    // Made before the state, so that the watches are closed before the lock is given back.
    WatchLock lock;
    WatchState state;
    MonitorState& monitor = state.Monitor;
    if (const int refused = locate_usable_install_folder(monitor, given, err))
        return refused;
    const JournalContext journal =
        journal_context(monitor.InstallFolder, r.install_folder != nullptr);
    posix::set_notice_wording([journal](const Notice& notice, const posix::NoticeFacts& facts) {
        return journal_line(notice, facts, journal);
    });
    // Before anything is touched (discovery deletes spool files left from before): a second
    // watch of the folder is refused, and so is a printer the server does not have.
    if (!take_lock(lock, monitor, err))
        return 1;
    std::string printer_line;
    if (!check_printer(r.printer, printer_line, err))
        return 1;
    if (StopRequested) {
        posix::log_line("stopped");
        return 0;
    }
    Window window = posix::headless_window();
    // Discovery's message has said what is missing, naming the setting or the folder.
    std::vector<SkippedUserFolder> skipped;
    if (discover_user_folders(monitor, window, StaleSpoolFiles::Delete, given, &skipped) != 0)
        return WatchNotConfigured;
    log_skipped_user_folders(monitor, skipped);
    if (monitor.MonitoredUserCount == 0)
        return WatchNotConfigured;
    log_watched_folders(monitor);
    posix::log_line(printer_line.c_str());

    const JobSession session{
        state.AppSettings, state.SessionCounters, state.TickBusy, state.Render, window, nullptr,
        nullptr};
    char pending[PathBufferSize] = "";
    while (!StopRequested) {
        on_timer_tick(monitor, session, pending);
        wait_for_tick();
    }
    posix::log_line("stopped");
    return 0;
}

} // namespace qm::host
