// Change watches: one per folder, firing when a file in that folder (not in its subfolders) is
// created, deleted, renamed or written. A fired watch stays fired until it is armed again after
// a poll reported it; a change made once a poll has reported it (while the program looks at the
// folder) makes it fire again as soon as it is armed, and a firing that no poll has reported yet
// outlasts an arm. tests/contract holds every backend to this.
#pragma once

#include <utility>

#include "platform/handles.h"

namespace qm {

// Null when the folder cannot be watched (missing, or not a folder).
WatchHandle open_change_watch(const char* folder);
// Re-arms a watch: clears a firing that a poll has reported. 0, or -1 on failure.
int arm_change_watch(WatchHandle watch);
void close_change_watch(WatchHandle watch);

enum : int { PollFailed = -1, PollNothingFired = -2 };
// Looks at `count` watches without waiting: the lowest index among them that has fired,
// PollNothingFired, or PollFailed (also when count is 0). Null watches never fire.
int poll_change_watches(const WatchHandle* watches, int count);

// Owns one change watch.
class ChangeWatch {
public:
    ChangeWatch() = default;
    explicit ChangeWatch(WatchHandle handle) : handle_(handle) {}
    ~ChangeWatch() { reset(); }
    ChangeWatch(ChangeWatch&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    ChangeWatch& operator=(ChangeWatch&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    WatchHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset()
    {
        if (handle_)
            close_change_watch(std::exchange(handle_, nullptr));
    }

private:
    WatchHandle handle_ = nullptr;
};

} // namespace qm
