// `qmspool config`: the install folder that `watch` reads, stored in and shown from the settings
// file, so that nobody has to write its registry-style key by hand.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/output_file.h"
#include "host/host_commands.h"
#include "host/services/settings_file.h"
#include "monitor/discovery.h"
#include "monitor/monitor_state.h"
#include "platform/posix/posix.h"
#include "text/printable.h"

namespace qm::host {
namespace {

void configure_backend(std::FILE* err)
{
    posix::Options options;
    options.log = err;
    options.log_prefix = "qmspool config: ";
    posix::configure(options);
}

// Why `path` cannot be stored so that `watch` reads it back as the same folder; null when it can.
const char* unstorable(const std::string& path)
{
    for (const char c : path)
        if (std::iscntrl(static_cast<unsigned char>(c)))
            return "a control character in its name would end the settings file's line";
    if (std::isspace(static_cast<unsigned char>(path.back())))
        return "a space at the end of its name would be lost";
    // The monitor joins names with backslashes and the backend reads each as a separator.
    if (path.find('\\') != std::string::npos)
        return "a backslash in its name would be read as a folder separator";
    if (path.size() >= sizeof(MonitorState::InstallFolder))
        return "its name is too long";
    return nullptr;
}

} // namespace

int run_config_show(std::FILE* out, std::FILE* err)
{
    configure_backend(err);
    // A file that cannot be read is not one that names no folder: `watch` would find none in
    // it either, and the user is told what to mend.
    const std::string unreadable = posix::settings_file_unreadable();
    if (!unreadable.empty()) {
        std::fprintf(err, "qmspool config: cannot read the settings file '%s': %s\n",
                     printable(posix::settings_file_path()).c_str(), unreadable.c_str());
        return 1;
    }
    std::fprintf(out, "settings file: %s\n", printable(posix::settings_file_path()).c_str());
    MonitorState monitor;
    if (locate_install_folder(monitor))
        std::fprintf(out, "install-folder: %s\n", printable(monitor.InstallFolder).c_str());
    else
        std::fputs("install-folder: not set (qmspool config install-folder DIR)\n", out);
    return cli::finish_output(out, err) ? 0 : 1;
}

int run_config_install_folder(const char* folder, std::FILE* out, std::FILE* err)
{
    configure_backend(err);
    // Stored as one absolute path, however it was named: `watch` runs from anywhere.
    char* resolved = realpath(folder, nullptr);
    if (!resolved) {
        std::fprintf(err, "qmspool config: install folder '%s': %s\n",
                     printable(folder).c_str(), std::strerror(errno));
        return 1;
    }
    const std::string path = resolved;
    std::free(resolved);
    struct stat st{};
    const char* why = stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)
                          ? "not a folder"
                          : unstorable(path);
    if (why) {
        std::fprintf(err, "qmspool config: install folder '%s' not stored: %s\n",
                     printable(path).c_str(), why);
        return 1;
    }
    std::string failure;
    if (!store_setting(SyncCoreKey, SyncPathValue, path, failure)) {
        std::fprintf(err, "qmspool config: %s\n", printable(failure).c_str());
        return 1;
    }
    return run_config_show(out, err);
}

} // namespace qm::host
