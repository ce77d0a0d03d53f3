#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "cli/commands.h"
#include "cli/job_pdf.h"
#include "cli/output_file.h"
#include "cli/spool_job.h"

namespace qm::cli {

std::FILE* terminal_or_null(std::FILE* stream)
{
    return stream && isatty(fileno(stream)) ? stream : nullptr;
}

PagesWritten write_job_pages(SpoolJob& job, PdfDocument& doc, const PageRange& range,
                             const char* name, std::FILE* progress)
{
    PagesWritten result;
    const DeviceCaps caps = pdf_device_caps();
    bool in_range = false;
    walk_job_pages(
        job,
        [&](std::int32_t, PagePasses& passes) {
            ++result.pages;
            in_range = result.pages >= range.first && result.pages <= range.last;
            if (!in_range)
                return true;
            // The printer pass on the PDF page, as the job driver prints.
            passes.printer = doc.begin_page();
            passes.on_paper = printer_page_placement(caps);
            if (!passes.printer)
                result.failed = true;
            return passes.printer != nullptr;
        },
        [&](std::int32_t, const PageDrawn&) {
            if (in_range) {
                if (!doc.end_page()) {
                    result.failed = true;
                    return false;
                }
                ++result.written;
                if (progress) {
                    std::fprintf(progress, "\rqmspool: %s: page %" PRId32, name, result.pages);
                    std::fflush(progress);
                }
            }
            return result.pages < range.last;
        });
    if (progress && result.written > 0)
        std::fputc('\n', progress);
    return result;
}

int run_pdf(const char* path, const char* out_path, const PageRange& range, std::FILE* progress,
            std::FILE* err)
{
    SpoolJob job;
    if (!open_spool_job(path, job, err))
        return 1;
    // Written beside its name and renamed into place once whole, never over the job itself.
    OutputFile out;
    if (!out.prepare(out_path, path, err))
        return 1;
    errno = 0;
    OwnedFile file(std::fopen(out.write_path(), "wb"));
    if (!file) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    int write_errno = 0;
    std::unique_ptr<PdfDocument> doc =
        PdfDocument::create([&](const unsigned char* data, std::size_t length) {
            if (std::fwrite(data, 1, length, file.get()) == length)
                return true;
            write_errno = errno;
            return false;
        });
    if (!doc) {
        std::fprintf(err, "qmspool: cannot start a PDF document: out of memory\n");
        return 1;
    }
    const PagesWritten w = write_job_pages(job, *doc, range, path, progress);
    if (!w.failed && w.pages == 0) {
        std::fprintf(err, "qmspool: '%s' has no pages\n", path);
        return 1;
    }
    // Every page named must be there: the output is not put in place otherwise.
    if (!w.failed && (w.written == 0 || (range.last != INT32_MAX && w.pages < range.last))) {
        const std::int32_t missing = w.written == 0 ? range.first : range.last;
        std::fprintf(err,
                     "qmspool: page %" PRId32 " is out of range: '%s' has %" PRId32
                     " page%s (A- runs to the last page)\n",
                     missing, path, w.pages, w.pages == 1 ? "" : "s");
        return 1;
    }
    if (w.failed && !write_errno) { // a page refused, or cairo failed on it
        std::fprintf(err, "qmspool: cannot write '%s': page %" PRId32 ": %s\n", out_path, w.pages,
                     doc->error().c_str());
        return 1;
    }
    if (w.failed || !doc->finish()) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     write_errno ? std::strerror(write_errno) : doc->error().c_str());
        return 1;
    }
    errno = 0;
    if (std::fclose(file.release()) != 0) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    return out.commit(err) ? 0 : 1;
}

} // namespace qm::cli
