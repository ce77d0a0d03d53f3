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
// stacked image would pass the size cap, the first band alone is saved. Text records add
// nothing to the picture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "spool/spool_record.h"

namespace qm {

void write_le16(std::FILE* f, std::uint32_t v);
void write_le32(std::FILE* f, std::uint32_t v);

// Row stride of a BMP of this kind and width: rows padded to four bytes.
std::uint64_t bmp_stride(int kind, std::uint32_t width);

// Collects a page's bands while it is drawn and writes the file when the page is done.
class BmpPageExport {
public:
    explicit BmpPageExport(std::FILE* out) : out_(out) {}
    BmpPageExport(const BmpPageExport&) = delete;
    BmpPageExport& operator=(const BmpPageExport&) = delete;

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
    std::FILE* out_;
    std::vector<Band> bands_;
};

} // namespace qm
