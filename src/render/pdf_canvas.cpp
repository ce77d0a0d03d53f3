#include "render/pdf_canvas.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "render/cp1252.h"
#include "render/text_font.h"
#include "spool/spool_limits.h"

namespace qm {
namespace {

// Letter in points.
constexpr double PageWidthPt = 612.0;
constexpr double PageHeightPt = 792.0;
constexpr double PointsPerUnit = 72.0 / PdfDeviceDpi;

// A band's pixels as the renderer paints them (blue, green, red bytes), kept until the band is
// placed; cairo takes its own copy in its format then.
class PdfBandSurface final : public BandSurface {
public:
    PdfBandSurface(std::int32_t width, std::int32_t height, std::unique_ptr<std::uint8_t[]> memory)
        : memory_(std::move(memory))
    {
        bits_ = memory_.get();
        width_ = width;
        height_ = height;
        stride_ = static_cast<std::ptrdiff_t>(width) * 3;
    }

private:
    std::unique_ptr<std::uint8_t[]> memory_;
};

// The FreeType library and face a cairo face is made from, freed with it.
struct FreeTypeFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    FreeTypeFace() = default;
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;
    ~FreeTypeFace()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
};

void free_freetype_face(void* face)
{
    delete static_cast<FreeTypeFace*>(face);
}

// The built-in face that the raster canvas draws with, from the same bytes, so that the PDF
// embeds the very font a rendered page shows and no machine's own fonts stand in for it. Null
// when it cannot be loaded.
cairo_font_face_t* create_text_face()
{
    const EmbeddedFile file = text_font_file();
    if (!file.data || file.size == 0 || file.size > INT32_MAX)
        return nullptr;
    auto ft = std::unique_ptr<FreeTypeFace>(new (std::nothrow) FreeTypeFace);
    if (!ft || FT_Init_FreeType(&ft->library) != 0) {
        if (ft)
            ft->library = nullptr;
        return nullptr;
    }
    if (FT_New_Memory_Face(ft->library, file.data, static_cast<FT_Long>(file.size), 0,
                           &ft->face) != 0) {
        ft->face = nullptr;
        return nullptr;
    }
    cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(ft->face, 0);
    static const cairo_user_data_key_t Key{};
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS ||
        cairo_font_face_set_user_data(face, &Key, ft.get(), free_freetype_face) !=
            CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(face);
        return nullptr;
    }
    ft.release(); // the face's now, until cairo is done with it
    return face;
}

// The advance of the face's characters per unit of em width (every character of a fixed-pitch
// face has the same one), so that text can be set at the width the renderer asks for.
double advance_per_em(cairo_font_face_t* face)
{
    cairo_matrix_t unit, identity;
    cairo_matrix_init_scale(&unit, 1000, 1000);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_scaled_font_t* font = cairo_scaled_font_create(face, &unit, &identity, options);
    cairo_text_extents_t e{};
    cairo_scaled_font_text_extents(font, "0", &e);
    cairo_scaled_font_destroy(font);
    cairo_font_options_destroy(options);
    return e.x_advance > 0 ? e.x_advance / 1000.0 : 0.6;
}

// One character as UTF-8. Control characters (which the face has no glyph for and a viewer
// would copy as garbage) become spaces, so that every byte keeps its cell.
void append_utf8(std::string& out, std::uint8_t byte)
{
    std::uint32_t c = cp1252_to_unicode(byte);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        c = ' ';
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::size_t utf8_chars(const char* text, int bytes)
{
    std::size_t n = 0;
    for (int i = 0; i < bytes; ++i)
        n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return n;
}

// cairo's image surfaces are at most this many pixels either way; larger bands go as tiles.
constexpr std::int32_t MaxImageSide = 32767;

// One tile of a band as cairo gets it: pixels owned here and lent to cairo through a raster-source
// pattern until the page is written. An image surface would not do: cairo copies its pixels when
// it goes before the page is written, holds the copy as long, and when memory is short that copy
// fails without a word and cairo_show_page later crashes on it. Lent pixels are never copied.
struct PageImage {
    std::unique_ptr<std::uint32_t[]> words; // stride / 4 words a row
    cairo_surface_t* view = nullptr;        // an image surface over `words`, lent as it is
    std::unique_ptr<PageImage> next;        // the page's images, newest first

    PageImage() = default;
    PageImage(const PageImage&) = delete;
    PageImage& operator=(const PageImage&) = delete;
    ~PageImage()
    {
        if (view)
            cairo_surface_destroy(view);
    }
};

cairo_surface_t* lend_image(cairo_pattern_t*, void* image, cairo_surface_t*,
                            const cairo_rectangle_int_t*)
{
    return cairo_surface_reference(static_cast<PageImage*>(image)->view);
}

void take_image_back(cairo_pattern_t*, void*, cairo_surface_t* surface)
{
    cairo_surface_destroy(surface);
}

static_assert(std::endian::native == std::endian::little, "A1 masks are packed low bit first");

// What a band holds, for the most compact form cairo takes it in.
enum class BandColours { White, Two, Many };
constexpr std::uint32_t White = 0xFFFFFF;

inline std::uint32_t rgb_at(const std::uint8_t* bgr)
{
    return static_cast<std::uint32_t>(bgr[2]) << 16 | static_cast<std::uint32_t>(bgr[1]) << 8 |
           bgr[0];
}

// White only; white and one other colour, `ink` (what 1-bit and dithered bands paint); or more.
BandColours band_colours(const BandSurface& band, std::uint32_t& ink)
{
    bool inked = false;
    for (std::int32_t y = 0; y < band.height(); ++y) {
        const std::uint8_t* p = band.row(y);
        for (std::int32_t x = 0; x < band.width(); ++x, p += 3) {
            const std::uint32_t c = rgb_at(p);
            if (c == White || (inked && c == ink))
                continue;
            if (inked)
                return BandColours::Many;
            ink = c;
            inked = true;
        }
    }
    return inked ? BandColours::Two : BandColours::White;
}

class PdfCanvas final : public Canvas {
public:
    PdfCanvas(cairo_t* cr, cairo_font_face_t* face, double advance_per_em)
        : cr_(cr), face_(face), advance_per_em_(advance_per_em)
    {
    }
    ~PdfCanvas() override { release_images(); }

    // False once the page under way cannot be written whole: refused, or cairo failed.
    bool ok() const { return refusal_.empty() && cairo_status(cr_) == CAIRO_STATUS_SUCCESS; }
    // Why the page was refused; empty when it was not.
    const std::string& refusal() const { return refusal_; }

    // The page is written: cairo is done with its images.
    void release_images()
    {
        // One at a time: a page of many bands would recurse that deep otherwise.
        while (images_)
            images_ = std::move(images_->next);
        image_bytes_ = 0;
    }

    DeviceCaps caps() const override { return pdf_device_caps(); }

    void fill_white(const Rect& r) override
    {
        if (r.width <= 0 || r.height <= 0 || !ok())
            return;
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_rectangle(cr_, r.left, r.top, r.width, r.height);
        cairo_fill(cr_);
    }

    std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                     std::int32_t height) override
    {
        // Past the cap the band is left out, as every canvas leaves it; a page that cannot have
        // the band for want of memory or budget fails instead of printing without it.
        if (!band_surface_fits(width, height) || !ok())
            return nullptr;
        // Not even as a mask of a bit a pixel: refused before its pixels are read.
        if (static_cast<std::uint64_t>(width) * height / 8 > MaxPdfPageImageBytes - image_bytes_) {
            refuse_over_budget();
            return nullptr;
        }
        const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
        std::unique_ptr<std::uint8_t[]> memory;
        if (bytes > 0) {
            memory.reset(new (std::nothrow) std::uint8_t[bytes]);
            if (!memory) {
                refusal_ = "out of memory";
                return nullptr;
            }
            std::memset(memory.get(), 0xFF, bytes);
        }
        auto surface = std::unique_ptr<BandSurface>(
            new (std::nothrow) PdfBandSurface(width, height, std::move(memory)));
        if (!surface)
            refusal_ = "out of memory";
        return surface;
    }

    void stretch_band(const BandSurface& band, const Rect& dst) override
    {
        const std::int32_t w = band.width(), h = band.height();
        if (w <= 0 || h <= 0 || dst.width <= 0 || dst.height <= 0 || !ok())
            return;
        std::uint32_t ink = White;
        const BandColours colours = band_colours(band, ink);
        cairo_save(cr_);
        cairo_translate(cr_, dst.left, dst.top);
        cairo_scale(cr_, static_cast<double>(dst.width) / w, static_cast<double>(dst.height) / h);
        if (colours != BandColours::Many) {
            // The band's white is copied too (SRCCOPY): a white rectangle, and the ink over it
            // through a mask.
            cairo_set_source_rgb(cr_, 1, 1, 1);
            cairo_rectangle(cr_, 0, 0, w, h);
            cairo_fill(cr_);
        }
        if (colours != BandColours::White) {
            for (std::int32_t y = 0; y < h && ok(); y += MaxImageSide)
                for (std::int32_t x = 0; x < w && ok(); x += MaxImageSide)
                    draw_tile(band, colours == BandColours::Two, ink, x, y,
                              std::min(MaxImageSide, w - x), std::min(MaxImageSide, h - y));
        }
        cairo_restore(cr_);
    }

    bool select_font(std::int32_t char_height, std::int32_t avg_width) override
    {
        avg_width_ = avg_width;
        font_ok_ = false;
        if (char_height < 1 || avg_width < 1 || char_height > MaxTypeSize ||
            avg_width > MaxTypeSize || !face_ || !ok())
            return false;
        // The em is the character height, and its width makes the advance come out at the
        // average width, as the raster canvas sets the same face.
        cairo_set_font_face(cr_, face_);
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, avg_width / advance_per_em_, char_height);
        cairo_set_font_matrix(cr_, &m);
        cairo_font_extents_t e{};
        cairo_font_extents(cr_, &e);
        ascent_ = std::ceil(e.ascent);
        descent_ = std::ceil(e.descent);
        font_ok_ = cairo_status(cr_) == CAIRO_STATUS_SUCCESS;
        return font_ok_;
    }

    void release_font() override { font_ok_ = false; }

    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* text,
                          std::size_t length) override
    {
        if (avg_width_ <= 0)
            return 0;
        const std::size_t n =
            std::min<std::size_t>(length, static_cast<std::size_t>(INT32_MAX / avg_width_));
        const auto advance = static_cast<std::int32_t>(n * static_cast<std::size_t>(avg_width_));
        if (!face_ && text && n > 0)
            refusal_ = NoTextFontReason; // never a page without its text
        if (!font_ok_ || !text || n == 0 || !ok())
            return advance;

        // Black on an opaque white cell, as the device context draws text.
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_rectangle(cr_, x, y, advance, ascent_ + descent_);
        cairo_fill(cr_);

        std::string utf8;
        utf8.reserve(n * 2);
        for (std::size_t i = 0; i < n; ++i)
            append_utf8(utf8, static_cast<std::uint8_t>(text[i]));
        cairo_scaled_font_t* font = cairo_get_scaled_font(cr_);
        cairo_glyph_t* glyphs = nullptr;
        cairo_text_cluster_t* clusters = nullptr;
        int glyph_count = 0, cluster_count = 0;
        cairo_text_cluster_flags_t flags{};
        const double baseline = y + ascent_;
        if (cairo_scaled_font_text_to_glyphs(font, x, baseline, utf8.data(),
                                             static_cast<int>(utf8.size()), &glyphs, &glyph_count,
                                             &clusters, &cluster_count,
                                             &flags) == CAIRO_STATUS_SUCCESS) {
            // Every character on its own cell, where the renderer counts it, whatever the face's
            // own advances.
            std::size_t ch = 0;
            int g = 0, offset = 0;
            for (int c = 0; c < cluster_count; ++c) {
                for (int k = 0; k < clusters[c].num_glyphs && g < glyph_count; ++k, ++g) {
                    glyphs[g].x = x + static_cast<double>(ch) * avg_width_;
                    glyphs[g].y = baseline;
                }
                ch += utf8_chars(utf8.data() + offset, clusters[c].num_bytes);
                offset += clusters[c].num_bytes;
            }
            cairo_set_source_rgb(cr_, 0, 0, 0);
            cairo_show_text_glyphs(cr_, utf8.data(), static_cast<int>(utf8.size()), glyphs,
                                   glyph_count, clusters, cluster_count, flags);
        }
        cairo_glyph_free(glyphs);
        cairo_text_cluster_free(clusters);
        return advance;
    }

    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t, std::int32_t) override
    {
        return nullptr; // a printer has no preview
    }
    void draw_preview(const PreviewSurface&) override {}

private:
    // A tile of the band at (x, y), tw x th pixels, in cairo's compact form: a mask of `ink`
    // (A1), or its colours (RGB24). Refuses the page when the page's images would pass the
    // budget or the memory is not there.
    void draw_tile(const BandSurface& band, bool as_mask, std::uint32_t ink, std::int32_t x,
                   std::int32_t y, std::int32_t tw, std::int32_t th)
    {
        const cairo_format_t format = as_mask ? CAIRO_FORMAT_A1 : CAIRO_FORMAT_RGB24;
        const int stride = cairo_format_stride_for_width(format, tw);
        if (stride <= 0 || stride % 4 != 0) {
            refusal_ = "a band cairo cannot take";
            return;
        }
        const std::size_t words =
            static_cast<std::size_t>(stride / 4) * static_cast<std::size_t>(th);
        if (static_cast<std::uint64_t>(words) * 4 > MaxPdfPageImageBytes - image_bytes_) {
            refuse_over_budget();
            return;
        }
        auto image = std::unique_ptr<PageImage>(new (std::nothrow) PageImage);
        if (image) // a mask starts clear; every word of a colour image is written
            image->words.reset(as_mask ? new (std::nothrow) std::uint32_t[words]()
                                       : new (std::nothrow) std::uint32_t[words]);
        if (!image || !image->words) {
            refusal_ = "out of memory";
            return;
        }
        for (std::int32_t row = 0; row < th; ++row) {
            const std::uint8_t* in = band.row(y + row) + static_cast<std::ptrdiff_t>(x) * 3;
            std::uint32_t* out = image->words.get() + static_cast<std::size_t>(row) * (stride / 4);
            if (as_mask) {
                // Bit k of word j is pixel 32 j + k: cairo packs A1 pixels into native-endian
                // words, the first in the lowest bit on a little-endian machine.
                for (std::int32_t i = 0; i < tw; ++i, in += 3)
                    if (rgb_at(in) == ink)
                        out[i >> 5] |= 1u << (i & 31);
            } else {
                for (std::int32_t i = 0; i < tw; ++i, in += 3)
                    out[i] = rgb_at(in);
            }
        }
        image->view = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(image->words.get()), format, tw, th, stride);
        cairo_pattern_t* pattern = cairo_pattern_create_raster_source(
            image.get(), as_mask ? CAIRO_CONTENT_ALPHA : CAIRO_CONTENT_COLOR, tw, th);
        if (cairo_surface_status(image->view) != CAIRO_STATUS_SUCCESS ||
            cairo_pattern_status(pattern) != CAIRO_STATUS_SUCCESS) {
            cairo_pattern_destroy(pattern);
            refusal_ = "out of memory";
            return;
        }
        cairo_raster_source_pattern_set_acquire(pattern, lend_image, take_image_back);
        // Each band pixel a sharp square of the printer's, as the printer pass enlarges it.
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
        image_bytes_ += static_cast<std::uint64_t>(words) * 4;
        image->next = std::move(images_);
        images_ = std::move(image);

        cairo_save(cr_);
        cairo_translate(cr_, x, y);
        if (as_mask) {
            cairo_set_source_rgb(cr_, (ink >> 16) / 255.0, (ink >> 8 & 0xFF) / 255.0,
                                 (ink & 0xFF) / 255.0);
            cairo_mask(cr_, pattern);
        } else {
            cairo_set_source(cr_, pattern);
            cairo_rectangle(cr_, 0, 0, tw, th);
            cairo_fill(cr_);
        }
        cairo_restore(cr_);
        cairo_pattern_destroy(pattern);
    }

    void refuse_over_budget()
    {
        char text[96];
        std::snprintf(text, sizeof text, "its images need more than the %llu MB a page may hold",
                      static_cast<unsigned long long>(MaxPdfPageImageBytes / 1000000));
        refusal_ = text;
    }

    cairo_t* cr_;
    cairo_font_face_t* face_;
    double advance_per_em_;
    std::int32_t avg_width_ = 0;
    bool font_ok_ = false;
    double ascent_ = 0;
    double descent_ = 0;
    std::string refusal_;
    std::unique_ptr<PageImage> images_;
    std::uint64_t image_bytes_ = 0; // what the page has handed to cairo
};

} // namespace

DeviceCaps pdf_device_caps()
{
    return DeviceCaps{17 * PdfDeviceDpi / 2, 11 * PdfDeviceDpi, PdfDeviceDpi, PdfDeviceDpi, -1,
                      0, 0};
}

namespace {

// Where cairo's bytes go, until the document is closed.
struct Output {
    PdfSink sink;
    bool closed = false;
    // Set when the sink refused bytes. cairo does not always tell: a write that fails while
    // cairo_surface_finish writes the fonts, the cross-reference table and the trailer leaves
    // the surface's status a success, and the document would pass for whole.
    bool refused = false;
};

cairo_status_t write_to_sink(void* closure, const unsigned char* data, unsigned int length)
{
    auto& out = *static_cast<Output*>(closure);
    if (out.closed)
        return CAIRO_STATUS_WRITE_ERROR;
    if (out.sink(data, length))
        return CAIRO_STATUS_SUCCESS;
    out.refused = true;
    return CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

struct PdfDocument::Impl {
    Output out;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    cairo_font_face_t* face = nullptr;
    std::unique_ptr<PdfCanvas> page;
    cairo_status_t failure = CAIRO_STATUS_SUCCESS;

    ~Impl()
    {
        // A document not finished is abandoned: cairo, which writes out a page still drawn on
        // when it goes, writes nothing more to a file that is being thrown away or a print job
        // that is being cancelled. The page's images go only after cairo, which may read them
        // until then.
        out.closed = true;
        if (cr)
            cairo_destroy(cr);
        if (face)
            cairo_font_face_destroy(face);
        if (surface)
            cairo_surface_destroy(surface);
        page.reset();
    }

    bool ok()
    {
        if (page && !page->refusal().empty())
            return false;
        if (failure == CAIRO_STATUS_SUCCESS)
            failure = cairo_surface_status(surface);
        if (failure == CAIRO_STATUS_SUCCESS && cr)
            failure = cairo_status(cr);
        if (failure == CAIRO_STATUS_SUCCESS && out.refused)
            failure = CAIRO_STATUS_WRITE_ERROR;
        return failure == CAIRO_STATUS_SUCCESS;
    }
};

PdfDocument::PdfDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PdfDocument::~PdfDocument() = default;

std::unique_ptr<PdfDocument> PdfDocument::create(PdfSink sink)
{
    auto impl = std::make_unique<Impl>();
    impl->out.sink = std::move(sink);
    impl->surface =
        cairo_pdf_surface_create_for_stream(write_to_sink, &impl->out, PageWidthPt, PageHeightPt);
    if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    impl->cr = cairo_create(impl->surface);
    if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    // Without the face, pages without text are still written; a page with text is refused.
    impl->face = create_text_face();
    // Device units of the virtual printer, top-left origin, as the renderer counts them.
    cairo_scale(impl->cr, PointsPerUnit, PointsPerUnit);
    impl->page = std::make_unique<PdfCanvas>(impl->cr, impl->face,
                                             impl->face ? advance_per_em(impl->face) : 0.6);
    return std::unique_ptr<PdfDocument>(new PdfDocument(std::move(impl)));
}

Canvas* PdfDocument::begin_page()
{
    return impl_->ok() ? impl_->page.get() : nullptr;
}

bool PdfDocument::end_page()
{
    // A page refused or drawn in part is never shown: it would print without what failed.
    if (!impl_->ok())
        return false;
    cairo_show_page(impl_->cr);
    if (!impl_->ok())
        return false;
    impl_->page->release_images();
    return true;
}

bool PdfDocument::finish()
{
    if (!impl_->ok())
        return false;
    cairo_surface_finish(impl_->surface);
    return impl_->ok();
}

std::string PdfDocument::error() const
{
    if (impl_->page && !impl_->page->refusal().empty())
        return impl_->page->refusal();
    return cairo_status_to_string(impl_->failure);
}

} // namespace qm
