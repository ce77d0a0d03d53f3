#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

#include "render/cp1252.h"
#include "render/raster_font.h"
#include "render/text_font.h"
#include "spool/spool_limits.h"

#if !QM_HAVE_FREETYPE
// Every function static, so that nothing of it can meet another copy at link time.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
#endif

namespace qm {
using namespace raster;

namespace raster {

// The built-in face, loaded on first use and kept for the life of the process. Every font holds
// a reference, so the face outlives the sizes made from it.
class FontLibrary {
public:
    FontLibrary() = default;
    FontLibrary(const FontLibrary&) = delete;
    FontLibrary& operator=(const FontLibrary&) = delete;
#if QM_HAVE_FREETYPE
    ~FontLibrary()
    {
        if (face_)
            FT_Done_Face(face_);
        if (library_)
            FT_Done_FreeType(library_);
    }
#endif

    // The loaded face, or null when it could not be loaded.
    static const std::shared_ptr<FontLibrary>& shared()
    {
        static const std::shared_ptr<FontLibrary> instance = load();
        return instance;
    }

#if QM_HAVE_FREETYPE
    FT_Face face() const { return face_; }
#else
    const stbtt_fontinfo* info() const { return &info_; }
    float advance() const { return advance_; }
#endif

private:
    static std::shared_ptr<FontLibrary> load()
    {
        const EmbeddedFile file = text_font_file();
        if (!file.data || file.size == 0 || file.size > INT32_MAX)
            return nullptr;
        auto lib = std::shared_ptr<FontLibrary>(new (std::nothrow) FontLibrary);
        if (!lib)
            return nullptr;
#if QM_HAVE_FREETYPE
        if (FT_Init_FreeType(&lib->library_) != 0) {
            lib->library_ = nullptr;
            return nullptr;
        }
        if (FT_New_Memory_Face(lib->library_, file.data, static_cast<FT_Long>(file.size), 0,
                               &lib->face_) != 0) {
            lib->face_ = nullptr;
            return nullptr;
        }
        // Fixed pitch and scalable, or the advance computation below means nothing.
        const FT_Face face = lib->face_;
        if (!FT_IS_SCALABLE(face) || !FT_IS_FIXED_WIDTH(face) || face->units_per_EM <= 0 ||
            face->max_advance_width <= 0)
            return nullptr;
#else
        if (!stbtt_InitFont(&lib->info_, file.data, stbtt_GetFontOffsetForIndex(file.data, 0)))
            return nullptr;
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(&lib->info_, '0', &advance, &bearing);
        if (advance <= 0)
            return nullptr;
        lib->advance_ = static_cast<float>(advance);
#endif
        return lib;
    }

#if QM_HAVE_FREETYPE
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
#else
    stbtt_fontinfo info_{};
    float advance_ = 0; // of every character, in font units
#endif
};

} // namespace raster

RasterFont::RasterFont(std::int32_t char_height, std::int32_t avg_width, bool monochrome)
    : char_height_(char_height), avg_width_(avg_width), monochrome_(monochrome)
{
    if (char_height < 1 || avg_width < 1 || char_height > MaxTypeSize || avg_width > MaxTypeSize)
        return;
    library_ = FontLibrary::shared();
    if (!library_)
        return;
    scaled_ = scale();
    if (!scaled_)
        free_size();
}

#if QM_HAVE_FREETYPE

bool RasterFont::scale()
{
    FT_Face face = library_->face();
    if (FT_New_Size(face, &size_) != 0) {
        size_ = nullptr;
        return false;
    }
    FT_Activate_Size(size_);
    // The em width that makes the face's advance come out at avg_width pixels, in 26.6.
    FT_Size_RequestRec request{};
    request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
    request.width =
        static_cast<FT_Long>((static_cast<std::int64_t>(avg_width_) * 64 * face->units_per_EM +
                              face->max_advance_width / 2) /
                             face->max_advance_width);
    request.height = static_cast<FT_Long>(char_height_) * 64;
    if (FT_Request_Size(face, &request) != 0)
        return false;
    ascent_ = static_cast<std::int32_t>((size_->metrics.ascender + 63) / 64);
    descent_ = static_cast<std::int32_t>((-size_->metrics.descender + 63) / 64);
    return true;
}

void RasterFont::free_size()
{
    if (size_)
        FT_Done_Size(size_);
    size_ = nullptr;
    library_.reset();
}

bool RasterFont::measure_glyph(std::uint8_t byte, Glyph& into)
{
    FT_Face face = library_->face();
    FT_Activate_Size(size_);
    const FT_Int32 flags =
        FT_LOAD_RENDER | (monochrome_ ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Char(face, cp1252_to_unicode(byte), flags) != 0)
        return false;
    into.left = face->glyph->bitmap_left;
    into.top = face->glyph->bitmap_top;
    into.width = static_cast<std::int32_t>(face->glyph->bitmap.width);
    into.rows = static_cast<std::int32_t>(face->glyph->bitmap.rows);
    return true;
}

// Copies the glyph that measure_glyph left in the face's slot.
void RasterFont::fill_glyph(std::uint8_t, Glyph& into)
{
    const FT_Bitmap& bitmap = library_->face()->glyph->bitmap;
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
}

#else // stb_truetype

bool RasterFont::scale()
{
    const stbtt_fontinfo* info = library_->info();
    // The em is the character height; its width makes the advance come out at avg_width.
    scale_y_ = stbtt_ScaleForMappingEmToPixels(info, static_cast<float>(char_height_));
    scale_x_ = static_cast<float>(avg_width_) / library_->advance();
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(info, &ascent, &descent, &gap);
    ascent_ = static_cast<std::int32_t>(std::ceil(ascent * scale_y_));
    descent_ = static_cast<std::int32_t>(std::ceil(-descent * scale_y_));
    return scale_x_ > 0 && scale_y_ > 0;
}

void RasterFont::free_size()
{
    library_.reset();
}

bool RasterFont::measure_glyph(std::uint8_t byte, Glyph& into)
{
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetCodepointBitmapBox(library_->info(), static_cast<int>(cp1252_to_unicode(byte)),
                                scale_x_, scale_y_, &x0, &y0, &x1, &y1);
    into.left = x0;
    into.top = -y0;
    into.width = std::max(0, x1 - x0);
    into.rows = std::max(0, y1 - y0);
    return true;
}

void RasterFont::fill_glyph(std::uint8_t byte, Glyph& into)
{
    std::uint8_t* out = into.coverage.get();
    const std::size_t bytes = static_cast<std::size_t>(into.width) * into.rows;
    std::memset(out, 0, bytes);
    stbtt_MakeCodepointBitmap(library_->info(), out, into.width, into.rows, into.width, scale_x_,
                              scale_y_, static_cast<int>(cp1252_to_unicode(byte)));
    if (monochrome_) { // a two-colour device gets no grey: ink where a pixel is half covered
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = out[i] >= 128 ? 255 : 0;
    }
}

#endif

// The glyph of an 8-bit character, or null when the face cannot set it.
const Glyph* RasterFont::glyph(std::uint8_t byte)
{
    Glyph& cached = cache_[byte];
    if (cached.ready)
        return &cached;
    Glyph box;
    if (!measure_glyph(byte, box))
        return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(box.width) * box.rows;
    const bool keep =
        bytes <= MaxCachedGlyphBytes || large_glyph_bytes_ + bytes <= MaxLargeGlyphBytes;
    if (keep && bytes > MaxCachedGlyphBytes)
        large_glyph_bytes_ += bytes;
    Glyph& into = keep ? cached : scratch_;
    if (into.capacity < bytes) {
        into.coverage.reset(new (std::nothrow) std::uint8_t[bytes]);
        into.capacity = into.coverage ? bytes : 0;
        if (!into.coverage)
            return nullptr;
    }
    into.left = box.left;
    into.top = box.top;
    into.width = box.width;
    into.rows = box.rows;
    if (bytes > 0)
        fill_glyph(byte, into);
    into.ready = &into == &cached;
    return &into;
}

bool raster_text_available()
{
    return FontLibrary::shared() != nullptr;
}

namespace raster {
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

} // namespace

// Fills the cells white and sets the characters in black, cell top-left at (x, y).
template <class Format>
std::int32_t draw_text(const PixelView& view, RasterFont* font, std::int32_t x, std::int32_t y,
                       const char* text, std::size_t length)
{
    const std::int32_t advance = text_advance(font, length);
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

template std::int32_t draw_text<Bgr24>(const PixelView&, RasterFont*, std::int32_t, std::int32_t,
                                       const char*, std::size_t);
template std::int32_t draw_text<Rgb555>(const PixelView&, RasterFont*, std::int32_t, std::int32_t,
                                        const char*, std::size_t);

} // namespace raster
} // namespace qm
