#include "cli/spool_job.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "spool/spool_check.h"
#include "spool/spool_container.h"
#include "text/printable.h"

namespace qm::cli {

bool open_spool_job(const char* path, SpoolJob& job, std::FILE* err, CutShortFile cut_short)
{
    // Only a regular file is a job: a folder would read as an empty job, and a pipe cannot be
    // read with the seeks a job needs (nor, without a writer, opened at all).
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
        std::fprintf(err, "qmspool: cannot read '%s': %s\n", printable(path).c_str(),
                     std::filesystem::is_directory(st) ? "it is a directory"
                                                       : "it is not a regular file");
        return false;
    }
    errno = 0;
    job.stream = SpoolStream::open_file(path);
    if (!job.stream.is_open()) {
        const int error = errno;
        std::fprintf(err, "qmspool: cannot open '%s': %s\n", printable(path).c_str(),
                     error ? std::strerror(error) : "unknown error");
        return false;
    }
    read_spool_header(job.stream, &job.record_count, nullptr, nullptr);
    job.stream.seek(0);
    if (const SpoolCut cut = find_spool_cut(job.stream, job.record_count)) {
        char what[160];
        describe_spool_cut(cut, what, sizeof what);
        const bool refuse = cut_short == CutShortFile::Refuse;
        std::fprintf(err, "qmspool: %s'%s' is cut short: %s%s\n", refuse ? "" : "warning: ",
                     printable(path).c_str(), what, refuse ? "" : "; listed as it reads");
        return !refuse;
    }
    return true;
}

} // namespace qm::cli
