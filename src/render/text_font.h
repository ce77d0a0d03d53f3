// The face qmspool sets text in: Liberation Mono (Regular), whose metrics are those of the
// fixed-pitch face the Windows program asks for. It is carried in the program, built in from the
// font file at build time (licence: third_party/liberation-mono/LICENSE), so that a page's text
// never depends on the fonts a machine happens to have: the raster canvas draws with it, and the
// PDF canvas embeds the same bytes.
#pragma once

#include <cstddef>

namespace qm {

struct EmbeddedFile {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// The font file's bytes; empty only in a build that links a stand-in without them.
EmbeddedFile text_font_file();

// The one-line reason a page with text cannot be drawn when the face cannot be loaded.
inline constexpr char NoTextFontReason[] =
    "its text needs the Liberation Mono font, which could not be loaded";

} // namespace qm
