// The program's one command-line option: "-t " followed by the path of a spool file to print.
#pragma once

#include <cstddef>

namespace qm {

// Takes the job path out of the whole command line (program path included) into `out` of
// `size` bytes. `out` is left empty when there is no "-t " after the program's own path, and
// also when the path would not fit: a shortened path would name another file. False in that
// last case only, so that the refusal can be told.
bool take_print_path(const char* command_line, char* out, std::size_t size);

} // namespace qm
