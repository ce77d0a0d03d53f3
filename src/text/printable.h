// Names from outside (files, folders, printers) as they are shown in one line of a terminal or a
// log: a name with a line end in it cannot make two lines or forge one, and one with a terminal's
// control sequence in it cannot act on the screen.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// The text with its control characters and backslashes written as C escapes (\n, \t, \\, \xNN),
// and the C1 controls and bytes that are not whole UTF-8 as \xNN; the rest of UTF-8 as it is.
// On Windows, whose paths separate folders with backslashes, a backslash is left as it is.
std::string printable(std::string_view text);

} // namespace qm
