// State shared by the simulated backend's sources.
#pragma once

#include <string>

namespace qm::sim {

void record(std::string call);
void reset_files();

} // namespace qm::sim
