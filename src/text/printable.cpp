#include "text/printable.h"

#include <cstdio>

namespace qm {
namespace {

// A backslash is escaped so that every escape reads one way, except where it separates a path's
// folders: there every name would show with its separators doubled.
#ifdef _WIN32
constexpr bool EscapeBackslash = false;
#else
constexpr bool EscapeBackslash = true;
#endif

} // namespace

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    auto escape = [&out](unsigned char c) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
    };
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = at(i);
        if ((c == '\\' && EscapeBackslash) || c == '\n' || c == '\r' || c == '\t') {
            out += '\\';
            out += c == '\\' ? '\\' : c == '\n' ? 'n' : c == '\r' ? 'r' : 't';
            ++i;
        } else if (c < 0x20 || c == 0x7f) {
            escape(c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            // UTF-8 passes whole, but for the C1 controls (U+0080 to U+009F), which terminals
            // act on; a byte that does not start or continue a whole sequence is escaped.
            std::size_t len = 0; // of the sequence a byte of this value starts
            if (c >= 0xc2 && c < 0xf5)
                len = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : 2;
            bool whole = len > 0 && i + len <= n;
            for (std::size_t k = 1; whole && k < len; ++k)
                whole = (at(i + k) & 0xc0) == 0x80;
            if (whole && len == 2 && c == 0xc2 && at(i + 1) < 0xa0)
                whole = false;
            if (!whole) {
                escape(c);
                ++i;
                continue;
            }
            out.append(text, i, len);
            i += len;
        }
    }
    return out;
}

} // namespace qm
