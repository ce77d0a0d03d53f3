// The simulated session's one spooler: a claim the program takes, and another spooler that a
// test says runs (or not), with a window the program can bring forward.
#include <string>

#include "platform/instance_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"

namespace qm {
namespace sim {

// A claim is a token (the state's instance_claim); the count in the state says how many are held.

void set_other_spooler(const OtherSpooler& other)
{
    state().other_spooler = other;
}

const OtherSpooler& other_spooler()
{
    return state().other_spooler;
}

bool instance_held()
{
    return state().instance_claims > 0;
}

} // namespace sim

using sim::record;
using sim::state;

ClaimOutcome claim_instance(const char* name, InstanceClaim* claim)
{
    record(std::string("claim_instance ") + name);
    if (state().other_spooler.unavailable)
        return ClaimOutcome::Unavailable;
    if (state().other_spooler.running || state().instance_claims > 0)
        return ClaimOutcome::HeldElsewhere;
    ++state().instance_claims;
    *claim = reinterpret_cast<InstanceClaim>(&state().instance_claim);
    return ClaimOutcome::Claimed;
}

void release_instance(InstanceClaim claim)
{
    record("release_instance");
    if (claim && state().instance_claims > 0)
        --state().instance_claims;
}

bool instance_claimed(const char* name)
{
    record(std::string("instance_claimed ") + name);
    return !state().other_spooler.unavailable &&
           (state().other_spooler.running || state().instance_claims > 0);
}

bool bring_window_forward(const char* class_name)
{
    record(std::string("bring_forward ") + class_name);
    sim::OtherSpooler& other = state().other_spooler;
    if (!other.running || !other.has_window)
        return false;
    other.minimized = false;
    other.foreground = true;
    return true;
}

} // namespace qm
