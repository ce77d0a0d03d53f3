// The libFuzzer entry point: every input is a spool file. The replay program links this same
// file, so a corpus file replays exactly as the fuzzer ran it.
#include <cstddef>
#include <cstdint>

#include "spool_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::walk_spool(data, size);
    return 0;
}
