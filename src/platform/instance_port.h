// The one spooler of a user's session. Two spoolers watching the same backup folders print every
// job twice, so the spooler claims the session's instance for its whole run, and a start that
// finds the instance claimed shows the spooler that holds it instead of running beside it.
#pragma once

#include <utility>

namespace qm {

struct InstanceClaimObject;
using InstanceClaim = InstanceClaimObject*; // a claim this process holds; null when none

enum class ClaimOutcome {
    Claimed,       // this process holds the instance now
    HeldElsewhere, // another process of the session holds it: a spooler already runs
    Unavailable,   // the platform cannot tell; the caller runs as if it were alone
};

// Claims the session's instance called `name` (a plain name, no path) for this process until
// the claim is released or the process ends. `*claim` is set only when the outcome is Claimed.
ClaimOutcome claim_instance(const char* name, InstanceClaim* claim);
void release_instance(InstanceClaim claim);

// Whether some process of the session holds the instance now; false when it cannot be told.
bool instance_claimed(const char* name);

// Brings the session's top-level window of class `class_name` to the front, restored when it
// is minimised. False when there is no such window.
bool bring_window_forward(const char* class_name);

// Owns a claim on the instance, for as long as it lives.
class InstanceClaimHandle {
public:
    InstanceClaimHandle() = default;
    explicit InstanceClaimHandle(InstanceClaim claim) : claim_(claim) {}
    ~InstanceClaimHandle() { reset(); }
    InstanceClaimHandle(InstanceClaimHandle&& other) noexcept
        : claim_(std::exchange(other.claim_, nullptr))
    {
    }
    InstanceClaimHandle& operator=(InstanceClaimHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            claim_ = std::exchange(other.claim_, nullptr);
        }
        return *this;
    }
    InstanceClaimHandle(const InstanceClaimHandle&) = delete;
    InstanceClaimHandle& operator=(const InstanceClaimHandle&) = delete;

    explicit operator bool() const { return claim_ != nullptr; }
    void reset()
    {
        if (claim_)
            release_instance(std::exchange(claim_, nullptr));
    }

private:
    InstanceClaim claim_ = nullptr;
};

} // namespace qm
