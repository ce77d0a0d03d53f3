#include "monitor/discovery.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "monitor/monitor_state.h"
#include "platform/files_port.h"
#include "platform/settings_port.h"
#include "platform/ui_port.h"
#include "platform/watch_port.h"

namespace qm {

const char* const SpoolFileNames[2] = {"Quillmark Spool File.pdb", "Quillmark_Spool_File.pdb"};

namespace {

constexpr char BackupName[] = "backup";
constexpr char PreferencesName[] = "Saved_Preferences.PRC";
constexpr char MonitorFailPrefix[] = "Monitor Fail: ";

// snprintf that tells whether the whole text fitted.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
bool format_path(char* out, std::size_t size, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out, size, format, args);
    va_end(args);
    return n >= 0 && static_cast<std::size_t>(n) < size;
}

bool is_dot_entry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The longest spool file name, so that every path the job detection later builds from a slot
// is known to fit its buffer.
std::size_t longest_spool_name()
{
    const std::size_t a = std::strlen(SpoolFileNames[0]);
    const std::size_t b = std::strlen(SpoolFileNames[1]);
    return a > b ? a : b;
}

enum class BackupChoice { Found, TooLong, None };

// Picks the user's backup folder: an entry named "backup" when there is one, else the first
// subfolder, in listing order, that holds the saved preferences and whose name fits its field.
// TooLong when there is none but for a name too long for the field.
BackupChoice choose_backup_folder(const char* user_path, char (&backup)[200])
{
    FolderEntry found{};
    if (find_entry(user_path, BackupName, &found)) {
        // Keep the name as the folder stores it, so the paths built from it name it exactly.
        return format_path(backup, sizeof backup, "%s", found.name) ? BackupChoice::Found
                                                                    : BackupChoice::TooLong;
    }

    FolderEntry entry{};
    FolderListing listing(user_path, &entry);
    if (!listing.started())
        return BackupChoice::None;
    BackupChoice choice = BackupChoice::None;
    char candidate[PathBufferSize];
    do {
        if (!entry.is_folder || is_dot_entry(entry.name))
            continue;
        if (!format_path(candidate, sizeof candidate, "%s\\%s", user_path, entry.name) ||
            !find_entry(candidate, PreferencesName, nullptr))
            continue;
        if (format_path(backup, sizeof backup, "%s", entry.name))
            return BackupChoice::Found;
        choice = BackupChoice::TooLong;
    } while (listing.next(&entry));
    return choice;
}

// Whether the user folder `user_name` can have a slot, and its backup folder's name and watched
// path when it can.
bool check_user(const char* install_folder, const char* user_name, char (&backup)[200],
                char (&watched)[PathBufferSize], SkipReason* why)
{
    char user_path[PathBufferSize];
    if (!fit_user_path(install_folder, user_name, user_path)) {
        *why = SkipReason::NameTooLong;
        return false;
    }
    const BackupChoice choice = choose_backup_folder(user_path, backup);
    if (choice != BackupChoice::Found) {
        *why = choice == BackupChoice::None ? SkipReason::NoBackupFolder
                                            : SkipReason::BackupPathTooLong;
        return false;
    }
    if (!fit_watched_path(install_folder, user_name, backup, watched)) {
        *why = SkipReason::BackupPathTooLong;
        return false;
    }
    return true;
}

// Deletes a spool file left in the folder from before this run. The watch is already open, so
// the deletion fires it; the first tick then finds nothing to print.
void delete_stale_spool_file(const char* watched_path, const char* name)
{
    char path[PathBufferSize];
    if (!format_path(path, sizeof path, "%s\\%s", watched_path, name))
        return;
    if (can_open_for_reading(path))
        delete_file(path);
}

// Fills the next slot for one user folder; false, and why, when the folder gives no slot.
bool add_user(MonitorState& monitor, const char* user_name, StaleSpoolFiles stale, SkipReason* why)
{
    MonitoredUserSlot& slot = monitor.MonitoredUser[monitor.MonitoredUserCount];
    char backup[200] = {};
    char watched[PathBufferSize];
    if (!check_user(monitor.InstallFolder, user_name, backup, watched, why))
        return false;

    slot = MonitoredUserSlot{};
    format_path(slot.backup_folder, sizeof slot.backup_folder, "%s", backup);
    format_path(slot.user_folder, sizeof slot.user_folder, "%s", user_name);

    slot.watch_handle = ChangeWatch(open_change_watch(watched));
    // The status line is only shown; a path too long for it is shown cut short.
    if (slot.watch_handle) {
        arm_change_watch(slot.watch_handle.get());
        format_path(slot.status_line, sizeof slot.status_line, "%s", watched);
    } else {
        format_path(slot.status_line, sizeof slot.status_line, "%s%s", MonitorFailPrefix, watched);
    }

    if (stale == StaleSpoolFiles::Delete) {
        delete_stale_spool_file(watched, SpoolFileNames[1]);
        delete_stale_spool_file(watched, SpoolFileNames[0]);
    }

    slot.seen_stamp[0] = -1;
    slot.seen_stamp[1] = -1;
    ++monitor.MonitoredUserCount;
    return true;
}

// Gives each user folder of the install folder a slot, in listing order, until the slots run out.
void add_users(MonitorState& monitor, StaleSpoolFiles stale,
               std::vector<SkippedUserFolder>* skipped)
{
    monitor.MonitoredUserCount = 0;
    FolderEntry entry{};
    FolderListing listing(monitor.InstallFolder, &entry);
    bool more = listing.started();
    while (more) {
        if (entry.is_folder && !is_dot_entry(entry.name)) {
            SkipReason why{};
            if (!add_user(monitor, entry.name, stale, &why) && skipped)
                skipped->push_back(SkippedUserFolder{entry.name, why});
        }
        if (monitor.MonitoredUserCount >= MaxMonitoredUsers)
            break;
        more = listing.next(&entry);
    }
    // Only when asked: the folders after the last slot are otherwise never looked at.
    while (skipped && more && listing.next(&entry)) {
        if (!entry.is_folder || is_dot_entry(entry.name))
            continue;
        char backup[200] = {};
        char watched[PathBufferSize];
        SkipReason why = SkipReason::TooManyUsers;
        check_user(monitor.InstallFolder, entry.name, backup, watched, &why);
        skipped->push_back(SkippedUserFolder{entry.name, why});
    }
}

// A value under a key written as its four names joined by backslashes.
int read_key_value(const char* key, const char* name, char* dest, std::size_t size)
{
    char parts[4][64] = {};
    int n = 0;
    for (const char* p = key; *p && n < 4; ++n) {
        const char* end = std::strchr(p, '\\');
        const std::size_t length = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        std::snprintf(parts[n], sizeof parts[n], "%.*s", static_cast<int>(length), p);
        p = end ? end + 1 : p + length;
    }
    return read_registry_value(parts[0], parts[1], parts[2], parts[3], name, dest, size);
}

} // namespace

bool locate_install_folder(MonitorState& monitor, const char* given)
{
    char* dest = monitor.InstallFolder;
    const std::size_t size = sizeof monitor.InstallFolder;
    if (given) {
        // Never cut short: a cut path names another folder.
        if (format_path(dest, size, "%s", given))
            return true;
        dest[0] = '\0';
        return false;
    }
    if (read_key_value(SyncCoreKey, SyncPathValue, dest, size) != 0 &&
        read_key_value(SyncCoreKeyBefore, SyncPathValue, dest, size) != 0)
        return false;
    // A value that fills the whole buffer has no room left for its end.
    dest[size - 1] = '\0';
    return true;
}

bool fit_user_path(const char* install_folder, const char* user_name,
                   char (&user_path)[PathBufferSize])
{
    if (std::strlen(user_name) >= sizeof MonitoredUserSlot{}.user_folder)
        return false;
    return format_path(user_path, sizeof user_path, "%s\\%s", install_folder, user_name);
}

bool fit_watched_path(const char* install_folder, const char* user_name, const char* backup,
                      char (&watched)[PathBufferSize])
{
    if (!format_path(watched, sizeof watched, "%s\\%s\\%s", install_folder, user_name, backup))
        return false;
    return std::strlen(watched) + 1 + longest_spool_name() < PathBufferSize;
}

int discover_user_folders(MonitorState& monitor, Window main_window, StaleSpoolFiles stale,
                          const char* given, std::vector<SkippedUserFolder>* skipped)
{
    if (!locate_install_folder(monitor, given)) {
        show_window(main_window, ShowNormal);
        show_notice(Notice{NoticeKind::NoInstallFolder, SyncCoreKey});
        return -1;
    }

    add_users(monitor, stale, skipped);

    if (monitor.MonitoredUserCount == 0) {
        show_window(main_window, ShowNormal);
        show_notice(Notice{NoticeKind::NoUserFolders, SyncCoreKey});
    }
    return 0;
}

} // namespace qm
