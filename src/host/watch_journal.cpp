#include "host/watch_journal.h"

#include <string>

#include "platform/posix/posix.h"

namespace qm::host {
namespace {

std::string why(SkipReason reason)
{
    switch (reason) {
    case SkipReason::NameTooLong:
        return "its name is longer than the " +
               std::to_string(sizeof MonitoredUserSlot{}.user_folder - 1) +
               " characters a user's name may have";
    case SkipReason::NoBackupFolder:
        return "it holds no 'backup' folder and no folder with Saved_Preferences.PRC in it";
    case SkipReason::BackupPathTooLong:
        return "the path of its backup folder is too long";
    case SkipReason::TooManyUsers:
        return std::to_string(MaxMonitoredUsers) + " user folders are watched at most";
    }
    return "it could not be taken";
}

} // namespace

void log_skipped_user_folders(const MonitorState& monitor,
                              const std::vector<SkippedUserFolder>& skipped)
{
    for (const SkippedUserFolder& s : skipped) {
        const std::string line = "skipped user folder '" +
                                 posix::native_path(monitor.InstallFolder) + "/" + s.name +
                                 "': " + why(s.reason);
        posix::log_line(line.c_str());
    }
}

} // namespace qm::host
