// A change watch's fired state as every backend keeps it, whatever tells it of changes
// (inotify, the Windows change notifications, or a test): fired until the program arms it again,
// and fired again at once by a change made after a poll reported it. Header-only, so that the
// Windows backend shares it without the POSIX-side helpers.
#pragma once

#include "platform/watch_port.h"

namespace qm::backend {

// A watch's state between the changes its backend sees and the program's polls and arms. It is
// fired until armed again. A change made once a poll has reported the firing (the program may be
// looking at the folder already) fires it again as soon as it is armed; one made before that is
// part of the firing the program is about to look at. Arming clears only a firing that a poll
// has reported: the program also arms a watch after looking at its folder on a tick on which no
// poll named it, and a change made meanwhile (during that look's job) is still to be looked at.
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
        if (!reported_)
            return;
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
