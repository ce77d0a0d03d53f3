#include <signal.h>

#include <cinttypes>
#include <csignal>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "cli/job_pdf.h"
#include "host/host_commands.h"
#include "host/services/cups_job.h"
#include "text/printable.h"

namespace qm::host {
namespace {

// The signal that asked the print to end; 0 while none has. The handler only stores it: the
// print looks at it between pages and the print server's waits give up on it, the CUPS job is
// cancelled (a job left open holds its queue until the server's own timeout) and the process
// then ends by the signal, as it would have without the handler.
volatile std::sig_atomic_t Interrupt = 0;

extern "C" void on_interrupt(int sig)
{
    Interrupt = sig;
}

constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Catches the signals that would end the program while it prints. One it ignores (SIGHUP under
// nohup) or handles itself is left as it is; the handlers before come back at the end.
class CaughtInterrupts {
public:
    CaughtInterrupts()
    {
        Interrupt = 0;
        struct sigaction action{};
        action.sa_handler = on_interrupt;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(InterruptSignals); ++i) {
            struct sigaction current{};
            caught_[i] = sigaction(InterruptSignals[i], nullptr, &current) == 0 &&
                         !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL &&
                         sigaction(InterruptSignals[i], &action, &old_[i]) == 0;
        }
        set_cups_stop_flag(&Interrupt);
    }
    ~CaughtInterrupts()
    {
        set_cups_stop_flag(nullptr);
        for (std::size_t i = 0; i < std::size(InterruptSignals); ++i)
            if (caught_[i])
                sigaction(InterruptSignals[i], &old_[i], nullptr);
    }
    CaughtInterrupts(const CaughtInterrupts&) = delete;
    CaughtInterrupts& operator=(const CaughtInterrupts&) = delete;

private:
    struct sigaction old_[std::size(InterruptSignals)]{};
    bool caught_[std::size(InterruptSignals)]{};
};

// The print itself: 0 once the server has the whole job. On every other way out, an interrupt
// included, the CUPS job is cancelled (CupsJob's destructor).
int print_job(const PrintRequest& r, std::FILE* out, std::FILE* err)
{
    // Names from the command line, a file's or a printer's, may hold line ends and terminal
    // controls: every one is shown escaped.
    const std::string path = printable(r.path);
    cli::SpoolJob job;
    if (!cli::open_spool_job(r.path, job, err))
        return 1;
    if (job.record_count <= 0) {
        std::fprintf(err, "qmspool: '%s' has no pages to print\n", path.c_str());
        return 1;
    }
    const char* slash = std::strrchr(r.path, '/');
    const char* title = r.title ? r.title : slash ? slash + 1 : r.path;

    std::string error;
    std::unique_ptr<CupsJob> cups =
        CupsJob::start(r.printer ? r.printer : "", title, error);
    if (Interrupt)
        return 1;
    if (!cups) {
        std::fprintf(err, "qmspool: cannot print '%s': %s\n", path.c_str(),
                     printable(error).c_str());
        return 1;
    }
    // The PDF goes to the server as it is made (page by page); nothing is written to a file.
    std::unique_ptr<PdfDocument> doc =
        PdfDocument::create([&cups](const unsigned char* data, std::size_t n) {
            return !Interrupt && cups->write(data, n);
        });
    if (!doc) {
        std::fprintf(err, "qmspool: cannot start a PDF document: out of memory\n");
        return 1;
    }
    const cli::PagesWritten w =
        cli::write_job_pages(job, *doc, cli::PageRange{}, path.c_str(), cli::terminal_or_null(err));
    if (Interrupt)
        return 1;
    if (w.failed && cups->write_error().empty()) { // a page refused, or cairo failed on it
        std::fprintf(err, "qmspool: cannot print '%s': page %" PRId32 ": %s\n", path.c_str(),
                     w.pages, doc->error().c_str());
        return 1;
    }
    const bool whole = !w.failed && doc->finish();
    if (Interrupt)
        return 1;
    if (!whole) {
        const std::string why = cups->write_error().empty() ? doc->error() : cups->write_error();
        std::fprintf(err, "qmspool: cannot print '%s': %s\n", path.c_str(), printable(why).c_str());
        return 1;
    }
    doc.reset();
    if (!cups->finish(error)) {
        if (Interrupt)
            return 1;
        std::fprintf(err, "qmspool: cannot print '%s': %s\n", path.c_str(),
                     printable(error).c_str());
        return 1;
    }
    std::fprintf(out, "%s-%d (%" PRId32 " page%s)\n", printable(cups->printer()).c_str(),
                 cups->id(), w.written, w.written == 1 ? "" : "s");
    return 0;
}

} // namespace

int run_print(const PrintRequest& r, std::FILE* out, std::FILE* err)
{
    int status = 0;
    int interrupted = 0;
    {
        CaughtInterrupts caught;
        status = print_job(r, out, err);
        interrupted = Interrupt;
    }
    // The job is cancelled, or the server had it all before the signal came: the process ends
    // by the signal now that its handler is the one from before.
    if (interrupted)
        raise(interrupted);
    return status;
}

} // namespace qm::host
