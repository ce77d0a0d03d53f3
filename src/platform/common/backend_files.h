// What the simulated and the POSIX backends share of the files and watch ports: both stand on a
// file system that is not the Windows one the program was made for, so both have to read its
// backslash paths, match names without regard to letter case, and keep a watch's fired state
// themselves. For the backends only; the program's logic sees the ports alone.
#pragma once

#include <cstring>
#include <string>

#include "platform/files_port.h"
#include "platform/watch_port.h"

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

// A watch's state between the changes its backend sees and the program's polls and arms. It is
// fired until armed again. A change made once a poll has reported the firing (the program may be
// looking at the folder already) fires it again as soon as it is armed; one made before that is
// part of the firing the program is about to look at.
class FiredState {
public:
    void change()
    {
        if (reported_)
            again_ = true;
        else
            fired_ = true;
    }
    // Fired afresh, whatever was seen before (a folder watched again after it went).
    void restart()
    {
        fired_ = true;
        reported_ = false;
        again_ = false;
    }
    void arm()
    {
        fired_ = again_;
        again_ = false;
        reported_ = false;
    }
    bool fired() const { return fired_; }
    // A poll names the watch: later changes fire it again once armed.
    void report() { reported_ = true; }

private:
    bool fired_ = false;
    bool reported_ = false;
    bool again_ = false;
};

// poll_change_watches over `state_of(watch)`, the FiredState of each watch that is not null.
template <typename StateOf>
int poll_fired(const WatchHandle* watches, int count, StateOf&& state_of)
{
    if (count <= 0)
        return PollFailed;
    for (int i = 0; i < count; ++i) {
        if (!watches[i])
            continue;
        FiredState& state = state_of(watches[i]);
        if (state.fired()) {
            state.report();
            return i;
        }
    }
    return PollNothingFired;
}

} // namespace qm::backend
