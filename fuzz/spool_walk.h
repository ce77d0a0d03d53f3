// One pass over a spool file as the spooler reads it: the record count, then every record's
// extent, kind and flags, each band's header and pixel data, each text record's lines. Shared by
// the libFuzzer target and the replay program, so the corpus is replayed by exactly the code
// that fuzzing runs. Invariants the rest of the program relies on are checked as it goes, and a
// broken one aborts, which the fuzzer reports as a crash.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::fuzz {

// Bounds that keep a single input fast. A 20-byte file can list 32767 records that all point at
// one band header asking for 256 MiB; walking that in full proves nothing new and would make each
// such input take minutes under the sanitizers.
inline constexpr std::int32_t MaxWalkedRecords = 4096;
// Decoded band bytes plus text bytes per input. A band larger than what is left is passed over
// unless it is past the allocation limit, whose refusal costs nothing and is always checked.
// Small images reach every path of the decoder; large ones only make each run slower.
inline constexpr std::uint64_t WalkWorkBudget = 4ull << 20;

struct WalkSummary {
    std::int32_t record_count = 0; // as read from the header, before capping
    std::int32_t records_walked = 0;
    std::int32_t bands_decoded = 0;
    std::int32_t bands_refused = 0;     // over the allocation limit
    std::int32_t bands_passed_over = 0; // over the work budget
    std::int32_t text_lines = 0;
    std::uint64_t band_pixels = 0; // width x height over the bands decoded
    std::uint32_t checksum = 0;    // over everything decoded, so none of it is optimised away
};

WalkSummary walk_spool(const std::uint8_t* data, std::size_t size);

} // namespace qm::fuzz
