#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "cli/commands.h"
#include "cli/job_pdf.h"
#include "job/page_loop.h"

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
    for_each_page(job.stream, job.record_count, [&](std::int32_t first) {
        ++result.pages;
        if (result.pages >= range.first && result.pages <= range.last) {
            Canvas* page = doc.begin_page();
            if (!page) {
                result.failed = true;
                return false;
            }
            // The printer pass, then back to the page's start for the window pass that tells
            // where the page ends, as the job driver prints.
            const std::int64_t before = job.stream.tell();
            render_page(*page, printer_page_placement(caps), &job.stream, first, job.record_count,
                        job.render, {RenderPass::Printer, nullptr});
            job.stream.seek(before);
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
        skip_page(job, first);
        return result.pages < range.last;
    });
    if (progress && result.written > 0)
        std::fputc('\n', progress);
    return result;
}

namespace {

// A file that takes its final name only once it is whole; removed on every other way out.
class TempOutput {
public:
    explicit TempOutput(const char* final_path) : final_(final_path)
    {
        temp_ = final_ + ".XXXXXX";
        const int fd = mkstemp(temp_.data());
        if (fd < 0) {
            temp_.clear();
            return;
        }
        // As an ordinary new file would be: readable by others unless the umask says not.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        file_ = fdopen(fd, "wb");
        if (!file_)
            close(fd);
    }
    ~TempOutput()
    {
        if (file_)
            std::fclose(file_);
        if (!temp_.empty())
            unlink(temp_.c_str());
    }
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    std::FILE* file() const { return file_; }

    // Closes the file and gives it its name; false with errno set when either failed.
    bool commit()
    {
        std::FILE* f = std::exchange(file_, nullptr);
        if (std::fflush(f) != 0 || fsync(fileno(f)) != 0) {
            const int e = errno;
            std::fclose(f);
            errno = e;
            return false;
        }
        if (std::fclose(f) != 0 || std::rename(temp_.c_str(), final_.c_str()) != 0)
            return false;
        temp_.clear();
        return true;
    }

private:
    std::string final_;
    std::string temp_;
    std::FILE* file_ = nullptr;
};

} // namespace

int run_pdf(const char* path, const char* out_path, const PageRange& range, std::FILE* progress,
            std::FILE* err)
{
    SpoolJob job;
    if (!open_spool_job(path, job, err))
        return 1;
    errno = 0;
    TempOutput out(out_path);
    if (!out.file()) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    int write_errno = 0;
    std::unique_ptr<PdfDocument> doc =
        PdfDocument::create([&](const unsigned char* data, std::size_t length) {
            if (std::fwrite(data, 1, length, out.file()) == length)
                return true;
            write_errno = errno;
            return false;
        });
    if (!doc) {
        std::fprintf(err, "qmspool: cannot start a PDF document: out of memory\n");
        return 1;
    }
    const PagesWritten w = write_job_pages(job, *doc, range, path, progress);
    if (!w.failed && w.written == 0) {
        if (w.pages == 0)
            std::fprintf(err, "qmspool: '%s' has no pages\n", path);
        else
            std::fprintf(err, "qmspool: page %" PRId32 " is out of range: '%s' has %" PRId32
                              " page%s\n",
                         range.first, path, w.pages, w.pages == 1 ? "" : "s");
        return 1;
    }
    if (w.failed || !doc->finish()) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     write_errno ? std::strerror(write_errno) : doc->error().c_str());
        return 1;
    }
    if (!out.commit()) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path, std::strerror(errno));
        return 1;
    }
    return 0;
}

} // namespace qm::cli
