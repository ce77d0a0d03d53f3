// The qmspool commands that print on this machine: `print` (a job through CUPS) and `watch`
// (the Windows spooler's monitoring, headless, over the POSIX backend of the ports). They sit
// above the job monitor, which the portable commands of qmspool do not see.
#pragma once

#include <cstdio>

namespace qm::host {

// True when argv[1] names one of these commands.
bool is_host_command(const char* command);

// Runs `qmspool print ...` or `qmspool watch ...`; the process exit status.
int host_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

struct PrintRequest {
    const char* path = nullptr;
    const char* printer = nullptr; // null: CUPS's default
    const char* title = nullptr;   // null: the job file's name
};
int run_print(const PrintRequest& request, std::FILE* out, std::FILE* err);

struct WatchRequest {
    const char* install_folder = nullptr; // null: the settings file's
    const char* printer = nullptr;        // null: CUPS's default
};
// Runs until stop_watch() (SIGINT and SIGTERM call it once run_watch has set them up).
int run_watch(const WatchRequest& request, std::FILE* err);
void stop_watch();

} // namespace qm::host
