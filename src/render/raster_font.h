// The text state of a raster target: the face set at the selected size, its glyphs, and the
// drawing of a text line. Internal to the raster canvas; the font engine's headers stay behind
// it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/raster_pixels.h"

#if QM_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H
#endif

namespace qm {

namespace raster {

class FontLibrary;

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

} // namespace raster

using raster::FontLibrary;
using raster::Glyph;

// The face at one size. Glyphs are set by FreeType where the build has it, else by
// stb_truetype; either way from the same built-in font file.
class RasterFont {
public:
    RasterFont(std::int32_t char_height, std::int32_t avg_width, bool monochrome);
    ~RasterFont() { free_size(); }
    RasterFont(const RasterFont&) = delete;
    RasterFont& operator=(const RasterFont&) = delete;

    // True when the face is set at this size and selected.
    bool usable() const { return scaled_ && selected_; }
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
        if (!scaled_ || char_height != char_height_ || avg_width != avg_width_ ||
            monochrome != monochrome_)
            return false;
        selected_ = true;
        return true;
    }

    const Glyph* glyph(std::uint8_t byte);

private:
    bool scale(); // sets the face at this size; false when it cannot be
    // The glyph's box (left, top, width, rows), then its coverage into memory of that size.
    bool measure_glyph(std::uint8_t byte, Glyph& into);
    void fill_glyph(std::uint8_t byte, Glyph& into);
    void free_size();

    std::int32_t char_height_ = 0;
    std::int32_t avg_width_ = 0;
    bool monochrome_ = false;
    bool selected_ = true;
    bool scaled_ = false;
    std::shared_ptr<FontLibrary> library_;
#if QM_HAVE_FREETYPE
    FT_Size size_ = nullptr;
#else
    float scale_x_ = 0; // pixels per font unit
    float scale_y_ = 0;
#endif
    std::int32_t ascent_ = 0;
    std::int32_t descent_ = 0;
    std::array<Glyph, 256> cache_;
    std::size_t large_glyph_bytes_ = 0; // kept glyphs over MaxCachedGlyphBytes
    Glyph scratch_;
};

namespace raster {

// The text line and the font selection of a target, for both pixel formats (raster_text.cpp).
template <class Format>
std::int32_t draw_text(const PixelView& view, RasterFont* font, std::int32_t x, std::int32_t y,
                       const char* text, std::size_t length);
bool select_raster_font(std::unique_ptr<RasterFont>& font, std::int32_t char_height,
                        std::int32_t avg_width, bool monochrome);

} // namespace raster
} // namespace qm
