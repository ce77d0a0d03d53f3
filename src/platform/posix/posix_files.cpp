// Files and folders through POSIX, and change watches through inotify.
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>

#include "platform/files_port.h"
#include "platform/posix/posix.h"
#include "platform/watch_port.h"

namespace qm {

struct ListingObject {
    DIR* dir = nullptr;
    std::string folder;
};

// An inotify instance of its own per watch, so that each fires and is re-armed alone.
struct WatchObject {
    int fd = -1;
    bool fired = false;
};

namespace posix {

std::string native_path(const char* path)
{
    std::string p = path ? path : "";
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

} // namespace posix

namespace {

bool is_folder(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool read_entry(ListingObject* listing, FolderEntry* entry)
{
    while (dirent* e = readdir(listing->dir)) {
        if (std::strlen(e->d_name) >= sizeof entry->name)
            continue; // a name the program could not hold; it names nothing it looks for
        std::snprintf(entry->name, sizeof entry->name, "%s", e->d_name);
        entry->is_folder = e->d_type == DT_DIR ||
                           ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) &&
                            is_folder(listing->folder + "/" + e->d_name));
        return true;
    }
    return false;
}

// Takes every event waiting on the watch; true when there was one.
bool drain(int fd)
{
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return any;
    }
}

} // namespace

ListingHandle begin_listing(const char* folder, FolderEntry* first)
{
    auto* listing = new (std::nothrow) ListingObject;
    if (!listing)
        return nullptr;
    listing->folder = posix::native_path(folder);
    listing->dir = opendir(listing->folder.c_str());
    if (!listing->dir || !read_entry(listing, first)) {
        end_listing(listing);
        return nullptr;
    }
    return listing;
}

bool next_listing_entry(ListingHandle listing, FolderEntry* entry)
{
    return listing && read_entry(listing, entry);
}

void end_listing(ListingHandle listing)
{
    if (listing && listing->dir)
        closedir(listing->dir);
    delete listing;
}

bool find_entry(const char* folder, const char* name, FolderEntry* found)
{
    FolderEntry entry{};
    FolderListing listing(folder, &entry);
    if (!listing.started())
        return false;
    // An exact match wins over one that differs in letter case only: this file system tells
    // them apart, the Windows ones the program was made for do not.
    bool matched = false;
    FolderEntry best{};
    do {
        if (std::strcmp(entry.name, name) == 0) {
            best = entry;
            matched = true;
            break;
        }
        if (!matched && strcasecmp(entry.name, name) == 0) {
            best = entry;
            matched = true;
        }
    } while (listing.next(&entry));
    if (matched && found)
        *found = best;
    return matched;
}

bool can_open_for_reading(const char* path)
{
    const std::string p = posix::native_path(path);
    struct stat st{};
    if (stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

int delete_file(const char* path)
{
    return unlink(posix::native_path(path).c_str()) == 0 ? 0 : -1;
}

int full_path(const char* path, char* out, std::size_t size)
{
    std::string p = posix::native_path(path);
    if (p.empty())
        return -1;
    if (p[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return -1;
        p = std::string(cwd) + "/" + p;
    }
    if (p.size() >= size)
        return -1;
    std::memcpy(out, p.c_str(), p.size() + 1);
    return 0;
}

int read_last_write_time(const char* path, std::uint64_t* time)
{
    const std::string p = posix::native_path(path);
    const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    // The Windows program reads the time through an open that shares the file with nobody, so
    // that a file the synchronisation still has open is left for a later look. A write lease is
    // granted only while nobody else has the file open: the same question. Where leases are not
    // to be had (another owner's file, a file system without them) the time is read anyway.
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
    } else if (errno == EAGAIN || errno == EBUSY) {
        close(fd);
        return -1;
    }
    struct stat st{};
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    if (!ok)
        return -1;
    // In 100 ns units from the Unix epoch: only comparisons between such times matter.
    *time = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 10000000u +
            static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100u;
    return 0;
}

std::FILE* open_file(const char* path, const char* mode)
{
    return std::fopen(posix::native_path(path).c_str(), mode);
}

WatchHandle open_change_watch(const char* folder)
{
    const std::string p = posix::native_path(folder);
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Names that come and go and contents written, in the folder itself (not its subfolders),
    // as the Windows watch asks for; and the folder itself going away.
    const std::uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                               IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (inotify_add_watch(fd, p.c_str(), mask) < 0) {
        close(fd);
        return nullptr;
    }
    auto* watch = new (std::nothrow) WatchObject{fd, false};
    if (!watch)
        close(fd);
    return watch;
}

int arm_change_watch(WatchHandle watch)
{
    if (!watch)
        return -1;
    // A change made while the watch was fired fires it again at once.
    watch->fired = drain(watch->fd);
    return 0;
}

void close_change_watch(WatchHandle watch)
{
    if (!watch)
        return;
    close(watch->fd);
    delete watch;
}

int poll_change_watches(const WatchHandle* watches, int count)
{
    if (count <= 0)
        return PollFailed;
    for (int i = 0; i < count; ++i) {
        WatchObject* w = watches[i];
        if (w && (w->fired || drain(w->fd))) {
            w->fired = true;
            return i;
        }
    }
    return PollNothingFired;
}

} // namespace qm
