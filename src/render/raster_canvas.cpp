#include "render/raster_canvas.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "spool/spool_limits.h"

#if QM_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
#endif

namespace qm {
namespace {

// ---------------------------------------------------------------------------------------------
// Pixel memory

// A top-down view of a raster whatever its memory order: a bottom-up DIB is seen from its last
// row with a negative step.
struct PixelView {
    std::uint8_t* top = nullptr;
    std::ptrdiff_t step = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::uint8_t* row(std::int32_t y) const { return top + y * step; }
};

// Scales an 8-bit channel by keep / 255, rounded: keep 255 leaves it, keep 0 makes it black.
inline unsigned scale_channel(unsigned v, unsigned keep)
{
    return (v * keep + 127) / 255;
}

// 24-bit blue, green, red.
struct Bgr24 {
    static constexpr int Bytes = 3;

    static void put(std::uint8_t* p, std::uint8_t b, std::uint8_t g, std::uint8_t r)
    {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    static void fill_white(std::uint8_t* p, std::int32_t n)
    {
        std::memset(p, 0xFF, static_cast<std::size_t>(n) * Bytes);
    }
    // Blends toward black by `coverage` (0 leaves the pixel, 255 makes it black).
    static void darken(std::uint8_t* p, unsigned coverage)
    {
        const unsigned keep = 255 - coverage;
        p[0] = static_cast<std::uint8_t>(scale_channel(p[0], keep));
        p[1] = static_cast<std::uint8_t>(scale_channel(p[1], keep));
        p[2] = static_cast<std::uint8_t>(scale_channel(p[2], keep));
    }
};

// 16-bit 5-5-5, little-endian: red in bits 14-10, green 9-5, blue 4-0. 8-bit channels lose their
// low three bits, as a 16-bit DIB section takes them.
struct Rgb555 {
    static constexpr int Bytes = 2;

    static void put(std::uint8_t* p, std::uint8_t b, std::uint8_t g, std::uint8_t r)
    {
        const unsigned v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void fill_white(std::uint8_t* p, std::int32_t n)
    {
        for (std::int32_t i = 0; i < n; ++i, p += 2) {
            p[0] = 0xFF;
            p[1] = 0x7F;
        }
    }
    static void darken(std::uint8_t* p, unsigned coverage)
    {
        const unsigned keep = 255 - coverage;
        const unsigned v = p[0] | p[1] << 8;
        const unsigned r = scale_channel(v >> 10 & 0x1F, keep);
        const unsigned g = scale_channel(v >> 5 & 0x1F, keep);
        const unsigned b = scale_channel(v & 0x1F, keep);
        const unsigned out = r << 10 | g << 5 | b;
        p[0] = static_cast<std::uint8_t>(out);
        p[1] = static_cast<std::uint8_t>(out >> 8);
    }
};

// [begin, end) of the range start .. start + length clipped to 0 .. limit; empty when begin >=
// end. 64-bit so that a rectangle near the ends of the 32-bit range cannot wrap.
struct Range {
    std::int64_t begin = 0;
    std::int64_t end = 0;
    bool empty() const { return begin >= end; }
};

Range clip(std::int32_t start, std::int32_t length, std::int32_t limit)
{
    Range r;
    r.begin = std::max<std::int64_t>(start, 0);
    r.end = std::min<std::int64_t>(static_cast<std::int64_t>(start) + length, limit);
    return r;
}

// Bytes of a row of `width` pixels of `bytes_per_pixel`, padded to 4 as a DIB pads it.
std::uint64_t padded_row_bytes(std::int32_t width, int bytes_per_pixel)
{
    return (static_cast<std::uint64_t>(width) * bytes_per_pixel + 3) & ~std::uint64_t{3};
}

// A zero-filled block of at least one byte, or null when the memory is not there.
std::unique_ptr<std::uint8_t[]> allocate(std::uint64_t bytes)
{
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow)
                                               std::uint8_t[std::max<std::uint64_t>(bytes, 1)]);
}

template <class Format> void fill_white_rect(const PixelView& view, const Rect& r)
{
    const Range xs = clip(r.left, r.width, view.width);
    const Range ys = clip(r.top, r.height, view.height);
    if (xs.empty() || ys.empty())
        return;
    const auto n = static_cast<std::int32_t>(xs.end - xs.begin);
    for (auto y = static_cast<std::int32_t>(ys.begin); y < ys.end; ++y)
        Format::fill_white(view.row(y) + xs.begin * Format::Bytes, n);
}

// ---------------------------------------------------------------------------------------------
// Scaled copy (StretchBlt, SRCCOPY, BLACKONWHITE)
//
// Destination pixel d of a destination length dl takes the source span [d * sl / dl,
// (d + 1) * sl / dl) of a source length sl, at least one pixel long. Enlarging makes every span
// one pixel, so pixels repeat; shrinking ANDs the span's pixels together byte by byte, so that a
// thin black line on white survives however far the band is shrunk.

// One visible destination column: where its span starts in the source row (bytes from the first
// source column any visible column uses) and how many source pixels it covers.
struct ColumnSpan {
    std::ptrdiff_t offset;
    std::int32_t count;
};

struct SourceSpan {
    std::int64_t first;
    std::int64_t count;
};

inline SourceSpan source_span(std::int64_t d, std::int64_t source_length, std::int64_t dest_length)
{
    const std::int64_t first = d * source_length / dest_length;
    const std::int64_t end = (d + 1) * source_length / dest_length;
    return {first, std::max<std::int64_t>(end - first, 1)};
}

// Pixels are stored as whole words whose low three bytes are blue, green and red.
static_assert(std::endian::native == std::endian::little,
              "word stores assume a little-endian machine");

// Writes one destination row segment from a source row when no destination column covers more
// than one source pixel (enlarging, or copying at the same width): source pixel s, counted from
// the first one in use, fills the next repeats[s] destination pixels.
template <class Format>
void repeat_row(std::uint8_t* out, const std::uint8_t* src, const std::int32_t* repeats,
                std::int32_t m)
{
    if constexpr (Format::Bytes == 3) {
        // Placing bands on the page is most of a page's drawing: each pixel is stored as one
        // word whose fourth byte the next pixel overwrites, and the very last byte by byte, so
        // that nothing right of the segment is touched.
        for (std::int32_t s = 0; s < m; ++s, src += 3) {
            const std::uint32_t bgr = src[0] | src[1] << 8 | src[2] << 16;
            for (std::int32_t k = repeats[s] - (s + 1 == m); k > 0; --k, out += 3)
                std::memcpy(out, &bgr, 4);
        }
        src -= 3;
        Format::put(out, src[0], src[1], src[2]);
    } else {
        for (std::int32_t s = 0; s < m; ++s, src += 3) {
            for (std::int32_t k = repeats[s]; k > 0; --k, out += Format::Bytes)
                Format::put(out, src[0], src[1], src[2]);
        }
    }
}

// Writes one destination row segment from a source row whose column spans are `columns`, ANDing
// together the pixels of each span.
template <class Format>
void and_row(std::uint8_t* out, const std::uint8_t* src, const ColumnSpan* columns, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i, out += Format::Bytes) {
        const std::uint8_t* p = src + columns[i].offset;
        std::uint8_t b = p[0], g = p[1], r = p[2];
        for (std::int32_t k = 1; k < columns[i].count; ++k) {
            p += 3;
            b &= p[0];
            g &= p[1];
            r &= p[2];
        }
        Format::put(out, b, g, r);
    }
}

template <class Format>
void stretch_to(const PixelView& view, const BandSurface& band, const Rect& dst)
{
    const std::int64_t sw = band.width();
    const std::int64_t sh = band.height();
    if (sw <= 0 || sh <= 0 || dst.width <= 0 || dst.height <= 0)
        return;
    const Range xs = clip(dst.left, dst.width, view.width);
    const Range ys = clip(dst.top, dst.height, view.height);
    if (xs.empty() || ys.empty())
        return;
    const auto n = static_cast<std::int32_t>(xs.end - xs.begin);

    // Column spans once per call; offsets count from the first source column in use, so that a
    // shrunk row can be built in a scratch row of just that width.
    std::unique_ptr<ColumnSpan[]> columns(new (std::nothrow) ColumnSpan[n]);
    if (!columns)
        return;
    const SourceSpan first_span = source_span(xs.begin - dst.left, sw, dst.width);
    const SourceSpan last_span = source_span(xs.end - 1 - dst.left, sw, dst.width);
    const std::int64_t source_x0 = first_span.first;
    const std::int64_t source_bytes = (last_span.first + last_span.count - source_x0) * 3;
    bool single_pixel_spans = true;
    for (std::int32_t i = 0; i < n; ++i) {
        const SourceSpan s = source_span(xs.begin - dst.left + i, sw, dst.width);
        columns[i] = {static_cast<std::ptrdiff_t>((s.first - source_x0) * 3),
                      static_cast<std::int32_t>(s.count)};
        single_pixel_spans = single_pixel_spans && s.count == 1;
    }
    // With one source pixel per column, consecutive columns take the same source pixel or the
    // next one, so the row is each source pixel in use repeated over its columns.
    const auto source_pixels = static_cast<std::int32_t>(source_bytes / 3);
    std::unique_ptr<std::int32_t[]> repeats;
    if (single_pixel_spans) {
        repeats.reset(new (std::nothrow) std::int32_t[source_pixels]());
        if (!repeats)
            return;
        for (std::int32_t i = 0; i < n; ++i)
            ++repeats[columns[i].offset / 3];
    }

    // Several source rows for one destination row only when shrinking vertically.
    std::unique_ptr<std::uint8_t[]> scratch;
    if (sh > dst.height) {
        scratch = allocate(static_cast<std::uint64_t>(source_bytes));
        if (!scratch)
            return;
    }

    const std::size_t out_bytes = static_cast<std::size_t>(n) * Format::Bytes;
    const std::uint8_t* previous_out = nullptr;
    std::int64_t previous_first = -1;
    for (auto y = static_cast<std::int32_t>(ys.begin); y < ys.end; ++y) {
        std::uint8_t* out = view.row(y) + xs.begin * Format::Bytes;
        const SourceSpan rows = source_span(y - static_cast<std::int64_t>(dst.top), sh, dst.height);
        if (rows.first == previous_first && rows.count == 1) {
            // Enlarging: the row repeats the one above it.
            std::memcpy(out, previous_out, out_bytes);
            continue;
        }
        const std::uint8_t* src = band.row(static_cast<std::int32_t>(rows.first)) + source_x0 * 3;
        if (rows.count > 1) {
            std::uint8_t* acc = scratch.get();
            const std::uint8_t* second = band.row(static_cast<std::int32_t>(rows.first + 1)) +
                                         source_x0 * 3;
            for (std::int64_t j = 0; j < source_bytes; ++j)
                acc[j] = src[j] & second[j];
            for (std::int64_t k = 2; k < rows.count; ++k) {
                const std::uint8_t* more =
                    band.row(static_cast<std::int32_t>(rows.first + k)) + source_x0 * 3;
                for (std::int64_t j = 0; j < source_bytes; ++j)
                    acc[j] &= more[j];
            }
            src = acc;
        }
        if (single_pixel_spans)
            repeat_row<Format>(out, src, repeats.get(), source_pixels);
        else
            and_row<Format>(out, src, columns.get(), n);
        previous_out = out;
        previous_first = rows.count == 1 ? rows.first : -1;
    }
}

// ---------------------------------------------------------------------------------------------
// Band surfaces

class RasterBandSurface final : public BandSurface {
public:
    RasterBandSurface(std::int32_t width, std::int32_t height, std::ptrdiff_t stride,
                      std::unique_ptr<std::uint8_t[]> memory)
        : memory_(std::move(memory))
    {
        bits_ = memory_.get();
        width_ = width;
        height_ = height;
        stride_ = stride;
    }

private:
    std::unique_ptr<std::uint8_t[]> memory_;
};

} // namespace

std::unique_ptr<BandSurface> create_raster_band_surface(std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0)
        return nullptr;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3 >
        MaxBandImageBytes)
        return nullptr;
    if (width == 0 || height == 0) {
        // Nothing to hold, but the renderer still places it (and moves on by its height).
        return std::unique_ptr<BandSurface>(new (std::nothrow)
                                                RasterBandSurface(width, height, 0, nullptr));
    }
    const std::uint64_t stride = padded_row_bytes(width, 3);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    std::unique_ptr<std::uint8_t[]> memory = allocate(bytes);
    if (!memory)
        return nullptr;
    std::memset(memory.get(), 0xFF, bytes);
    return std::unique_ptr<BandSurface>(new (std::nothrow) RasterBandSurface(
        width, height, static_cast<std::ptrdiff_t>(stride), std::move(memory)));
}

// ---------------------------------------------------------------------------------------------
// Text

namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five the code page leaves undefined map to themselves.
constexpr std::array<std::uint16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

[[maybe_unused]] std::uint32_t cp1252_to_unicode(std::uint8_t byte)
{
    return byte >= 0x80 && byte <= 0x9F ? Cp1252High[byte - 0x80] : byte;
}

// The largest em height or advance we set type at. Far beyond any page (a 6-lines-per-inch
// line at 1200 dpi is 200 pixels), and it keeps a glyph's bitmap to a few megabytes.
[[maybe_unused]] constexpr std::int32_t MaxTypeSize = 4096;

} // namespace

#if QM_HAVE_FREETYPE

namespace {

// The FreeType library and the face, loaded on first use and kept for the life of the process.
// Every font holds a reference, so the face outlives the sizes made from it.
class FontLibrary {
public:
    FontLibrary() = default;
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;
    ~FontLibrary()
    {
        if (face_)
            FT_Done_Face(face_);
        if (library_)
            FT_Done_FreeType(library_);
    }

    // The loaded library, or null when FreeType or the face is not there.
    static const std::shared_ptr<FontLibrary>& shared()
    {
        static const std::shared_ptr<FontLibrary> instance = load();
        return instance;
    }

    FT_Face face() const { return face_; }

private:
    static std::shared_ptr<FontLibrary> load()
    {
        // Where the Liberation fonts live on the common Linux distributions.
        static const char* const Paths[] = {
            "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
            "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
            "/usr/share/fonts/liberation-mono/LiberationMono-Regular.ttf",
            "/usr/share/fonts/liberation/LiberationMono-Regular.ttf",
            "/usr/share/fonts/TTF/LiberationMono-Regular.ttf",
            "/usr/local/share/fonts/LiberationMono-Regular.ttf",
        };
        auto lib = std::make_shared<FontLibrary>();
        if (FT_Init_FreeType(&lib->library_) != 0) {
            lib->library_ = nullptr;
            return nullptr;
        }
        for (const char* path : Paths) {
            FT_Face face = nullptr;
            if (FT_New_Face(lib->library_, path, 0, &face) != 0)
                continue;
            // Fixed pitch and scalable, or the advance computation below means nothing.
            if (FT_IS_SCALABLE(face) && FT_IS_FIXED_WIDTH(face) && face->units_per_EM > 0 &&
                face->max_advance_width > 0) {
                lib->face_ = face;
                return lib;
            }
            FT_Done_Face(face);
        }
        return nullptr;
    }

    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// A rendered glyph as coverage bytes, 0 (paper) to 255 (ink), one byte per pixel.
struct Glyph {
    bool ready = false;
    std::int32_t left = 0; // from the pen position
    std::int32_t top = 0;  // above the baseline
    std::int32_t width = 0;
    std::int32_t rows = 0;
    std::unique_ptr<std::uint8_t[]> coverage;
    std::size_t capacity = 0;
};

// Glyphs up to this many pixels are kept per font; bigger ones are set afresh each time.
constexpr std::size_t MaxCachedGlyphBytes = 64 * 1024;

} // namespace

class RasterFont {
public:
    RasterFont(std::int32_t char_height, std::int32_t avg_width, bool monochrome)
        : char_height_(char_height), avg_width_(avg_width), monochrome_(monochrome)
    {
        if (char_height < 1 || avg_width < 1 || char_height > MaxTypeSize ||
            avg_width > MaxTypeSize)
            return;
        library_ = FontLibrary::shared();
        if (!library_)
            return;
        FT_Face face = library_->face();
        if (FT_New_Size(face, &size_) != 0) {
            size_ = nullptr;
            return;
        }
        FT_Activate_Size(size_);
        // The em width that makes the face's advance come out at avg_width pixels, in 26.6.
        FT_Size_RequestRec request{};
        request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
        request.width = static_cast<FT_Long>(
            (static_cast<std::int64_t>(avg_width) * 64 * face->units_per_EM +
             face->max_advance_width / 2) /
            face->max_advance_width);
        request.height = static_cast<FT_Long>(char_height) * 64;
        if (FT_Request_Size(face, &request) != 0) {
            free_size();
            return;
        }
        ascent_ = static_cast<std::int32_t>((size_->metrics.ascender + 63) / 64);
        descent_ = static_cast<std::int32_t>((-size_->metrics.descender + 63) / 64);
    }
    ~RasterFont() { free_size(); }
    RasterFont(const RasterFont&) = delete;
    RasterFont& operator=(const RasterFont&) = delete;

    // True when the face is set at this size and selected.
    bool usable() const { return size_ != nullptr && selected_; }
    std::int32_t avg_width() const { return avg_width_; }
    std::int32_t cell_height() const { return ascent_ + descent_; }
    std::int32_t ascent() const { return ascent_; }

    // Back to the device's default font, which on a raster is no font at all; the requested
    // width stays, as it still gives text_out its advance. The scaled face and its glyphs are
    // kept: the renderer makes and drops the same font for every text record of a page, and
    // setting each glyph afresh every time would triple the cost of text.
    void deselect() { selected_ = false; }
    // Selects the font again when it was made for this size; false when it was not (or when
    // the face could not be set at it).
    bool reselect(std::int32_t char_height, std::int32_t avg_width, bool monochrome)
    {
        if (!size_ || char_height != char_height_ || avg_width != avg_width_ ||
            monochrome != monochrome_)
            return false;
        selected_ = true;
        return true;
    }

    // The glyph of an 8-bit character, or null when the face cannot set it.
    const Glyph* glyph(std::uint8_t byte)
    {
        Glyph& cached = cache_[byte];
        if (cached.ready)
            return &cached;
        FT_Face face = library_->face();
        FT_Activate_Size(size_);
        const FT_Int32 flags =
            FT_LOAD_RENDER | (monochrome_ ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
        if (FT_Load_Char(face, cp1252_to_unicode(byte), flags) != 0)
            return nullptr;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        const std::size_t bytes = static_cast<std::size_t>(bitmap.width) * bitmap.rows;
        Glyph& into = bytes <= MaxCachedGlyphBytes ? cached : scratch_;
        if (into.capacity < bytes) {
            into.coverage.reset(new (std::nothrow) std::uint8_t[bytes]);
            into.capacity = into.coverage ? bytes : 0;
            if (!into.coverage)
                return nullptr;
        }
        into.left = face->glyph->bitmap_left;
        into.top = face->glyph->bitmap_top;
        into.width = static_cast<std::int32_t>(bitmap.width);
        into.rows = static_cast<std::int32_t>(bitmap.rows);
        const auto pitch = static_cast<std::ptrdiff_t>(bitmap.pitch);
        const bool one_bit = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
        for (std::int32_t r = 0; r < into.rows; ++r) {
            // A negative pitch stores the bottom row first.
            const std::uint8_t* in =
                bitmap.buffer + (pitch >= 0 ? r * pitch : (into.rows - 1 - r) * -pitch);
            std::uint8_t* out = into.coverage.get() + static_cast<std::size_t>(r) * into.width;
            for (std::int32_t c = 0; c < into.width; ++c)
                out[c] = one_bit ? ((in[c >> 3] >> (7 - (c & 7)) & 1) ? 255 : 0) : in[c];
        }
        into.ready = &into == &cached;
        return &into;
    }

private:
    void free_size()
    {
        if (size_)
            FT_Done_Size(size_);
        size_ = nullptr;
        library_.reset();
    }

    std::int32_t char_height_ = 0;
    std::int32_t avg_width_ = 0;
    bool monochrome_ = false;
    bool selected_ = true;
    std::shared_ptr<FontLibrary> library_;
    FT_Size size_ = nullptr;
    std::int32_t ascent_ = 0;
    std::int32_t descent_ = 0;
    std::array<Glyph, 256> cache_;
    Glyph scratch_;
};

bool raster_text_available()
{
    return FontLibrary::shared() != nullptr;
}

#else // no FreeType in this build: sizes and advances only

class RasterFont {
public:
    RasterFont(std::int32_t, std::int32_t avg_width, bool) : avg_width_(avg_width) {}
    bool usable() const { return false; }
    std::int32_t avg_width() const { return avg_width_; }
    void deselect() {}
    bool reselect(std::int32_t, std::int32_t, bool) { return false; }

private:
    std::int32_t avg_width_ = 0;
};

bool raster_text_available()
{
    return false;
}

#endif

namespace {

// The advance of `length` characters: length x the requested average width, kept in range.
std::int32_t text_advance(const RasterFont* font, std::size_t length)
{
    if (!font || font->avg_width() <= 0)
        return 0;
    const std::int64_t limit = INT32_MAX / font->avg_width();
    const std::int64_t n = std::min<std::uint64_t>(length, static_cast<std::uint64_t>(limit));
    return static_cast<std::int32_t>(n * font->avg_width());
}

// Fills the cells white and sets the characters in black, cell top-left at (x, y).
template <class Format>
std::int32_t draw_text(const PixelView& view, RasterFont* font, std::int32_t x, std::int32_t y,
                       const char* text, std::size_t length)
{
    const std::int32_t advance = text_advance(font, length);
#if QM_HAVE_FREETYPE
    if (!font || !font->usable() || !text || length == 0)
        return advance;
    fill_white_rect<Format>(view, Rect{x, y, advance, font->cell_height()});
    const std::int64_t baseline = static_cast<std::int64_t>(y) + font->ascent();
    const std::int64_t w = font->avg_width();
    for (std::size_t i = 0; i < length; ++i) {
        const std::int64_t pen = x + static_cast<std::int64_t>(i) * w;
        if (pen >= view.width + MaxTypeSize)
            break; // this and every later character lies right of the device
        const Glyph* g = font->glyph(static_cast<std::uint8_t>(text[i]));
        if (!g || g->width == 0 || g->rows == 0)
            continue;
        const std::int64_t gx = pen + g->left;
        const std::int64_t gy = baseline - g->top;
        const std::int64_t c0 = std::max<std::int64_t>(0, -gx);
        const std::int64_t c1 = std::min<std::int64_t>(g->width, view.width - gx);
        const std::int64_t r0 = std::max<std::int64_t>(0, -gy);
        const std::int64_t r1 = std::min<std::int64_t>(g->rows, view.height - gy);
        for (std::int64_t r = r0; r < r1; ++r) {
            const std::uint8_t* cover = g->coverage.get() + r * g->width;
            std::uint8_t* out = view.row(static_cast<std::int32_t>(gy + r));
            for (std::int64_t c = c0; c < c1; ++c) {
                if (cover[c] != 0)
                    Format::darken(out + (gx + c) * Format::Bytes, cover[c]);
            }
        }
    }
#else
    (void)view;
    (void)x;
    (void)y;
    (void)text;
#endif
    return advance;
}

// Selects a font for a target; false when no face could be set at that size. The requested
// width is kept either way, for the advances.
bool select_raster_font(std::unique_ptr<RasterFont>& font, std::int32_t char_height,
                        std::int32_t avg_width, bool monochrome)
{
    if (font && font->reselect(char_height, avg_width, monochrome))
        return true;
    font.reset(new (std::nothrow) RasterFont(char_height, avg_width, monochrome));
    return font && font->usable();
}

} // namespace

namespace {

// Copies a preview cache unscaled to (0, 0) of a target of width x height, clipped: `out_row(y)`
// gives the target's row y, `put(p, v)` stores the 5-5-5 value v at p and returns nothing; the
// target's pixels are `Bytes` apart.
template <int Bytes, class OutRow, class Put>
void copy_preview(const PreviewSurface& cache, std::int32_t width, std::int32_t height,
                  OutRow out_row, Put put)
{
    const std::int32_t w = std::min(cache.width(), width);
    const std::int32_t h = std::min(cache.height(), height);
    // Our own caches are read straight from memory; any other through pixel().
    const auto* raster = dynamic_cast<const RasterPreviewSurface*>(&cache);
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* out = out_row(y);
        if (raster) {
            const std::uint8_t* in = raster->memory_row(cache.height() - 1 - y);
            for (std::int32_t x = 0; x < w; ++x, in += 2, out += Bytes)
                put(out, static_cast<unsigned>(in[0] | in[1] << 8));
        } else {
            for (std::int32_t x = 0; x < w; ++x, out += Bytes)
                put(out, cache.pixel(x, y));
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// RasterCanvas

RasterCanvas::RasterCanvas(const DeviceCaps& caps, std::unique_ptr<std::uint8_t[]> bits,
                           std::ptrdiff_t stride)
    : caps_(caps), bits_(std::move(bits)), stride_(stride)
{
}

RasterCanvas::~RasterCanvas() = default;

std::unique_ptr<RasterCanvas> RasterCanvas::create(const DeviceCaps& caps)
{
    if (caps.horzres < 0 || caps.vertres < 0)
        return nullptr;
    const std::uint64_t stride = padded_row_bytes(caps.horzres, 3);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(caps.vertres);
    if (bytes > MaxRasterBytes)
        return nullptr;
    std::unique_ptr<std::uint8_t[]> bits = allocate(bytes);
    if (!bits)
        return nullptr;
    std::memset(bits.get(), 0xFF, bytes);
    return std::unique_ptr<RasterCanvas>(new (std::nothrow) RasterCanvas(
        caps, std::move(bits), static_cast<std::ptrdiff_t>(stride)));
}

namespace {
PixelView view_of(RasterCanvas& c)
{
    return PixelView{c.row(0), c.stride(), c.width(), c.height()};
}
} // namespace

void RasterCanvas::fill_white(const Rect& r)
{
    fill_white_rect<Bgr24>(view_of(*this), r);
}

std::unique_ptr<BandSurface> RasterCanvas::create_band_surface(std::int32_t width,
                                                               std::int32_t height)
{
    return create_raster_band_surface(width, height);
}

void RasterCanvas::stretch_band(const BandSurface& band, const Rect& dst)
{
    stretch_to<Bgr24>(view_of(*this), band, dst);
}

bool RasterCanvas::select_font(std::int32_t char_height, std::int32_t avg_width)
{
    return select_raster_font(font_, char_height, avg_width, caps_.numcolors == 2);
}

void RasterCanvas::release_font()
{
    if (font_)
        font_->deselect();
}

std::int32_t RasterCanvas::text_out(std::int32_t x, std::int32_t y, const char* text,
                                    std::size_t length)
{
    return draw_text<Bgr24>(view_of(*this), font_.get(), x, y, text, length);
}

std::unique_ptr<PreviewSurface> RasterCanvas::create_preview_cache(std::int32_t width,
                                                                   std::int32_t height)
{
    return RasterPreviewSurface::create(width, height, caps_.logpixelsx, caps_.logpixelsy);
}

void RasterCanvas::draw_preview(const PreviewSurface& cache)
{
    copy_preview<3>(cache, width(), height(), [this](std::int32_t y) { return row(y); },
                 [](std::uint8_t* out, unsigned v) {
                     const unsigned r = v >> 10 & 0x1F, g = v >> 5 & 0x1F, b = v & 0x1F;
                     // 5 bits to 8 so that 31 becomes 255 and 0 stays 0.
                     out[0] = static_cast<std::uint8_t>(b << 3 | b >> 2);
                     out[1] = static_cast<std::uint8_t>(g << 3 | g >> 2);
                     out[2] = static_cast<std::uint8_t>(r << 3 | r >> 2);
                 });
}

// ---------------------------------------------------------------------------------------------
// RasterPreviewSurface

RasterPreviewSurface::RasterPreviewSurface(std::int32_t width, std::int32_t height,
                                           std::int32_t logpixelsx, std::int32_t logpixelsy,
                                           std::unique_ptr<std::uint8_t[]> memory,
                                           std::ptrdiff_t stride)
    : memory_(std::move(memory)), logpixelsx_(logpixelsx), logpixelsy_(logpixelsy)
{
    bits_ = memory_.get();
    width_ = width;
    height_ = height;
    stride_ = stride;
}

RasterPreviewSurface::~RasterPreviewSurface() = default;

std::unique_ptr<RasterPreviewSurface> RasterPreviewSurface::create(std::int32_t width,
                                                                   std::int32_t height,
                                                                   std::int32_t logpixelsx,
                                                                   std::int32_t logpixelsy)
{
    if (width < 0 || height < 0)
        return nullptr;
    const std::uint64_t stride = padded_row_bytes(width, 2);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    if (bytes > MaxRasterBytes)
        return nullptr;
    std::unique_ptr<std::uint8_t[]> memory = allocate(bytes);
    if (!memory)
        return nullptr;
    Rgb555::fill_white(memory.get(), static_cast<std::int32_t>(bytes / 2));
    return std::unique_ptr<RasterPreviewSurface>(
        new (std::nothrow) RasterPreviewSurface(width, height, logpixelsx, logpixelsy,
                                                std::move(memory),
                                                static_cast<std::ptrdiff_t>(stride)));
}

namespace {
// The top row is the last one in memory.
PixelView view_of(std::uint8_t* bits, std::ptrdiff_t stride, std::int32_t width,
                  std::int32_t height)
{
    if (height == 0)
        return PixelView{bits, stride, width, 0};
    return PixelView{bits + (height - 1) * stride, -stride, width, height};
}
} // namespace

DeviceCaps RasterPreviewSurface::caps() const
{
    DeviceCaps c;
    c.horzres = width_;
    c.vertres = height_;
    c.logpixelsx = logpixelsx_;
    c.logpixelsy = logpixelsy_;
    c.numcolors = -1;
    return c;
}

void RasterPreviewSurface::fill_white(const Rect& r)
{
    fill_white_rect<Rgb555>(view_of(bits_, stride_, width_, height_), r);
}

std::unique_ptr<BandSurface> RasterPreviewSurface::create_band_surface(std::int32_t width,
                                                                       std::int32_t height)
{
    return create_raster_band_surface(width, height);
}

void RasterPreviewSurface::stretch_band(const BandSurface& band, const Rect& dst)
{
    stretch_to<Rgb555>(view_of(bits_, stride_, width_, height_), band, dst);
}

bool RasterPreviewSurface::select_font(std::int32_t char_height, std::int32_t avg_width)
{
    return select_raster_font(font_, char_height, avg_width, false);
}

void RasterPreviewSurface::release_font()
{
    if (font_)
        font_->deselect();
}

std::int32_t RasterPreviewSurface::text_out(std::int32_t x, std::int32_t y, const char* text,
                                            std::size_t length)
{
    return draw_text<Rgb555>(view_of(bits_, stride_, width_, height_), font_.get(), x, y, text,
                             length);
}

std::unique_ptr<PreviewSurface> RasterPreviewSurface::create_preview_cache(std::int32_t width,
                                                                           std::int32_t height)
{
    return RasterPreviewSurface::create(width, height, logpixelsx_, logpixelsy_);
}

void RasterPreviewSurface::draw_preview(const PreviewSurface& cache)
{
    const PixelView view = view_of(bits_, stride_, width_, height_);
    copy_preview<2>(cache, width_, height_, [&view](std::int32_t y) { return view.row(y); },
                 [](std::uint8_t* out, unsigned v) {
                     out[0] = static_cast<std::uint8_t>(v);
                     out[1] = static_cast<std::uint8_t>(v >> 8);
                 });
}

} // namespace qm
