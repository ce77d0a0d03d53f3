// cairo compresses every stream of a PDF through zlib's deflateInit, at zlib's default level, and
// has no setting for it. Most of a job's PDF is page images at band resolution, and at level 1
// those are written four times as fast for a file a quarter larger (20 pages of 300 dpi colour
// bands: 2.9 s against 12.5 s, 0.51 against 0.40 times the spool file). So the program defines
// deflateInit_, the function behind that macro, and the dynamic linker binds cairo's calls to this
// definition ahead of zlib's.
//
// That binds every caller in the process, not cairo alone. Today nothing else calls it (libpng
// and CUPS choose their levels through deflateInit2_); each call counts where it came from, and a
// test holds the count of other callers at zero, so that a library that starts to call it is
// noticed rather than silently compressed at level 1.
//
// Built as an object of its own that every program with PDF output links whole: nothing in the
// program calls it by name, so a static library would leave it out.
#include "render/pdf_deflate.h"

#include <dlfcn.h>
#include <zlib.h>

#include <atomic>
#include <cstring>

namespace qm {
namespace {

std::atomic<long> FromCairo{0};
std::atomic<long> FromElsewhere{0};

bool called_from_cairo(const void* return_address)
{
    Dl_info info{};
    return dladdr(return_address, &info) != 0 && info.dli_fname &&
           std::strstr(info.dli_fname, "libcairo") != nullptr;
}

} // namespace

DeflateInitCalls deflate_init_calls()
{
    return DeflateInitCalls{FromCairo.load(), FromElsewhere.load()};
}

} // namespace qm

extern "C" __attribute__((visibility("default"))) int
deflateInit_(z_streamp stream, int level, const char* version, int stream_size)
{
    if (!qm::called_from_cairo(__builtin_return_address(0))) {
        ++qm::FromElsewhere;
        return deflateInit2_(stream, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY, version,
                             stream_size);
    }
    ++qm::FromCairo;
    constexpr int FastestLevel = 1;
    constexpr int MemoryLevel = 8; // what zlib's own deflateInit_ asks for
    return deflateInit2_(stream, FastestLevel, Z_DEFLATED, MAX_WBITS, MemoryLevel,
                         Z_DEFAULT_STRATEGY, version, stream_size);
}
