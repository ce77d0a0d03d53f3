// The layout of a spool record: the kind and flags bytes, the band header, the pixel formats,
// the run code, and the text lines of a text record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "spool/spool_stream.h"

namespace qm {

enum SpoolRecordKind : int {
    KindBand1 = 0, // 1-bit pixels, most significant bit leftmost, 1 is black
    KindText = 1,
    KindBand8 = 2,  // 8-bit system palette indexes
    KindBand16 = 3, // 16-bit RGB565, low byte first
};

inline constexpr std::uint8_t FlagContinued = 0x01;
inline constexpr std::uint8_t FlagCompressed = 0x80;

// Room the decoder may write past the image: the last run can overshoot by up to 63 bytes.
inline constexpr std::size_t BandSpareBytes = 256;

inline constexpr bool is_band_kind(int kind)
{
    return kind == KindBand1 || kind == KindBand8 || kind == KindBand16;
}

struct BandHeader {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t left = 0;
    std::uint16_t top = 0;
    std::uint16_t dpi_x = 0;
    std::uint16_t dpi_y = 0;
};

// Bytes in one decoded row: (width + 7) / 8, width, or 2 x width for kinds 0, 2 and 3.
std::int32_t row_bytes(int kind, int width);

// row_bytes x height, in 64 bits so that no header can overflow it.
std::uint64_t band_image_size(int kind, const BandHeader& h);

// Reads the six header fields and the four ignored bytes (record bytes 2 to 17).
BandHeader read_band_header(SpoolStream& s);

// A band's pixel buffer: the image size plus the spare bytes. Empty when the size passes
// MaxBandImageBytes or the memory is not there, which callers treat alike.
struct BandBuffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint64_t image_size = 0;
    explicit operator bool() const { return bytes != nullptr; }
};
BandBuffer allocate_band_buffer(std::uint64_t image_size);

// Decodes the band's pixel data, plain or run-coded as the flags say, from the stream's current
// position into `buffer` (room for the image size plus BandSpareBytes). Leaves the stream just
// behind the last byte consumed. Image bytes that the file ended before producing are 0, and so
// are copy-from-above bytes of the first row, which has no row above.
void decode_band(SpoolStream& s, std::uint8_t flags, int kind, const BandHeader& h,
                 std::uint8_t* buffer);

// Walks the text of a text record and hands out its lines. 0x0A and 0x00 end a line and are no
// part of it; 0x0D and 0x0F are dropped; the last text byte ends the last line unless it is 0x0D
// or 0x0F. A line longer than the line buffer is handed out in pieces of at most LineBufferSize
// bytes, all but the last with `line_end` false, so a caller can draw it whole without our ever
// holding more than the buffer. If the file ends inside the text, the text ends there: a line
// under way is handed out as if the last byte had ended it.
inline constexpr std::size_t LineBufferSize = 1000;

template <typename OnPiece> // void(const char* bytes, std::size_t n, bool line_end)
void read_text_lines(SpoolStream& s, std::int64_t text_length, OnPiece&& on_piece)
{
    char line[LineBufferSize];
    std::size_t used = 0;
    bool line_open = false; // bytes of the current line were seen (some perhaps handed out)
    for (std::int64_t k = 0; k < text_length; ++k) {
        const int c = s.get();
        if (c < 0) {
            if (line_open)
                on_piece(line, used, true);
            return;
        }
        if (c == 0x0D || c == 0x0F)
            continue;
        const bool last = k + 1 == text_length;
        if (c != 0x0A && c != 0x00) {
            if (used == LineBufferSize) {
                on_piece(line, used, false);
                used = 0;
            }
            line[used++] = static_cast<char>(c);
            line_open = true;
            if (!last)
                continue;
        }
        on_piece(line, used, true);
        used = 0;
        line_open = false;
    }
}

} // namespace qm
