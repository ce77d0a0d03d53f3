// Writing spool files: the run-code encoder and the container writer. The spooler itself never
// writes spool files; `qmspool testpage`, the tests, the fuzz corpus and the benchmarks do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "spool/spool_record.h"

namespace qm {

using Bytes = std::vector<std::uint8_t>;

// One run code, for writing a run-coded stream by hand.
enum class RunOp : std::uint8_t { Fill = 0, Literal = 1, Zero = 2, CopyAbove = 3 };
// Appends the code for a run of n (1 to 64) bytes, and its data: one byte for a fill, the n
// bytes for a literal, none otherwise.
void append_run(Bytes& out, RunOp op, std::size_t n, const std::uint8_t* data = nullptr);

// Run-codes an image of `stride`-byte rows with every operation of the code: zero runs,
// copies from the row above, fills and literals, choosing the longest run at each point.
Bytes run_encode(const std::uint8_t* image, std::size_t size, std::size_t stride);

// A band header with one resolution both ways.
constexpr BandHeader band_header(std::uint16_t width, std::uint16_t height, std::uint16_t dpi,
                                 std::uint16_t left = 0, std::uint16_t top = 0)
{
    return BandHeader{width, height, left, top, dpi, dpi};
}

// A band record: kind, flags (bit 7 set when `compress`), header, pixel data. `pixels` holds
// the decoded image, row_bytes(kind, width) x height bytes.
Bytes band_record(int kind, std::uint8_t flags, const BandHeader& h, const Bytes& pixels,
                  bool compress);
// A text record: kind 1, flags, the text bytes.
Bytes text_record(std::uint8_t flags, std::string_view text);

// A whole spool file. The record list follows the records unless told otherwise, so tests can
// also write lists out of order or counts that disagree with the list.
struct SpoolImage {
    std::vector<Bytes> records;
    std::optional<std::uint16_t> count;            // default: records.size()
    std::vector<std::optional<std::uint32_t>> positions; // per record; default: where it lands
    Bytes trailer;                                 // bytes after the last record
};
Bytes build_spool(const SpoolImage& image);

// Writes bytes to a file; false when that failed.
bool write_file(const char* path, const Bytes& bytes);

} // namespace qm
