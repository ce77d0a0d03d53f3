// Printing through the print service the entry point hands in: a document of the job driver is
// one job of the service, its pages PDF pages drawn by the page renderer on a PDF canvas and
// streamed to the printer as they are made.
#include <string>

#include "platform/posix/posix.h"
#include "platform/posix/posix_internal.h"
#include "platform/print_port.h"

namespace qm {
namespace posix {
namespace {

constexpr char DocumentTitle[] = "Quillmark job";

PrintingState& printing()
{
    return state().printing;
}

void log_error(const std::string& text)
{
    log_line(("Print error: " + text).c_str());
}

} // namespace

void configure_printing(const std::string& printer, const PrintService& service)
{
    printing() = PrintingState{printer, service, {}};
}

} // namespace posix

bool default_printer_name(char* name, std::size_t size)
{
    posix::PrintingState& printing = posix::printing();
    std::string printer = printing.printer;
    printing.lookup_error.clear();
    if (printer.empty() && (!printing.service.find_default ||
                            !printing.service.find_default(printer, printing.lookup_error)))
        return false;
    if (printer.size() >= size)
        return false;
    std::snprintf(name, size, "%s", printer.c_str());
    return true;
}

DrawContext create_printer_dc(const char* name)
{
    auto* dc = new posix::Target;
    dc->printer = true;
    dc->name = name ? name : "";
    return posix::handle_of(dc);
}

void delete_printer_dc(DrawContext dc)
{
    delete posix::target_of(dc); // a job still open is cancelled
}

PrintDialogAnswer print_dialog(Window)
{
    // Nobody to ask: the job driver asks only when there is no printer to print on.
    const std::string& error = posix::printing().lookup_error;
    posix::log_error(error.empty() ? "CUPS has no default printer; name one with --printer NAME"
                                   : error);
    return PrintDialogAnswer{};
}

int start_document(DrawContext handle)
{
    posix::Target* dc = posix::target_of(handle);
    if (!dc || !dc->printer)
        return 0;
    std::string error;
    dc->failure.clear();
    dc->closed = posix::Target::Closed::No;
    const posix::PrintService& service = posix::printing().service;
    if (service.start_job)
        dc->job = service.start_job(dc->name, posix::DocumentTitle, error);
    else
        error = "no print service";
    if (!dc->job) {
        // The job driver says so at once, in a notice whose line gives this reason.
        dc->failure = error;
        return 0;
    }
    posix::PrinterJob* job = dc->job.get();
    dc->document = PdfDocument::create(
        [job](const unsigned char* data, std::size_t length) { return job->write(data, length); });
    dc->failed = !dc->document;
    dc->page = nullptr;
    return dc->document ? 1 : 0;
}

int start_page(DrawContext handle)
{
    posix::Target* dc = posix::target_of(handle);
    if (!dc || !dc->document)
        return -1;
    dc->page = dc->document->begin_page();
    if (!dc->page) {
        dc->failed = true;
        dc->failure = dc->document->error();
        return -1;
    }
    return 1;
}

int end_page(DrawContext handle)
{
    posix::Target* dc = posix::target_of(handle);
    if (!dc || !dc->document || !dc->page)
        return -1;
    dc->page = nullptr;
    if (!dc->document->end_page()) {
        dc->failed = true;
        return -1;
    }
    return 1;
}

int end_document(DrawContext handle)
{
    posix::Target* dc = posix::target_of(handle);
    if (!dc || !dc->job)
        return -1;
    std::unique_ptr<posix::PrinterJob> job = std::move(dc->job);
    std::unique_ptr<PdfDocument> document = std::move(dc->document);
    dc->page = nullptr;
    // A document that failed on the way is cancelled (job's destructor) rather than printed in
    // part; the job driver's notice of the page done says which of the two it was.
    std::string error;
    dc->closed = posix::Target::Closed::NotPrinted;
    if (dc->failed || !document || !document->finish()) {
        dc->closing = "printer '" + dc->name +
                      "': " + (document ? document->error() : std::string("no document"));
        document.reset();
        return -1;
    }
    if (!job->finish(error)) {
        dc->closing = error;
        return -1;
    }
    dc->closed = posix::Target::Closed::Printed;
    dc->closing = job->printer();
    dc->job_id = job->id();
    return 1;
}

} // namespace qm
