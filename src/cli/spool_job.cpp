#include "cli/spool_job.h"

#include <cerrno>
#include <cstring>

#include "render/null_canvas.h"
#include "spool/spool_container.h"

namespace qm::cli {

bool open_spool_job(const char* path, SpoolJob& job, std::FILE* err)
{
    errno = 0;
    job.stream = SpoolStream::open_file(path);
    if (!job.stream.is_open()) {
        std::fprintf(err, "qmspool: cannot open '%s': %s\n", path,
                     errno ? std::strerror(errno) : "unknown error");
        return false;
    }
    read_spool_header(job.stream, &job.record_count, nullptr, nullptr);
    job.stream.seek(0);
    return true;
}

void skip_page(SpoolJob& job, std::int32_t first_record)
{
    NullCanvas nothing;
    render_page(nothing, window_page_placement(DefaultWindowWidth, 1280, 1024), &job.stream,
                first_record, job.record_count, job.render, {RenderPass::InWindow, nullptr});
}

} // namespace qm::cli
