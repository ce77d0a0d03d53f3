// One `qmspool watch` per install folder and user: two would both print every job. The lock is
// an flock() on a file of the user's runtime folder named after the folder's canonical path, so
// the kernel drops it when its process ends, however it ends: a file left behind never blocks.
// The file holds the holder's PID, for the refusal to name it. Nothing is written in the
// install folder.
#pragma once

#include <string>

namespace qm::host {

class WatchLock {
public:
    enum class Outcome {
        Held,        // this process holds the lock until the object goes
        HeldByOther, // another process holds it; `detail` is its PID
        Unavailable  // no lock could be had (`detail` says why); nothing is held
    };

    WatchLock() = default;
    ~WatchLock();
    WatchLock(const WatchLock&) = delete;
    WatchLock& operator=(const WatchLock&) = delete;

    // Takes the lock of `folder`, a canonical path.
    Outcome take(const std::string& folder, std::string& detail);

private:
    int fd_ = -1;
};

} // namespace qm::host
