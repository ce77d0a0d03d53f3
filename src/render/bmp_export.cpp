#include "render/bmp_export.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "spool/spool_limits.h"
#include "spool/system_palette.h"

namespace qm {
namespace {

constexpr std::uint32_t HeaderBytes = 54;
constexpr std::uint32_t PixelsPerMetre = 2667; // 67.7 dpi: what the handheld's files carry

int bits_per_pixel(int kind)
{
    return kind == KindBand1 ? 1 : kind == KindBand8 ? 8 : 16;
}

std::uint32_t palette_entries(int kind)
{
    return kind == KindBand1 ? 2 : kind == KindBand8 ? 256 : 0;
}

// One image to write: its size and a source of decoded rows (null for a row left at the fill).
// Rows are asked for bottom row first, the order the file stores them in.
struct ImageSource {
    int kind;
    std::uint32_t width;
    std::uint32_t height;
    const std::uint8_t* (*row)(void* self, std::uint32_t i, std::uint8_t* scratch);
    void* self;
};

// Writes the whole file front to back: no seek, so that a pipe takes it as a file does, and
// rows gathered into large writes rather than one small write per row.
void write_image(std::FILE* f, const ImageSource& img)
{
    const std::uint32_t stride = static_cast<std::uint32_t>(bmp_stride(img.kind, img.width));
    const std::uint32_t image_size = stride * img.height;
    const std::uint32_t entries = palette_entries(img.kind);
    const std::uint32_t pixels_at = HeaderBytes + 4 * entries;

    std::fputc('B', f);
    std::fputc('M', f);
    write_le32(f, image_size + pixels_at);
    write_le32(f, 0);
    write_le32(f, pixels_at);
    write_le32(f, 40);
    write_le32(f, img.width);
    write_le32(f, img.height);
    write_le16(f, 1);
    write_le16(f, static_cast<std::uint32_t>(bits_per_pixel(img.kind)));
    write_le32(f, 0); // BI_RGB
    write_le32(f, image_size);
    write_le32(f, PixelsPerMetre);
    write_le32(f, PixelsPerMetre);
    write_le32(f, 0);
    write_le32(f, 0);
    if (img.kind == KindBand1) {
        const std::uint8_t table[8] = {0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0}; // 0 white, 1 black
        std::fwrite(table, 1, sizeof table, f);
    } else if (img.kind == KindBand8) {
        std::fwrite(SystemPalette.data(), 4, SystemPalette.size(), f);
    }
    if (image_size == 0)
        return;

    // Each row as it lands in the file: its bytes over the provisional fill ((offset >> 4) &
    // 0xFF, offset counted from the first pixel byte), which the row's padding keeps.
    const std::uint32_t rb =
        static_cast<std::uint32_t>(row_bytes(img.kind, static_cast<int>(img.width)));
    const std::size_t block_size = std::max<std::size_t>(std::size_t{1} << 16, stride);
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[block_size]);
    std::unique_ptr<std::uint8_t[]> scratch(new std::uint8_t[rb + 4]);
    std::unique_ptr<std::uint8_t[]> converted(new std::uint8_t[rb + 4]);
    std::size_t used = 0;
    std::uint32_t offset = 0;
    for (std::uint32_t n = 0; n < img.height; ++n, offset += stride) {
        const std::uint32_t i = img.height - 1 - n;
        const std::uint8_t* row = img.row(img.self, i, scratch.get());
        if (row && img.kind == KindBand16) {
            // RGB565 to 5-5-5: green drops its lowest bit, the top bit is 0.
            for (std::uint32_t x = 0; x < img.width; ++x) {
                const std::uint32_t p = row[2 * x] | (row[2 * x + 1] << 8);
                const std::uint32_t v = ((p >> 11) << 10) | (((p >> 6) & 0x1F) << 5) | (p & 0x1F);
                converted[2 * x] = static_cast<std::uint8_t>(v);
                converted[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
            }
            row = converted.get();
        }
        if (used + stride > block_size) {
            std::fwrite(block.get(), 1, used, f);
            used = 0;
        }
        std::uint8_t* out = block.get() + used;
        const std::uint32_t from = row ? rb : 0;
        if (row)
            std::memcpy(out, row, rb);
        for (std::uint32_t b = from; b < stride; ++b)
            out[b] = static_cast<std::uint8_t>((offset + b) >> 4);
        used += stride;
    }
    std::fwrite(block.get(), 1, used, f);
}

} // namespace

void write_le16(std::FILE* f, std::uint32_t v)
{
    std::fputc(static_cast<int>(v & 0xFF), f);
    std::fputc(static_cast<int>((v >> 8) & 0xFF), f);
}

void write_le32(std::FILE* f, std::uint32_t v)
{
    write_le16(f, v & 0xFFFF);
    write_le16(f, v >> 16);
}

std::uint64_t bmp_stride(int kind, std::uint32_t width)
{
    return (static_cast<std::uint64_t>(bits_per_pixel(kind)) * width + 31) / 32 * 4;
}

void BmpPageExport::next_band(int kind, const BandHeader& h)
{
    if (++announced_ == 1) {
        first_kind_ = kind;
        first_ = h;
    } else if (kind != first_kind_ || h.dpi_x != first_.dpi_x || h.dpi_y != first_.dpi_y) {
        stackable_ = false;
    }
    if (written_ || !out_)
        return;
    // The stack only grows: once it cannot be made, no later band makes it possible.
    width_ = std::max<std::uint64_t>(width_, std::uint64_t{h.left} + h.width);
    height_ += std::uint64_t{h.top} + h.height;
    if (announced_ > 1 &&
        (width_ > 0xFFFF * 2ull || height_ > MaxStackedRows ||
         bmp_stride(first_kind_, static_cast<std::uint32_t>(width_)) * height_ > MaxBandImageBytes))
        stackable_ = false;
    // Written now, before this band's pixels are read, so that two pictures' worth of pixels
    // are never held at once.
    if (!stackable_)
        write_first_band_alone();
}

void BmpPageExport::add_band(int kind, const BandHeader& h, BandBuffer pixels)
{
    if (announced_ <= added_)
        next_band(kind, h);
    ++added_;
    if (written_ || !out_)
        return; // the picture is already written: the band's pixels go as they came
    bands_.push_back(Band{kind, h, std::move(pixels)});
}

void BmpPageExport::write_first_band_alone()
{
    written_ = true;
    if (bands_.empty())
        return;
    const Band& first = bands_.front();
    const BandHeader& h = first.header;
    // A picture too large to keep in memory is not written at all rather than as gigabytes
    // of fill.
    if (bmp_stride(first.kind, h.width) * h.height <= MaxBandImageBytes) {
        ImageSource src{first.kind, h.width, h.height,
                        [](void* self, std::uint32_t i, std::uint8_t*) -> const std::uint8_t* {
                            const Band& b = *static_cast<const Band*>(self);
                            if (!b.pixels)
                                return nullptr;
                            return b.pixels.bytes.get() +
                                   std::size_t{i} *
                                       static_cast<std::size_t>(row_bytes(b.kind, b.header.width));
                        },
                        const_cast<Band*>(&first)};
        write_image(out_, src);
    }
    bands_.clear();
    bands_.shrink_to_fit();
}

void BmpPageExport::finish()
{
    if (written_ || bands_.empty() || !out_)
        return;
    if (bands_.size() == 1 || !stackable_) {
        write_first_band_alone();
        return;
    }
    written_ = true;

    // Where each band's first row lands in the stacked image. Bands never share a row (each
    // starts below where the one before ended), and rows are asked for bottom first, so one
    // cursor walking back through the bands finds each row's band.
    struct Layout {
        const std::vector<Band>* bands;
        std::vector<std::uint32_t> first_row;
        std::uint32_t width;
        std::size_t cursor;
    } layout{&bands_, {}, static_cast<std::uint32_t>(width_), bands_.size() - 1};
    std::uint32_t y = 0;
    for (const Band& b : bands_) {
        y += b.header.top;
        layout.first_row.push_back(y);
        y += b.header.height;
    }

    ImageSource src{
        bands_.front().kind, static_cast<std::uint32_t>(width_),
        static_cast<std::uint32_t>(height_),
        [](void* self, std::uint32_t i, std::uint8_t* scratch) -> const std::uint8_t* {
            Layout& l = *static_cast<Layout*>(self);
            const int kind = l.bands->front().kind;
            const std::size_t rb =
                static_cast<std::size_t>(row_bytes(kind, static_cast<int>(l.width)));
            // White background in the band's own format.
            if (kind == KindBand16) {
                for (std::size_t x = 0; x < rb; x += 2) {
                    scratch[x] = 0xFF; // RGB565 white
                    scratch[x + 1] = 0xFF;
                }
            } else {
                std::memset(scratch, 0, rb);
            }
            while (l.cursor > 0 && l.first_row[l.cursor] > i)
                --l.cursor;
            const std::size_t k = l.cursor;
            const Band& b = (*l.bands)[k];
            if (i < l.first_row[k] || i >= l.first_row[k] + b.header.height || !b.pixels)
                return scratch;
            const std::size_t brb = static_cast<std::size_t>(row_bytes(kind, b.header.width));
            const std::uint8_t* src_row = b.pixels.bytes.get() + (i - l.first_row[k]) * brb;
            if (kind == KindBand1) {
                for (std::uint32_t x = 0; x < b.header.width; ++x) {
                    if (src_row[x >> 3] & (0x80 >> (x & 7))) {
                        const std::uint32_t to = b.header.left + x;
                        scratch[to >> 3] |= static_cast<std::uint8_t>(0x80 >> (to & 7));
                    }
                }
            } else {
                const std::size_t bpp = kind == KindBand8 ? 1 : 2;
                std::memcpy(scratch + b.header.left * bpp, src_row, brb);
            }
            return scratch;
        },
        &layout};
    write_image(out_, src);
    bands_.clear();
}

} // namespace qm
