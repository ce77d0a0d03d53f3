// Saving the first page of a graphic job as a Windows bitmap file.
//
// A page of one band becomes a BMP of that band at its own size and pixel depth: 1-bit with a
// white/black colour table, 8-bit with the system palette, or 16-bit 5-5-5. The pixel area is
// first given a provisional fill ((offset >> 4) & 0xFF) and the decoded rows are then written
// bottom-up over it, so row padding keeps the fill.
//
// A page of several bands that share kind and resolution becomes one image of the page: the
// bands stacked at their places, each `top` rows below where the band before ended and `left`
// pixels in, with white where no band is. If the bands differ in kind or resolution, or the
// stacked image would pass the size cap (MaxBandImageBytes) or be taller than one band can be
// (MaxStackedRows), the first band alone is saved. Text records add
// nothing to the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "spool/spool_record.h"

namespace qm {

void write_le16(std::FILE* f, std::uint32_t v);
void write_le32(std::FILE* f, std::uint32_t v);

// Row stride of a BMP of this kind and width: rows padded to four bytes.
std::uint64_t bmp_stride(int kind, std::uint32_t width);

// Collects a page's bands while it is drawn and writes the file when the page is done. The file
// is written front to back without a seek, so it may be a pipe. At most one picture's worth of
// decoded pixels is held (the stack, which the size cap bounds, or the first band alone): a band
// that makes the page impossible to stack has the first band written before its own pixels are
// read, and every band after that is dropped as it comes.
class BmpPageExport {
public:
    explicit BmpPageExport(std::FILE* out) : out_(out) {}
    BmpPageExport(const BmpPageExport&) = delete;
    BmpPageExport& operator=(const BmpPageExport&) = delete;

    // Announces the next band before its pixels are read (optional: add_band announces a band
    // that was not).
    void next_band(int kind, const BandHeader& h);

    // Takes a band and its decoded pixels; an empty buffer (no memory for it) leaves the
    // band's pixel area at the provisional fill.
    void add_band(int kind, const BandHeader& h, BandBuffer pixels);

    // Writes the file at the stream's current position (nothing for a page without bands).
    void finish();

private:
    struct Band {
        int kind;
        BandHeader header;
        BandBuffer pixels;
    };
    void write_first_band_alone();

    std::FILE* out_;
    std::vector<Band> bands_;
    std::size_t announced_ = 0; // bands seen by next_band (or add_band unannounced)
    std::size_t added_ = 0;
    int first_kind_ = 0;
    BandHeader first_;
    bool stackable_ = true;
    bool written_ = false;
    std::uint64_t width_ = 0; // of the stack so far
    std::uint64_t height_ = 0;
};

} // namespace qm
