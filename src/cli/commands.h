// The qmspool commands, callable from tests with their own output streams.
#pragma once

#include <cstdio>

namespace qm::cli {

// Lists the records of FILE. Returns the process exit status.
int run_info(const char* path, std::FILE* out, std::FILE* err);

} // namespace qm::cli
