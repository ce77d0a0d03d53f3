// The demonstration job: three pages that show every record kind and pixel format.
#include <cerrno>
#include <cstring>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "spool/spool_writer.h"

namespace qm::cli {
namespace {

constexpr std::uint16_t Dpi = 100;


void put565(Bytes& out, unsigned r8, unsigned g8, unsigned b8)
{
    const unsigned v = ((r8 >> 3) << 11) | ((g8 >> 2) << 5) | (b8 >> 3);
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// All 256 palette entries as a 16 x 16 chart of 24-pixel cells with a 2-pixel white grid.
Bytes palette_chart()
{
    constexpr int Cell = 24, Size = 16 * Cell;
    Bytes px(Size * Size, 0);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if (x % Cell >= 2 && y % Cell >= 2)
                px[y * Size + x] = static_cast<std::uint8_t>((y / Cell) * 16 + x / Cell);
    return px;
}

// Hue across, brightness down.
Bytes colour_gradient(int w, int h)
{
    Bytes px;
    px.reserve(static_cast<std::size_t>(w) * h * 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int hue = x * 1536 / w; // six 256-step sectors
            const int f = hue % 256;
            int r = 0, g = 0, b = 0;
            switch (hue / 256) {
            case 0: r = 255, g = f; break;
            case 1: r = 255 - f, g = 255; break;
            case 2: g = 255, b = f; break;
            case 3: g = 255 - f, b = 255; break;
            case 4: r = f, b = 255; break;
            default: r = 255, b = 255 - f; break;
            }
            const int k = 255 - y * 200 / h;
            put565(px, static_cast<unsigned>(r * k / 255), static_cast<unsigned>(g * k / 255),
                   static_cast<unsigned>(b * k / 255));
        }
    }
    return px;
}

// A black-to-white ramp in 16-bit colour, in 16 steps so each dither level shows.
Bytes grey_ramp_565(int w, int h)
{
    Bytes px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned v = static_cast<unsigned>(x * 16 / w) * 17;
            put565(px, v, v, v);
        }
    return px;
}

// The palette's greys from black to white.
Bytes grey_ramp_palette(int w, int h)
{
    const std::uint8_t greys[] = {255, 215, 216, 217, 218, 219, 220, 221,
                                  222, 225, 223, 224, 0};
    Bytes px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px.push_back(greys[x * 13 / w]);
    return px;
}

// Diagonal hatching and a frame in 1-bit pixels.
Bytes hatching(int w, int h)
{
    const int rb = (w + 7) / 8;
    Bytes px(static_cast<std::size_t>(rb) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x + y) % 12 < 2 || x < 3 || y < 3 || x >= w - 3 || y >= h - 3)
                px[static_cast<std::size_t>(y) * rb + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    return px;
}

} // namespace

int run_testpage(const char* out_path, std::FILE* err)
{
    SpoolImage job;
    auto& r = job.records;

    // Page 1: several continued records of every kind.
    r.push_back(text_record(FlagContinued, "Quillmark PC Print Spooler - test page\n"
                                           "Page 1: text, a palette chart, a colour gradient\n"
                                           "and 1-bit hatching, in continued records.\n"));
    r.push_back(band_record(KindBand8, FlagContinued, band_header(384, 384, Dpi, 75, 20), palette_chart(), true));
    r.push_back(band_record(KindBand16, FlagContinued, band_header(650, 160, Dpi, 75, 20),
                            colour_gradient(650, 160), false));
    r.push_back(band_record(KindBand1, FlagContinued, band_header(650, 120, Dpi, 75, 20), hatching(650, 120),
                            true));
    r.push_back(text_record(0, "\nEnd of page 1."));

    // Page 2: grey ramps that a two-colour printer dithers.
    r.push_back(text_record(FlagContinued, "Page 2: grey ramps (dithered on black-and-white "
                                           "printers)\r\n"));
    r.push_back(band_record(KindBand16, FlagContinued, band_header(640, 100, Dpi, 75, 20),
                            grey_ramp_565(640, 100), true));
    r.push_back(band_record(KindBand8, FlagContinued, band_header(650, 100, Dpi, 75, 20),
                            grey_ramp_palette(650, 100), false));
    r.push_back(band_record(KindBand1, 0, band_header(64, 64, Dpi, 75, 20), hatching(64, 64), false));

    // Page 3: text only.
    r.push_back(text_record(0, "Page 3: plain text.\n"
                               "Lines end with line feeds;\r\n"
                               "carriage returns are ignored.\n"
                               "\n"
                               "Accented letters: caf\xe9, na\xefve, \xa3 5.\n"
                               "0123456789012345678901234567890123456789012345678901234567890123456789"
                               "01234567890123456789"));

    OutputFile target;
    if (!target.prepare(out_path, nullptr, err))
        return 1;
    errno = 0;
    if (!write_file(target.write_path(), build_spool(job))) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    return target.commit(err) ? 0 : 1;
}

} // namespace qm::cli
