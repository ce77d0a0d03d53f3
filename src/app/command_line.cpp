#include "app/command_line.h"

#include <cstring>

namespace qm {

namespace {

constexpr char Option[] = "-t ";

bool ends_program_name(const char* p)
{
    // The program's file name ends in ".exe", whatever the letter case.
    const char ext[] = ".exe";
    for (int i = 0; i < 4; ++i) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != ext[i])
            return false;
    }
    return true;
}

// Where the search for the option starts: just behind the program's own path, so that a
// program folder whose name holds "-t " is not taken for the option.
const char* after_program_path(const char* line, bool* whole_line_quoted)
{
    *whole_line_quoted = false;
    if (line[0] != '"') {
        // An unquoted program path ends at the first blank.
        const char* p = line;
        while (*p && *p != ' ' && *p != '\t')
            ++p;
        return p;
    }
    const char* close = std::strchr(line + 1, '"');
    if (close && close[1] != '\0')
        return close + 1;
    // The quotes enclose the whole line (or never close): the arguments are inside them. Skip
    // the program's file name when it can be recognised, else search from inside the quote.
    *whole_line_quoted = true;
    for (const char* p = line + 1; *p && p != close; ++p) {
        if (ends_program_name(p))
            return p + 4;
    }
    return line + 1;
}

} // namespace

bool take_print_path(const char* command_line, char* out, std::size_t size)
{
    if (size == 0)
        return false;
    out[0] = '\0';
    if (!command_line)
        return true;

    bool whole_line_quoted = false;
    const char* from = after_program_path(command_line, &whole_line_quoted);
    const char* match = std::strstr(from, Option);
    if (!match)
        return true;
    const char* path = match + (sizeof Option - 1);
    std::size_t length = std::strlen(path);

    // Drop a double quote only where it closes quoted text: the quotes of a quoted job path, or
    // the quote that closes a line quoted as a whole. An unquoted path keeps every character.
    if (length >= 2 && path[0] == '"' && path[length - 1] == '"') {
        ++path;
        length -= 2;
    } else if (whole_line_quoted && length >= 1 && path[length - 1] == '"') {
        --length;
    }

    if (length >= size)
        return false;
    std::memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

} // namespace qm
