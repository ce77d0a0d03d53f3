#include <cinttypes>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/spool_job.h"
#include "spool/spool_container.h"
#include "spool/spool_record.h"

namespace qm::cli {

int run_info(const char* path, std::FILE* out, std::FILE* err)
{
    SpoolJob job;
    if (!open_spool_job(path, job, err))
        return 1;
    SpoolStream& s = job.stream;
    std::fprintf(out, "records\t%" PRId32 "\n", job.record_count);
    for (std::int32_t i = 0; i < job.record_count; ++i) {
        std::uint32_t position = 0;
        std::int32_t length = 0;
        get_record_extent(s, i, &position, &length);
        s.seek(position);
        const int kind = read_u8(s);
        const int flags = read_u8(s);
        std::fprintf(out, "record\t%" PRId32 "\t%" PRIu32 "\t%" PRId32 "\t%d\t%d", i, position,
                     length, kind, flags);
        if (is_band_kind(kind)) {
            const BandHeader h = read_band_header(s);
            std::fprintf(out, "\t%u\t%u\t%u\t%u\t%u\t%u", h.width, h.height, h.left, h.top, h.dpi_x,
                         h.dpi_y);
        }
        std::fputc('\n', out);
    }

    // Where pages start, as a screen-only job makes its window passes.
    std::fputs("pages", out);
    s.seek(0);
    walk_job_pages(
        job,
        [&](std::int32_t first, PagePasses&) {
            std::fprintf(out, "\t%" PRId32, first);
            return true;
        },
        [](std::int32_t, const PageDrawn&) { return true; });
    std::fputc('\n', out);
    return finish_output(out, err) ? 0 : 1;
}

} // namespace qm::cli
