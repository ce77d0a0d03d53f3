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

PagePlacement window_placement(std::int32_t window_width, std::int32_t screen_width,
                               std::int32_t screen_height)
{
    const std::int32_t scale = (window_width + 1) / 8;
    return PagePlacement{0, 0, scale, scale, screen_width, screen_height};
}

void skip_page(SpoolJob& job, std::int32_t first_record)
{
    NullCanvas nothing;
    render_page(nothing, window_placement(DefaultWindowWidth, 1280, 1024), &job.stream,
                first_record, job.record_count, true, true, nullptr);
}

} // namespace qm::cli
