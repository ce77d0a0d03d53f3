#include "render/pdf_canvas.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "render/cp1252.h"
#include "spool/spool_limits.h"

namespace qm {
namespace {

// Letter in points.
constexpr double PageWidthPt = 612.0;
constexpr double PageHeightPt = 792.0;
constexpr double PointsPerUnit = 72.0 / PdfDeviceDpi;
// The largest em height or advance text is set at, as on the raster canvas.
constexpr std::int32_t MaxTypeSize = 4096;
constexpr char FontFamily[] = "Liberation Mono";

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

class PdfCanvas final : public Canvas {
public:
    PdfCanvas(cairo_t* cr, cairo_font_face_t* face, double advance_per_em)
        : cr_(cr), face_(face), advance_per_em_(advance_per_em)
    {
    }

    DeviceCaps caps() const override { return pdf_device_caps(); }

    void fill_white(const Rect& r) override
    {
        if (r.width <= 0 || r.height <= 0)
            return;
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_rectangle(cr_, r.left, r.top, r.width, r.height);
        cairo_fill(cr_);
    }

    std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                     std::int32_t height) override
    {
        if (width < 0 || height < 0 ||
            static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3 >
                MaxBandImageBytes)
            return nullptr;
        const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
        std::unique_ptr<std::uint8_t[]> memory;
        if (bytes > 0) {
            memory.reset(new (std::nothrow) std::uint8_t[bytes]);
            if (!memory)
                return nullptr;
            std::memset(memory.get(), 0xFF, bytes);
        }
        return std::unique_ptr<BandSurface>(new (std::nothrow)
                                                PdfBandSurface(width, height, std::move(memory)));
    }

    void stretch_band(const BandSurface& band, const Rect& dst) override
    {
        const std::int32_t w = band.width(), h = band.height();
        if (w <= 0 || h <= 0 || dst.width <= 0 || dst.height <= 0)
            return;
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
        if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(image);
            return;
        }
        cairo_surface_flush(image);
        unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (std::int32_t y = 0; y < h; ++y) {
            const std::uint8_t* in = band.row(y);
            auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (std::int32_t x = 0; x < w; ++x, in += 3)
                out[x] = static_cast<std::uint32_t>(in[2]) << 16 |
                         static_cast<std::uint32_t>(in[1]) << 8 | in[0];
        }
        cairo_surface_mark_dirty(image);

        cairo_save(cr_);
        cairo_translate(cr_, dst.left, dst.top);
        cairo_scale(cr_, static_cast<double>(dst.width) / w, static_cast<double>(dst.height) / h);
        cairo_set_source_surface(cr_, image, 0, 0);
        // Each band pixel a sharp square of the printer's, as the printer pass enlarges it.
        cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
        cairo_rectangle(cr_, 0, 0, w, h);
        cairo_fill(cr_);
        cairo_restore(cr_);
        cairo_surface_destroy(image);
    }

    bool select_font(std::int32_t char_height, std::int32_t avg_width) override
    {
        avg_width_ = avg_width;
        font_ok_ = false;
        if (char_height < 1 || avg_width < 1 || char_height > MaxTypeSize ||
            avg_width > MaxTypeSize || !face_)
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
        if (!font_ok_ || !text || n == 0)
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
    cairo_t* cr_;
    cairo_font_face_t* face_;
    double advance_per_em_;
    std::int32_t avg_width_ = 0;
    bool font_ok_ = false;
    double ascent_ = 0;
    double descent_ = 0;
};

cairo_status_t write_to_sink(void* closure, const unsigned char* data, unsigned int length)
{
    const PdfSink& sink = *static_cast<const PdfSink*>(closure);
    return sink(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

DeviceCaps pdf_device_caps()
{
    return DeviceCaps{17 * PdfDeviceDpi / 2, 11 * PdfDeviceDpi, PdfDeviceDpi, PdfDeviceDpi, -1,
                      0, 0};
}

struct PdfDocument::Impl {
    PdfSink sink;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    cairo_font_face_t* face = nullptr;
    std::unique_ptr<PdfCanvas> page;
    cairo_status_t failure = CAIRO_STATUS_SUCCESS;
    // Set when the sink refused bytes. cairo does not always tell: a write that fails while
    // cairo_surface_finish writes the fonts, the cross-reference table and the trailer leaves
    // the surface's status a success, and the document would pass for whole.
    bool sink_refused = false;

    ~Impl()
    {
        page.reset();
        if (cr)
            cairo_destroy(cr);
        if (face)
            cairo_font_face_destroy(face);
        if (surface)
            cairo_surface_destroy(surface);
    }

    bool ok()
    {
        if (failure == CAIRO_STATUS_SUCCESS)
            failure = cairo_surface_status(surface);
        if (failure == CAIRO_STATUS_SUCCESS && cr)
            failure = cairo_status(cr);
        if (failure == CAIRO_STATUS_SUCCESS && sink_refused)
            failure = CAIRO_STATUS_WRITE_ERROR;
        return failure == CAIRO_STATUS_SUCCESS;
    }
};

PdfDocument::PdfDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PdfDocument::~PdfDocument() = default;

std::unique_ptr<PdfDocument> PdfDocument::create(PdfSink sink)
{
    auto impl = std::make_unique<Impl>();
    impl->sink = [sink = std::move(sink), &refused = impl->sink_refused](const unsigned char* data,
                                                                         std::size_t length) {
        if (sink(data, length))
            return true;
        refused = true;
        return false;
    };
    impl->surface =
        cairo_pdf_surface_create_for_stream(write_to_sink, &impl->sink, PageWidthPt, PageHeightPt);
    if (cairo_surface_status(impl->surface) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    impl->cr = cairo_create(impl->surface);
    impl->face = cairo_toy_font_face_create(FontFamily, CAIRO_FONT_SLANT_NORMAL,
                                            CAIRO_FONT_WEIGHT_NORMAL);
    if (cairo_status(impl->cr) != CAIRO_STATUS_SUCCESS ||
        cairo_font_face_status(impl->face) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    // Device units of the virtual printer, top-left origin, as the renderer counts them.
    cairo_scale(impl->cr, PointsPerUnit, PointsPerUnit);
    impl->page = std::make_unique<PdfCanvas>(impl->cr, impl->face, advance_per_em(impl->face));
    return std::unique_ptr<PdfDocument>(new PdfDocument(std::move(impl)));
}

Canvas* PdfDocument::begin_page()
{
    return impl_->ok() ? impl_->page.get() : nullptr;
}

bool PdfDocument::end_page()
{
    cairo_show_page(impl_->cr);
    return impl_->ok();
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
    return cairo_status_to_string(impl_->failure);
}

} // namespace qm

// cairo compresses every stream of a PDF through zlib's deflateInit, at zlib's default level, and
// has no setting for it. Most of a job's PDF is page images at band resolution, and at level 1
// those are written four times as fast for a file a quarter larger (20 pages of 300 dpi colour
// bands: 2.9 s against 12.5 s, 0.51 against 0.40 times the spool file). So the program defines
// deflateInit_, the function behind that macro, and the dynamic linker binds cairo's calls to this
// definition ahead of zlib's. Nothing else in the program calls it: libpng and CUPS choose their
// levels through deflateInit2_.
extern "C" __attribute__((visibility("default"))) int
deflateInit_(z_streamp stream, int, const char* version, int stream_size)
{
    constexpr int FastestLevel = 1;
    constexpr int MemoryLevel = 8; // what zlib's own deflateInit_ asks for
    return deflateInit2_(stream, FastestLevel, Z_DEFLATED, MAX_WBITS, MemoryLevel,
                         Z_DEFAULT_STRATEGY, version, stream_size);
}
