// The libFuzzer entry point: every input is a spool file, read record by record and then drawn
// page by page. The replay program links this same file, so a corpus file replays exactly as
// the fuzzer ran it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "spool/spool_check.h"
#include "spool/spool_container.h"

#include "render_walk.h"
#include "spool_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The check every job makes first reads the whole file too, and must leave the stream
    // where it found it.
    qm::SpoolStream s = qm::SpoolStream::from_memory(data, size);
    std::int32_t count = 0;
    qm::read_spool_header(s, &count, nullptr, nullptr);
    s.seek(size / 2);
    const qm::SpoolCut cut = qm::find_spool_cut(s, count);
    char said[160];
    qm::describe_spool_cut(cut, said, sizeof said);
    if (s.tell() != static_cast<std::int64_t>(size / 2) || (cut && cut.record >= cut.count)) {
        std::fprintf(stderr, "find_spool_cut: %s\n", said);
        std::abort();
    }

    const qm::fuzz::WalkSummary read = qm::fuzz::walk_spool(data, size);
    // Drawing decodes every band again and paints it on a 24-bit surface of its full size: only
    // files whose reading stayed within the walk's bounds, and whose bands are modest, are
    // drawn, so each input stays fast.
    if (read.bands_passed_over == 0 && read.record_count <= qm::fuzz::MaxWalkedRecords &&
        read.band_pixels <= qm::fuzz::MaxRenderedPixels)
        qm::fuzz::render_spool(data, size, (size & 1) != 0);
    return 0;
}
