#include <cinttypes>
#include <cstring>
#include <string>

#include "cli/job_pdf.h"
#include "host/host_commands.h"
#include "platform/posix/cups_job.h"

namespace qm::host {

int run_print(const PrintRequest& r, std::FILE* out, std::FILE* err)
{
    cli::SpoolJob job;
    if (!cli::open_spool_job(r.path, job, err))
        return 1;
    if (job.record_count <= 0) {
        std::fprintf(err, "qmspool: '%s' has no pages to print\n", r.path);
        return 1;
    }
    const char* slash = std::strrchr(r.path, '/');
    const char* title = r.title ? r.title : slash ? slash + 1 : r.path;

    std::string error;
    std::unique_ptr<posix::CupsJob> cups =
        posix::CupsJob::start(r.printer ? r.printer : "", title, error);
    if (!cups) {
        std::fprintf(err, "qmspool: cannot print '%s': %s\n", r.path, error.c_str());
        return 1;
    }
    // The PDF goes to the server as it is made; nothing is written to a file.
    std::unique_ptr<PdfDocument> doc = PdfDocument::create(
        [&cups](const unsigned char* data, std::size_t n) { return cups->write(data, n); });
    if (!doc) {
        std::fprintf(err, "qmspool: cannot start a PDF document: out of memory\n");
        return 1;
    }
    const cli::PagesWritten w =
        cli::write_job_pages(job, *doc, cli::PageRange{}, r.path, cli::terminal_or_null(err));
    // The cups job is cancelled (its destructor) on every way out but success.
    if (w.failed && cups->write_error().empty()) { // a page refused, or cairo failed on it
        std::fprintf(err, "qmspool: cannot print '%s': page %" PRId32 ": %s\n", r.path, w.pages,
                     doc->error().c_str());
        return 1;
    }
    if (w.failed || !doc->finish()) {
        const std::string why = cups->write_error().empty() ? doc->error() : cups->write_error();
        std::fprintf(err, "qmspool: cannot print '%s': %s\n", r.path, why.c_str());
        return 1;
    }
    doc.reset();
    if (!cups->finish(error)) {
        std::fprintf(err, "qmspool: cannot print '%s': %s\n", r.path, error.c_str());
        return 1;
    }
    std::fprintf(out, "%s-%d (%" PRId32 " page%s)\n", cups->printer().c_str(), cups->id(),
                 w.written, w.written == 1 ? "" : "s");
    return 0;
}

} // namespace qm::host
