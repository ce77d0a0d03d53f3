// What the simulated and the POSIX backends share of the files and watch ports: both stand on a
// file system that is not the Windows one the program was made for, so both have to read its
// backslash paths and match names without regard to letter case; and, as the Windows backend
// does too, they keep a watch's fired state themselves (fired_state.h). For the backends only;
// the program's logic sees the ports alone.
#pragma once

#include <cstring>
#include <string>

#include "platform/common/fired_state.h"
#include "platform/files_port.h"

namespace qm::backend {

// The path as a POSIX file system names it: the program builds paths with backslashes.
std::string native_path(const char* path);

// Whether two names are the same with letter case ignored (ASCII letters, as the Windows file
// systems and registry fold the names the program looks for).
bool same_name_ignoring_case(const char* a, const char* b);

// Whether the program can be given the entry `name` in a listing: it fits a FolderEntry, and it
// holds no backslash. The program joins names with backslashes and these backends read each as
// a folder separator, so "x\..\..\y" would come back as a path outside the folder listed.
bool listable_name(const char* name);

// The look-up the Windows file systems make: among a folder's entries, `entry` (the listing's
// first) and those `next(&entry)` gives one by one (false at the end), the one spelled exactly
// `name`, else the first that differs from it in letter case only. True when there is one;
// `found` (may be null) then holds it.
template <typename Next>
bool find_matching_entry(const char* name, FolderEntry entry, Next&& next, FolderEntry* found)
{
    FolderEntry best{};
    bool matched = false;
    do {
        if (std::strcmp(entry.name, name) == 0) {
            best = entry;
            matched = true;
            break;
        }
        if (!matched && same_name_ignoring_case(entry.name, name)) {
            best = entry;
            matched = true;
        }
    } while (next(&entry));
    if (matched && found)
        *found = best;
    return matched;
}

} // namespace qm::backend
