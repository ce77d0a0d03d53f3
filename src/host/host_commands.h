// The qmspool commands that print on this machine: `print` (a job through CUPS), `watch` (the
// Windows spooler's monitoring, headless, over the POSIX backend of the ports) and `config`
// (the settings file `watch` reads). They sit above the job monitor, which the portable
// commands of qmspool do not see.
#pragma once

#include <cstdio>
#include <span>

#include "cli/command_table.h"

namespace qm::host {

// Their rows of qmspool's command table, which it lists after the portable ones.
std::span<const cli::Command> commands();

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
// The exit status of a watch that has nothing to watch: no install folder is set, or it holds
// no user folder. A restart cannot mend that, so the user service ends cleanly on it rather
// than start again and again (sysexits' EX_CONFIG).
inline constexpr int WatchNotConfigured = 78;

// Runs until stop_watch() (SIGINT and SIGTERM call it once run_watch has set them up).
int run_watch(const WatchRequest& request, std::FILE* err);
void stop_watch();

// `qmspool config`: what the settings file holds; `qmspool config install-folder DIR`: stores
// DIR there as the install folder `watch` reads.
int run_config_show(std::FILE* out, std::FILE* err);
int run_config_install_folder(const char* folder, std::FILE* out, std::FILE* err);

} // namespace qm::host
