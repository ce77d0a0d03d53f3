#include <cinttypes>
#include <string>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/spool_job.h"
#include "spool/spool_container.h"
#include "spool/spool_record.h"
#include "text/printable.h"

namespace qm::cli {
namespace {

// A four-character code as text, each byte that is not printable ASCII as \xNN.
std::string code_text(std::uint32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned c = code >> shift & 0xFFu;
        char piece[8];
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '\'')
            std::snprintf(piece, sizeof piece, "%c", static_cast<char>(c));
        else
            std::snprintf(piece, sizeof piece, "\\x%02x", c);
        text += piece;
    }
    return text;
}

// Says on `err` when the header does not name the file a spool file. The file is listed all the
// same, as the job driver would read it: it never examines these fields.
void check_database_kind(SpoolStream& s, const char* path, std::FILE* err)
{
    std::uint32_t type = 0;
    std::uint32_t creator = 0;
    read_spool_header(s, nullptr, &type, &creator);
    s.seek(0);
    if (type == SpoolDatabaseType && creator == SpoolDatabaseCreator)
        return;
    std::fprintf(err,
                 "qmspool: warning: '%s' is not a spool file by its header (type '%s', creator "
                 "'%s', where a spool file has '%s', '%s'); listed as one all the same\n",
                 printable(path).c_str(), code_text(type).c_str(), code_text(creator).c_str(),
                 code_text(SpoolDatabaseType).c_str(), code_text(SpoolDatabaseCreator).c_str());
}

} // namespace

int run_info(const char* path, std::FILE* out, std::FILE* err)
{
    SpoolJob job;
    if (!open_spool_job(path, job, err, CutShortFile::Warn))
        return 1;
    SpoolStream& s = job.stream;
    check_database_kind(s, path, err);
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
