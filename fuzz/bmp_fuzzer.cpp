// The BMP export of a page: every input is a spool file whose first page is saved as the menu
// command saves it. The file written must be exactly as long as its header says, and never
// larger than the size cap allows, whatever the bands claim.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "render/null_canvas.h"
#include "render/render_page.h"
#include "spool/spool_container.h"
#include "spool/spool_limits.h"
#include "spool_walk.h"

namespace {

#define QM_BMP_CHECK(cond)                                                                         \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: bmp check failed: %s\n", __FILE__, __LINE__, #cond);      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // As the spool target: only files whose bands are modest are drawn, so each input is fast.
    const qm::fuzz::WalkSummary read = qm::fuzz::walk_spool(data, size);
    if (read.bands_passed_over != 0 || read.record_count > qm::fuzz::MaxWalkedRecords ||
        read.band_pixels > (1u << 20))
        return 0;

    std::unique_ptr<std::FILE, FileCloser> out(std::tmpfile());
    if (!out)
        return 0;
    qm::SpoolStream s = qm::SpoolStream::from_memory(data, size);
    std::int32_t count = 0;
    qm::read_spool_header(s, &count, nullptr, nullptr);
    s.seek(0);
    qm::NullCanvas screen(qm::ReferenceScreen.screen);
    qm::RenderState state;
    qm::render_page(screen, qm::reference_window_placement(), &s, 0, count, state,
                    {qm::RenderPass::InWindow, out.get()});
    QM_BMP_CHECK(std::ferror(out.get()) == 0);

    const long written = std::ftell(out.get());
    QM_BMP_CHECK(written >= 0);
    if (written == 0)
        return 0;
    std::uint8_t header[54] = {};
    std::rewind(out.get());
    QM_BMP_CHECK(std::fread(header, 1, sizeof header, out.get()) == sizeof header);
    QM_BMP_CHECK(header[0] == 'B' && header[1] == 'M');
    QM_BMP_CHECK(le32(header + 2) == static_cast<std::uint32_t>(written));
    QM_BMP_CHECK(le32(header + 2) == le32(header + 10) + le32(header + 34));
    QM_BMP_CHECK(le32(header + 34) <= qm::MaxBandImageBytes);
    QM_BMP_CHECK(le32(header + 22) <= qm::MaxStackedRows);
    return 0;
}
