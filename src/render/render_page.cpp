#include "render/render_page.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

#include "render/bmp_export.h"
#include "render/dither.h"
#include "render/page_math.h"
#include "spool/spool_container.h"
#include "spool/spool_record.h"
#include "spool/system_palette.h"

namespace qm {

PagePlacement printer_page_placement(const DeviceCaps& printer)
{
    return PagePlacement{wrap_sub(0, printer.physical_offset_x),
                         wrap_sub(0, printer.physical_offset_y),
                         printer.logpixelsx,
                         printer.logpixelsy,
                         printer.horzres,
                         printer.vertres};
}

std::int32_t window_page_scale(std::int32_t outer_width)
{
    return wrap_add(outer_width, 1) / 8;
}

PagePlacement window_page_placement(std::int32_t outer_width, std::int32_t screen_width,
                                    std::int32_t screen_height)
{
    const std::int32_t scale = window_page_scale(outer_width);
    return PagePlacement{0, 0, scale, scale, screen_width, screen_height};
}

namespace {

// Everything one call of render_page draws with.
struct PageContext {
    Canvas& target;
    RenderState& state;
    PreviewSurface* cache; // the window pass's new cache, or null
    const PagePlacement& at;
    SpoolStream& stream;
    bool fit;
    bool monochrome;
    BmpPageExport* bmp;
    std::int32_t y;
};

// Pixels are stored as whole words whose low three bytes are blue, green and red.
static_assert(std::endian::native == std::endian::little,
              "word stores assume a little-endian machine");

inline void set_black(std::uint8_t* px)
{
    px[0] = px[1] = px[2] = 0;
}

// Every RGB565 value as a colour device gets it: red R5 x 8, green G6 x 4, blue B5 x 8, as the
// blue, green and red bytes of a little-endian word; and that colour's dither level. Pages are
// mostly 16-bit bands, and one look-up per pixel is cheaper than widening and weighing three
// channels (measured). Made at first use.
struct Rgb565Tables {
    std::uint32_t bgr[65536];
    std::uint8_t level[65536];

    Rgb565Tables()
    {
        for (std::uint32_t v = 0; v < 65536; ++v) {
            const std::uint32_t red = (v >> 11) * 8, green = ((v >> 5) & 0x3F) * 4;
            const std::uint32_t blue = (v & 0x1F) * 8;
            bgr[v] = red << 16 | green << 8 | blue;
            level[v] = static_cast<std::uint8_t>(dither_level(
                static_cast<int>(red), static_cast<int>(green), static_cast<int>(blue)));
        }
    }
};

const Rgb565Tables& rgb565_tables()
{
    static const Rgb565Tables tables;
    return tables;
}

// Band pixels go straight into the surface's rows. The surface starts white: 1-bit and 8-bit
// monochrome bands write only their black pixels; 16-bit bands, most of a page, write every
// pixel a word at a time (see there).
void paint_band(BandSurface& surface, int kind, const BandHeader& h, const std::uint8_t* pixels,
                bool monochrome)
{
    const std::int32_t width = h.width;
    const std::size_t rb = static_cast<std::size_t>(row_bytes(kind, width));
    for (std::int32_t i = 0; i < h.height; ++i) {
        const std::uint8_t* src = pixels + static_cast<std::size_t>(i) * rb;
        std::uint8_t* row = surface.row(i);
        if (kind == KindBand1) {
            for (std::int32_t k = 0; 8 * k < width; ++k) {
                const std::uint8_t bits = src[k];
                if (!bits)
                    continue;
                const std::int32_t end = std::min(8, width - 8 * k);
                for (std::int32_t b = 0; b < end; ++b)
                    if (bits & (0x80 >> b))
                        set_black(row + 3 * (8 * k + b));
            }
        } else if (kind == KindBand8) {
            if (monochrome) {
                for (std::int32_t j = 0; j < width; ++j) {
                    const PaletteEntry& c = SystemPalette[src[j]];
                    if (!dither_white(dither_level(c[2], c[1], c[0]), i, j))
                        set_black(row + 3 * j);
                }
            } else {
                for (std::int32_t j = 0; j < width; ++j) {
                    const PaletteEntry& c = SystemPalette[src[j]];
                    row[3 * j] = c[0];
                    row[3 * j + 1] = c[1];
                    row[3 * j + 2] = c[2];
                }
            }
        } else if (monochrome) {
            // The row's four patterns of the table: column j takes entry level + (j & 3).
            const std::uint8_t* patterns = DitherTable.data() + (i & 3) * 4;
            const std::uint8_t* levels = rgb565_tables().level;
            // Every pixel is written, white or black, as one word (as in the colour case
            // below): photographs dither to patterns no branch predictor follows.
            for (std::int32_t j = 0; j + 1 < width; ++j) {
                const unsigned v = src[2 * j] | (src[2 * j + 1] << 8);
                const std::uint32_t grey = 0u - patterns[levels[v] + (j & 3)];
                std::memcpy(row + 3 * j, &grey, 4);
            }
            if (width > 0) { // the last pixel whole: the word before it spilt into its blue
                const std::int32_t j = width - 1;
                const unsigned v = src[2 * j] | (src[2 * j + 1] << 8);
                const std::uint8_t grey = patterns[levels[v] + (j & 3)] ? 0xFF : 0;
                row[3 * j] = row[3 * j + 1] = row[3 * j + 2] = grey;
            }
        } else if (width > 0) {
            // Blue, green and red as one little-endian word from the table: every pixel but the
            // last is stored 4 bytes wide, its fourth byte overwritten by the next pixel, so that
            // nothing past the row is touched.
            const std::uint32_t* widened = rgb565_tables().bgr;
            for (std::int32_t j = 0; j + 1 < width; ++j)
                std::memcpy(row + 3 * j, &widened[src[2 * j] | (src[2 * j + 1] << 8)], 4);
            const std::int32_t j = width - 1;
            const std::uint32_t bgr = widened[src[2 * j] | (src[2 * j + 1] << 8)];
            row[3 * j] = static_cast<std::uint8_t>(bgr);
            row[3 * j + 1] = static_cast<std::uint8_t>(bgr >> 8);
            row[3 * j + 2] = static_cast<std::uint8_t>(bgr >> 16);
        }
    }
}

void draw_band(PageContext& pc, int kind, std::uint8_t flags)
{
    pc.state.DisplayMode = DisplayBand;
    const BandHeader h = read_band_header(pc.stream);
    // A surface that cannot be made (too large, no memory) is not placed; the band is still
    // read so that the stream ends up where the page's next record is looked for.
    std::unique_ptr<BandSurface> surface = pc.target.create_band_surface(h.width, h.height);
    if (pc.bmp)
        pc.bmp->next_band(kind, h); // may write the picture and let go of what it held
    BandBuffer pixels = allocate_band_buffer(band_image_size(kind, h));
    if (pixels) {
        decode_band(pc.stream, flags, kind, h, pixels.bytes.get());
        if (surface)
            paint_band(*surface, kind, h, pixels.bytes.get(), pc.monochrome);
    }
    if (pc.bmp)
        pc.bmp->add_band(kind, h, std::move(pixels));
    else
        pixels = BandBuffer{}; // freed as soon as the band is painted

    const BandPlacement place = place_band(h, pc.at, pc.y, pc.fit);
    if (!place.drawn)
        return;
    if (surface) {
        pc.target.stretch_band(*surface, place.rect);
        if (pc.cache)
            pc.cache->stretch_band(*surface, place.rect);
    }
    pc.y = wrap_add(place.rect.top, place.rect.height);
}

void draw_text(PageContext& pc, std::int32_t record_length)
{
    pc.state.DisplayMode = DisplayText;
    const TextMetrics m = pc.fit ? text_metrics_fit(pc.at.scale_x, pc.at.scale_y)
                                 : text_metrics_device(pc.target.caps());
    pc.target.select_font(m.char_height, m.avg_width);
    if (pc.cache)
        pc.cache->select_font(m.char_height, m.avg_width);

    // Lines wholly above or below what the target and the cache show are passed over: text at a
    // large scale runs far past the area, and setting type there was most of the work. A glyph
    // may stand out of its cell, so a line within two lines' height of the area still counts.
    // Only pieces of the passed-over line itself would have gone on from its advance.
    const std::int64_t reach = 2 * std::max<std::int64_t>({1, m.char_height, m.line_step});
    const std::int64_t bottom =
        std::max<std::int64_t>(pc.target.caps().vertres, pc.cache ? pc.cache->height() : 0);
    std::int32_t x = pc.at.origin_x;
    read_text_lines(pc.stream, std::int64_t{record_length} - 2,
                    [&](const char* text, std::size_t n, bool line_end) {
                        if (n > 0 && pc.y + reach > 0 && pc.y - reach < bottom) {
                            const std::int32_t advance = pc.target.text_out(x, pc.y, text, n);
                            if (pc.cache)
                                pc.cache->text_out(x, pc.y, text, n);
                            x = wrap_add(x, advance); // a long line goes on where it stopped
                        }
                        if (line_end) {
                            pc.y = wrap_add(pc.y, m.line_step);
                            x = pc.at.origin_x;
                        }
                    });

    pc.target.release_font();
    if (pc.cache)
        pc.cache->release_font();
}

} // namespace

int repaint_from_cache(Canvas& target, const RenderState& state)
{
    if (!state.PreviewCache)
        return -1;
    const DeviceCaps caps = target.caps();
    target.fill_white(Rect{0, 0, caps.horzres, caps.vertres});
    target.draw_preview(*state.PreviewCache);
    target.finish_page();
    return 0;
}

int render_page(Canvas& target, const PagePlacement& at, SpoolStream* stream,
                std::int32_t first_record, std::int32_t record_count, RenderState& state,
                const RenderOptions& options)
{
    if (options.pass == RenderPass::Repaint || !stream)
        return repaint_from_cache(target, state);
    SpoolStream& s = *stream;
    const bool window_pass = options.pass == RenderPass::InWindow;

    const std::int64_t entry = s.tell();
    std::int32_t after_previous = as_position(entry);

    target.fill_white(Rect{0, 0, at.area_width, at.area_height});
    if (window_pass) {
        state.PreviewCache.reset();
        state.PreviewCache = target.create_preview_cache(at.area_width, at.area_height);
        if (state.PreviewCache)
            state.PreviewCache->fill_white(Rect{0, 0, at.area_width, at.area_height});
        state.PreviewCacheWidth = at.area_width;
        state.PreviewCacheHeight = at.area_height;
    }

    BmpPageExport exporter(options.bmp);
    PageContext pc{target,
                   state,
                   window_pass ? state.PreviewCache.get() : nullptr,
                   at,
                   s,
                   window_pass, // the window pass fits the page into the window
                   target.caps().numcolors == 2,
                   options.bmp ? &exporter : nullptr,
                   at.origin_y};

    int result = 0;
    std::int32_t a = first_record;
    for (;;) {
        std::uint32_t position = 0;
        std::int32_t length = 0;
        get_record_extent(s, a, &position, &length);
        if (static_cast<std::int32_t>(position) < after_previous) {
            s.seek(entry);
            result = -1;
            break;
        }
        s.seek(position);
        const int kind = read_u8(s);
        state.LastRecordKind = kind;
        const std::uint8_t flags = read_u8(s);
        if (kind == KindText)
            draw_text(pc, length);
        else if (is_band_kind(kind))
            draw_band(pc, kind, flags);
        after_previous = as_position(s.tell());

        if (!(flags & FlagContinued))
            break;
        // The next record of the page, passing over those that the one before consumed.
        bool more = false;
        while (++a < record_count) {
            std::uint32_t next = 0;
            get_record_extent(s, a, &next, nullptr);
            if (static_cast<std::int32_t>(next) >= after_previous) {
                more = true;
                break;
            }
        }
        if (!more)
            break;
    }
    exporter.finish();
    // Before anyone reads the page: the job driver ends the printer's page next, the window
    // shows what is drawn.
    target.finish_page();
    if (pc.cache)
        pc.cache->finish_page();
    return result;
}

} // namespace qm
