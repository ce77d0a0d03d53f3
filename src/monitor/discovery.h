// Finding the install folder and every user's backup folder, once, at start-up.
#pragma once

#include <string>
#include <vector>

#include "monitor/monitor_state.h"
#include "platform/handles.h"

namespace qm {

// The two names under which a spool file arrives in a backup folder, in the order they are
// examined (the index of each is its seen_stamp index).
extern const char* const SpoolFileNames[2];

// What discovery does with the spool files it finds in the backup folders. A spooler that starts
// alone deletes them: they are left from before it ran. A start beside a running spooler keeps
// them, for they may be jobs that spooler is about to print.
enum class StaleSpoolFiles { Delete, Keep };

// Why discovery gave a folder of the install folder no slot.
enum class SkipReason {
    NameTooLong,       // the user's name does not fit its field
    NoBackupFolder,    // neither "backup" nor a folder with the saved preferences
    BackupPathTooLong, // the backup folder's name or watched path does not fit
    TooManyUsers,      // every slot was taken before it
};
struct SkippedUserFolder {
    std::string name;
    SkipReason reason;
};

// The desktop sync's keys (under the current user) whose Path value names its install folder,
// asked in this order: its own, then the one of its earlier maker.
inline constexpr char SyncCoreKey[] = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
inline constexpr char SyncCoreKeyBefore[] = "Software\\3Com\\Palm Desktop\\Core";
inline constexpr char SyncPathValue[] = "Path";

// Fills monitor.InstallFolder: with `given` when there is one (qmspool watch's --install-folder),
// else with the folder the settings name. False when the settings name none, or when `given`
// does not fit the buffer.
bool locate_install_folder(MonitorState& monitor, const char* given = nullptr);

// Locates the install folder (as locate_install_folder, from `given` or the settings), fills the
// MonitoredUser table, opens and arms a change watch per backup folder and deletes spool files
// left over from before (unless told to keep them). -1 when the install folder cannot be found
// (the user has been told, over `main_window` shown restored); 0 otherwise, also when no user
// was found. With `skipped`, each folder given no slot is added to it with the reason, in
// listing order, those after the last slot was taken included.
int discover_user_folders(MonitorState& monitor, Window main_window,
                          StaleSpoolFiles stale = StaleSpoolFiles::Delete,
                          const char* given = nullptr,
                          std::vector<SkippedUserFolder>* skipped = nullptr);

// The name fitting of a user's slot, apart from the file system so that it can be fuzzed. The
// user folder's path, false when the name does not fit the slot's field or the path its buffer.
bool fit_user_path(const char* install_folder, const char* user_name,
                   char (&user_path)[PathBufferSize]);
// The watched backup folder's path, false when it would not fit with room for a spool file's
// name after it (every path the job detection builds from the slot then fits).
bool fit_watched_path(const char* install_folder, const char* user_name, const char* backup,
                      char (&watched)[PathBufferSize]);

} // namespace qm
