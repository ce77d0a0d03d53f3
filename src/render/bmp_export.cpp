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
struct ImageSource {
    int kind;
    std::uint32_t width;
    std::uint32_t height;
    const std::uint8_t* (*row)(const void* self, std::uint32_t i, std::uint8_t* scratch);
    const void* self;
};

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

    // The provisional fill, written in blocks.
    std::uint8_t block[4096];
    for (std::uint32_t k = 0; k < image_size;) {
        const std::uint32_t n = std::min<std::uint32_t>(sizeof block, image_size - k);
        for (std::uint32_t b = 0; b < n; ++b)
            block[b] = static_cast<std::uint8_t>((k + b) >> 4);
        std::fwrite(block, 1, n, f);
        k += n;
    }

    const std::uint32_t rb = static_cast<std::uint32_t>(row_bytes(img.kind, static_cast<int>(img.width)));
    std::unique_ptr<std::uint8_t[]> scratch(new std::uint8_t[rb + 4]);
    std::unique_ptr<std::uint8_t[]> converted(new std::uint8_t[rb + 4]);
    for (std::uint32_t i = 0; i < img.height; ++i) {
        const std::uint8_t* row = img.row(img.self, i, scratch.get());
        if (!row)
            continue;
        if (img.kind == KindBand16) {
            // RGB565 to 5-5-5: green drops its lowest bit, the top bit is 0.
            for (std::uint32_t x = 0; x < img.width; ++x) {
                const std::uint32_t p = row[2 * x] | (row[2 * x + 1] << 8);
                const std::uint32_t v = ((p >> 11) << 10) | (((p >> 6) & 0x1F) << 5) | (p & 0x1F);
                converted[2 * x] = static_cast<std::uint8_t>(v);
                converted[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
            }
            row = converted.get();
        }
        std::fseek(f, static_cast<long>(pixels_at + (img.height - 1 - i) * stride), SEEK_SET);
        std::fwrite(row, 1, rb, f);
    }
    std::fseek(f, 0, SEEK_END);
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

void BmpPageExport::add_band(int kind, const BandHeader& h, BandBuffer pixels)
{
    bands_.push_back(Band{kind, h, std::move(pixels)});
}

void BmpPageExport::finish()
{
    if (bands_.empty() || !out_)
        return;

    // Lay the bands out at band resolution; stack them only when they agree.
    const Band& first = bands_.front();
    bool stack = bands_.size() > 1;
    std::uint64_t width = 0, height = 0;
    for (const Band& b : bands_) {
        if (b.kind != first.kind || b.header.dpi_x != first.header.dpi_x ||
            b.header.dpi_y != first.header.dpi_y)
            stack = false;
        width = std::max<std::uint64_t>(width, std::uint64_t{b.header.left} + b.header.width);
        height += std::uint64_t{b.header.top} + b.header.height;
    }
    if (stack && (width > 0xFFFF * 2ull || bmp_stride(first.kind, static_cast<std::uint32_t>(width)) *
                                                   height > MaxBandImageBytes))
        stack = false;

    if (!stack) {
        const BandHeader& h = first.header;
        // A picture too large to keep in memory is not written at all rather than as gigabytes
        // of fill.
        if (bmp_stride(first.kind, h.width) * h.height > MaxBandImageBytes)
            return;
        ImageSource src{first.kind, h.width, h.height,
                        [](const void* self, std::uint32_t i, std::uint8_t*) -> const std::uint8_t* {
                            const Band& b = *static_cast<const Band*>(self);
                            if (!b.pixels)
                                return nullptr;
                            return b.pixels.bytes.get() +
                                   std::size_t{i} * static_cast<std::size_t>(
                                                        row_bytes(b.kind, b.header.width));
                        },
                        &first};
        write_image(out_, src);
        return;
    }

    // Where each band's first row lands in the stacked image.
    struct Layout {
        const std::vector<Band>* bands;
        std::vector<std::uint32_t> first_row;
        std::uint32_t width;
    } layout{&bands_, {}, static_cast<std::uint32_t>(width)};
    std::uint32_t y = 0;
    for (const Band& b : bands_) {
        y += b.header.top;
        layout.first_row.push_back(y);
        y += b.header.height;
    }

    ImageSource src{
        first.kind, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
        [](const void* self, std::uint32_t i, std::uint8_t* scratch) -> const std::uint8_t* {
            const Layout& l = *static_cast<const Layout*>(self);
            const int kind = l.bands->front().kind;
            const std::size_t rb = static_cast<std::size_t>(row_bytes(kind, static_cast<int>(l.width)));
            // White background in the band's own format.
            if (kind == KindBand16) {
                for (std::size_t x = 0; x < rb; x += 2) {
                    scratch[x] = 0xFF; // RGB565 white
                    scratch[x + 1] = 0xFF;
                }
            } else {
                std::memset(scratch, 0, rb);
            }
            for (std::size_t k = 0; k < l.bands->size(); ++k) {
                const Band& b = (*l.bands)[k];
                if (i < l.first_row[k] || i >= l.first_row[k] + b.header.height || !b.pixels)
                    continue;
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
            }
            return scratch;
        },
        &layout};
    write_image(out_, src);
}

} // namespace qm
