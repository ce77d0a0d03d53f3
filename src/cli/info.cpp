#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "cli/commands.h"
#include "spool/spool_container.h"
#include "spool/spool_record.h"

namespace qm::cli {

int run_info(const char* path, std::FILE* out, std::FILE* err)
{
    errno = 0;
    SpoolStream s = SpoolStream::open_file(path);
    if (!s.is_open()) {
        std::fprintf(err, "qmspool: cannot open '%s': %s\n", path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    std::fprintf(out, "records\t%" PRId32 "\n", count);
    for (std::int32_t i = 0; i < count; ++i) {
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
            std::fprintf(out, "\t%u\t%u\t%u\t%u\t%u\t%u", h.width, h.height, h.left, h.top,
                         h.dpi_x, h.dpi_y);
        }
        std::fputc('\n', out);
    }
    return std::ferror(out) ? 1 : 0;
}

} // namespace qm::cli
