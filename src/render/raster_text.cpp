#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "render/cp1252.h"
#include "render/raster_font.h"
#include "spool/spool_limits.h"

namespace qm {
using namespace raster;

#if QM_HAVE_FREETYPE

namespace raster {

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

namespace {

// Glyphs up to this many pixels are kept per font.
constexpr std::size_t MaxCachedGlyphBytes = 64 * 1024;
// Bigger glyphs are kept too while they take no more than this in all (per font): type set very
// large repeats its letters as any other, and setting each afresh cost seconds a page.
constexpr std::size_t MaxLargeGlyphBytes = 16 << 20;

} // namespace
} // namespace raster

RasterFont::RasterFont(std::int32_t char_height, std::int32_t avg_width, bool monochrome)
    : char_height_(char_height), avg_width_(avg_width), monochrome_(monochrome)
{
    if (char_height < 1 || avg_width < 1 || char_height > MaxTypeSize || avg_width > MaxTypeSize)
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
    request.width =
        static_cast<FT_Long>((static_cast<std::int64_t>(avg_width) * 64 * face->units_per_EM +
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

// The glyph of an 8-bit character, or null when the face cannot set it.
const Glyph* RasterFont::glyph(std::uint8_t byte)
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

bool raster_text_available()
{
    return FontLibrary::shared() != nullptr;
}

#else // no FreeType in this build: sizes and advances only

bool raster_text_available()
{
    return false;
}

#endif

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

template std::int32_t draw_text<Bgr24>(const PixelView&, RasterFont*, std::int32_t, std::int32_t,
                                       const char*, std::size_t);
template std::int32_t draw_text<Rgb555>(const PixelView&, RasterFont*, std::int32_t, std::int32_t,
                                        const char*, std::size_t);

} // namespace raster
} // namespace qm
