// Page content and spool files for the benchmarks: what the handheld prints, in 16-bit bands.
//
// The content is the same for every benchmark so that their figures can be compared: white
// margins; lines of text in a small made-up font whose glyphs are 3-pixel strokes, so that rows
// repeat for a stretch and then change; a photograph (a gradient under sensor noise, which only
// literals hold), or white where a text page has none; and flat coloured boxes. A taller image
// repeats that layout every 1000 rows.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "render/render_page.h"
#include "spool/spool_container.h"
#include "spool/spool_record.h"
#include "spool/spool_stream.h"
#include "spool/spool_writer.h"

namespace qm::bench {

inline std::uint16_t rgb565(int r, int g, int b)
{
    return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// A width x height image of RGB565 pixels, low byte first, rows 2 x width bytes apart. The
// horizontal layout follows the width (text from 120 pixels in to 120 from the right edge,
// photograph and boxes from 150 in to 250 from it); the vertical layout repeats every 1000
// rows (text lines from 60 to 380, photograph from 420 to 800, boxes from 840 to 960). A page
// without text or photograph is white there.
inline Bytes page_pixels(std::uint16_t width, std::uint16_t height, bool photograph = true,
                         bool with_text = true)
{
    std::uint32_t noise = 12345;
    auto next = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return noise >> 16;
    };

    // 24 glyphs of 14 x 24 pixels: a few vertical strokes over part of the height, a few
    // horizontal bars.
    constexpr int GlyphW = 14, GlyphH = 24, Glyphs = 24;
    std::vector<std::uint8_t> font(Glyphs * GlyphH * GlyphW);
    auto ink_at = [&font](int g, int y, int x) -> std::uint8_t& {
        return font[(static_cast<std::size_t>(g) * GlyphH + y) * GlyphW + x];
    };
    for (int g = 0; g < Glyphs; ++g) {
        for (int k = 0; k < 1 + static_cast<int>(next() % 3); ++k) {
            const int x0 = static_cast<int>(next() % (GlyphW - 3));
            const int y0 = static_cast<int>(next() % 8), y1 = 14 + static_cast<int>(next() % 10);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x0 + 3; ++x)
                    ink_at(g, y, x) = 1;
        }
        for (int k = 0; k < 1 + static_cast<int>(next() % 2); ++k) {
            const int y0 = static_cast<int>(next() % (GlyphH - 3));
            for (int y = y0; y < y0 + 3; ++y)
                for (int x = 1; x < GlyphW - 1; ++x)
                    ink_at(g, y, x) = 1;
        }
    }

    constexpr int Section = 1000; // rows before the layout repeats
    constexpr int LineTop = 60, LinePitch = 40, Lines = 8, Left = 120;
    constexpr int CellW = GlyphW + 3;
    const int right = width - 120;
    const int art_left = 150, art_right = width - 250; // photograph and boxes
    const int cells = right > Left ? (right - Left) / CellW : 0;
    std::vector<int> text; // glyph per cell of each line of the current section, -1 for a space

    const std::uint16_t white = 0xFFFF;
    const std::uint16_t ink = rgb565(20, 20, 40);
    const std::uint16_t boxes[4] = {rgb565(200, 30, 30), rgb565(30, 160, 60), rgb565(40, 60, 200),
                                    rgb565(230, 200, 20)};
    Bytes img(static_cast<std::size_t>(width) * 2 * height);
    for (int page_y = 0; page_y < height; ++page_y) {
        const int y = page_y % Section;
        if (y == 0) { // new text for every section
            text.clear();
            for (int c = 0; c < Lines * cells; ++c)
                text.push_back(next() % 6 == 0 ? -1 : static_cast<int>(next() % Glyphs));
        }
        std::uint8_t* row = img.data() + static_cast<std::size_t>(page_y) * width * 2;
        const int line = (y - LineTop) / LinePitch, gy = (y - LineTop) % LinePitch;
        const bool in_text = y >= LineTop && line < Lines && gy < GlyphH;
        for (int x = 0; x < width; ++x) {
            std::uint16_t px = white;
            if (with_text && in_text && x >= Left && x < Left + CellW * cells) {
                const int glyph = text[line * cells + (x - Left) / CellW], gx = (x - Left) % CellW;
                if (glyph >= 0 && gx < GlyphW && ink_at(glyph, gy, gx))
                    px = ink;
            } else if (photograph && y >= 420 && y < 800 && x >= art_left && x < art_right) {
                const int span = art_right - art_left;
                const int r = 60 + (x - art_left) * 150 / span + static_cast<int>(next() % 9);
                const int g = 90 + (y - 420) * 120 / 380 + static_cast<int>(next() % 9);
                const int b = 120 + static_cast<int>(next() % 9);
                px = rgb565(r, g, b);
            } else if (y >= 840 && y < 960 && x >= art_left && x < art_right &&
                       (x - art_left) % 340 < 300) {
                px = boxes[(x - art_left) / 340 % 4];
            }
            row[2 * x] = static_cast<std::uint8_t>(px);
            row[2 * x + 1] = static_cast<std::uint8_t>(px >> 8);
        }
    }
    return img;
}

// A file in the temporary folder, removed when this goes.
class TempPath {
public:
    explicit TempPath(const char* stem)
    {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = (std::filesystem::temp_directory_path() /
                 (std::string(stem) + "-" + std::to_string(stamp) + ".pdb"))
                    .string();
    }
    ~TempPath()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;

    const char* c_str() const { return path_.c_str(); }

private:
    std::string path_;
};

// The row counts a page's bands are cut into, over and over: 100 to 300 rows, as the handheld
// cuts a page into bands of the memory it has at hand.
inline constexpr std::uint16_t BandRowCycle[] = {100, 200, 300, 150, 250};

// One page of 16-bit bands at 300 dpi cut from `image` (width x height pixels), every band but
// the last flagged continued, as a spool file.
inline Bytes page_spool(const Bytes& image, std::uint16_t width, std::uint16_t height,
                        bool run_coded)
{
    SpoolImage spool;
    const std::size_t row = static_cast<std::size_t>(width) * 2;
    std::size_t k = 0;
    for (std::uint16_t top = 0; top < height; ++k) {
        BandHeader h;
        h.width = width;
        h.height = std::min<std::uint16_t>(BandRowCycle[k % std::size(BandRowCycle)],
                                           static_cast<std::uint16_t>(height - top));
        h.dpi_x = h.dpi_y = 300;
        const auto first = image.begin() + static_cast<std::ptrdiff_t>(top * row);
        const Bytes pixels(first, first + static_cast<std::ptrdiff_t>(h.height * row));
        top = static_cast<std::uint16_t>(top + h.height);
        const std::uint8_t flags = top < height ? FlagContinued : 0;
        spool.records.push_back(band_record(KindBand16, flags, h, pixels, run_coded));
    }
    return build_spool(spool);
}

// The rows of the tallest band page_spool cuts.
inline std::uint16_t tallest_band(std::uint16_t height)
{
    std::uint16_t most = 0;
    for (std::uint16_t rows : BandRowCycle)
        most = std::max(most, std::min(rows, height));
    return most;
}

// The page the render benchmarks draw: Letter as the handheld prints it, at 300 dpi, and the
// printer pass of a 600 dpi printer over it (origin 0, 0, no fit).
inline constexpr std::uint16_t PageWidth = 2550;
inline constexpr std::uint16_t PageHeight = 3300;
inline constexpr std::int32_t PrinterDpi = 600;
inline constexpr std::int32_t PrinterWidth = 5100;
inline constexpr std::int32_t PrinterHeight = 6600;

inline PagePlacement printer_pass()
{
    return PagePlacement{0, 0, PrinterDpi, PrinterDpi, PrinterWidth, PrinterHeight};
}

// The printer pass over the first page of a spool file, as the job driver makes it: open the
// file, read the record count, render. -1 when the file does not open.
inline int render_first_page(Canvas& target, const PagePlacement& at, const char* path)
{
    SpoolStream s = SpoolStream::open_file(path);
    if (!s.is_open())
        return -1;
    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    RenderState state;
    return render_page(target, at, &s, 0, count, state, {RenderPass::Printer, nullptr});
}

} // namespace qm::bench
