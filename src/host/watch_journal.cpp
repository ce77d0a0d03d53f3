#include "host/watch_journal.h"

#include <cstring>
#include <string>

#include "monitor/discovery.h"
#include "platform/files_port.h"
#include "platform/posix/posix.h"

namespace qm::host {
namespace {

bool is_dot_entry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool has_slot(const MonitorState& monitor, const char* name)
{
    for (int i = 0; i < monitor.MonitoredUserCount; ++i)
        if (std::strcmp(monitor.MonitoredUser[i].user_folder, name) == 0)
            return true;
    return false;
}

// The backup folder discovery would choose in `user_path`, as it chooses: "backup", else the
// first subfolder that holds the saved preferences. Empty when there is none.
std::string backup_folder_of(const char* user_path)
{
    FolderEntry found{};
    if (find_entry(user_path, "backup", &found))
        return found.name;
    FolderEntry entry{};
    FolderListing listing(user_path, &entry);
    if (!listing.started())
        return {};
    do {
        if (!entry.is_folder || is_dot_entry(entry.name))
            continue;
        const std::string candidate = std::string(user_path) + "\\" + entry.name;
        if (find_entry(candidate.c_str(), "Saved_Preferences.PRC", nullptr))
            return entry.name;
    } while (listing.next(&entry));
    return {};
}

// Why discovery gave the user folder `name` no slot.
const char* why_skipped(const MonitorState& monitor, const char* name)
{
    char user_path[PathBufferSize];
    if (!fit_user_path(monitor.InstallFolder, name, user_path))
        return "its name is longer than the 49 characters a user's name may have";
    const std::string backup = backup_folder_of(user_path);
    if (backup.empty())
        return "it holds no 'backup' folder and no folder with Saved_Preferences.PRC in it";
    char watched[PathBufferSize];
    if (backup.size() >= sizeof MonitoredUserSlot{}.backup_folder ||
        !fit_watched_path(monitor.InstallFolder, name, backup.c_str(), watched))
        return "the path of its backup folder is too long";
    if (monitor.MonitoredUserCount >= MaxMonitoredUsers)
        return "50 user folders are watched at most";
    return "it could not be taken";
}

} // namespace

void log_skipped_user_folders(const MonitorState& monitor)
{
    FolderEntry entry{};
    FolderListing listing(monitor.InstallFolder, &entry);
    if (!listing.started())
        return;
    do {
        if (!entry.is_folder || is_dot_entry(entry.name) || has_slot(monitor, entry.name))
            continue;
        const std::string folder =
            posix::native_path(monitor.InstallFolder) + "/" + entry.name;
        const std::string line =
            "skipped user folder '" + folder + "': " + why_skipped(monitor, entry.name);
        posix::log_line(line.c_str());
    } while (listing.next(&entry));
}

} // namespace qm::host
