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
#include <set>
#include <string>
#include <vector>

#include "platform/common/backend_files.h"
#include "platform/files_port.h"
#include "platform/posix/posix.h"
#include "platform/posix/posix_internal.h"
#include "platform/watch_port.h"

namespace qm::posix {

// A watch on one folder. Every watch of the process shares one inotify instance: the instances
// a user may have are few (128 by default) and shared with everything else the user runs.
struct Watch {
    std::string folder; // as this system names it
    int wd = -1;        // -1: the folder went; it is looked for again at each poll
    backend::FiredState state;
    int retry_errno = 0; // why the last attempt to watch it again failed, once said
};

// The ports hand watches out as their opaque handles.
Watch* watch_of(WatchHandle handle)
{
    return reinterpret_cast<Watch*>(handle);
}
WatchHandle handle_of(Watch* watch)
{
    return reinterpret_cast<WatchHandle>(watch);
}

namespace {

struct Listing {
    DIR* dir = nullptr;
    std::string folder;
};

// The ports hand these out as their opaque handles.
Listing* listing_of(ListingHandle handle)
{
    return reinterpret_cast<Listing*>(handle);
}
ListingHandle handle_of(Listing* listing)
{
    return reinterpret_cast<ListingHandle>(listing);
}

} // namespace

std::string native_path(const char* path)
{
    return backend::native_path(path);
}

namespace {

// Names that come and go and contents written, in the folder itself (not its subfolders), as
// the Windows watch asks for; and the folder itself going away.
constexpr std::uint32_t WatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                    IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF |
                                    IN_ONLYDIR;

FilesState& files()
{
    return state().files;
}

bool is_folder(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool read_entry(Listing* listing, FolderEntry* entry)
{
    while (dirent* e = readdir(listing->dir)) {
        const std::string path = listing->folder + "/" + e->d_name;
        if (!backend::listable_name(e->d_name)) {
            // A folder with a backslash in its name is said once: it may be a user's.
            if (std::strchr(e->d_name, '\\') && is_folder(path) &&
                files().skipped.insert(path).second)
                log_line(("skipped '" + path +
                          "': a backslash in its name would be read as a folder separator")
                             .c_str());
            continue;
        }
        const bool folder = e->d_type == DT_DIR ||
                            ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) && is_folder(path));
        std::snprintf(entry->name, sizeof entry->name, "%s", e->d_name);
        entry->is_folder = folder;
        return true;
    }
    return false;
}

// Opens a regular file for reading without ever waiting: a FIFO, socket or device under the
// name, even one put there after the look before the open, is refused rather than read.
int open_regular(const std::string& path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string with_hint(int error)
{
    std::string why = std::strerror(error);
    if (error == ENOSPC)
        why += " (the limit of inotify watches, fs.inotify.max_user_watches, is reached)";
    else if (error == EMFILE)
        why += " (the limit of inotify instances or of open files is reached)";
    return why;
}

// The folder is no longer the one watched: deleted, moved away or unmounted. It fires, so that
// a look at it finds what went; the next polls watch it again once it is there again.
void lose_folder(Watch* w)
{
    if (w->wd < 0)
        return;
    w->wd = -1;
    w->retry_errno = 0;
    w->state.change();
    log_line(("'" + w->folder + "' went; it is watched again once it is there again").c_str());
}

void take_event(const inotify_event& e)
{
    FilesState& s = files();
    if (e.mask & IN_Q_OVERFLOW) {
        // Events were lost: any folder may have changed.
        for (Watch* w : s.watches)
            w->state.change();
        return;
    }
    // A folder moved away keeps its watch, which would then follow it wherever it went: take
    // the watch off, so that the folder made again under the name is watched instead.
    if ((e.mask & IN_MOVE_SELF) && !(e.mask & IN_IGNORED))
        inotify_rm_watch(s.inotify, e.wd);
    for (Watch* w : s.watches) {
        if (w->wd != e.wd)
            continue;
        if (e.mask & (IN_IGNORED | IN_MOVE_SELF))
            lose_folder(w);
        else
            w->state.change();
    }
}

// Takes every event waiting on the instance and hands each to its watches.
void drain()
{
    FilesState& s = files();
    if (s.inotify < 0)
        return;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(s.inotify, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event e;
            std::memcpy(&e, buffer + at, sizeof e);
            take_event(e);
            at += static_cast<ssize_t>(sizeof e + e.len);
        }
    }
}

// Watches a folder that went once it is there again. It then counts as fired: a job may have
// been put in it before its watch was back.
void watch_again(Watch* w)
{
    const int wd = inotify_add_watch(files().inotify, w->folder.c_str(), WatchMask);
    if (wd < 0) {
        // Not there yet (or not a folder): the usual case, said nothing about.
        if (errno != ENOENT && errno != ENOTDIR && errno != w->retry_errno)
            log_line(("cannot watch '" + w->folder + "' again: " + with_hint(errno)).c_str());
        w->retry_errno = errno;
        return;
    }
    w->wd = wd;
    w->state.restart();
    log_line(("watching '" + w->folder + "' again").c_str());
}

} // namespace

void configure_files()
{
    files().skipped.clear();
}

} // namespace qm::posix

namespace qm {

using posix::files;
using posix::FilesState;
using posix::handle_of;
using posix::listing_of;
using posix::watch_of;

ListingHandle begin_listing(const char* folder, FolderEntry* first)
{
    auto* listing = new (std::nothrow) posix::Listing;
    if (!listing)
        return nullptr;
    listing->folder = posix::native_path(folder);
    listing->dir = opendir(listing->folder.c_str());
    if (!listing->dir || !posix::read_entry(listing, first)) {
        end_listing(handle_of(listing));
        return nullptr;
    }
    return handle_of(listing);
}

bool next_listing_entry(ListingHandle listing, FolderEntry* entry)
{
    return listing && posix::read_entry(listing_of(listing), entry);
}

void end_listing(ListingHandle handle)
{
    posix::Listing* listing = listing_of(handle);
    if (listing && listing->dir)
        closedir(listing->dir);
    delete listing;
}

bool find_entry(const char* folder, const char* name, FolderEntry* found)
{
    FolderEntry first{};
    FolderListing listing(folder, &first);
    return listing.started() &&
           backend::find_matching_entry(
               name, first, [&listing](FolderEntry* entry) { return listing.next(entry); }, found);
}

bool can_open_for_reading(const char* path)
{
    const int fd = posix::open_regular(posix::native_path(path));
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
    const int fd = posix::open_regular(posix::native_path(path));
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
    const bool ok = fstat(fd, &st) == 0;
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
    const std::string p = posix::native_path(path);
    // Reading is of spool files only: a regular file, opened without a wait.
    if (mode && mode[0] == 'r' && !std::strchr(mode, '+')) {
        const int fd = posix::open_regular(p);
        if (fd < 0)
            return nullptr;
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0)
            fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        std::FILE* f = fdopen(fd, mode);
        if (!f)
            close(fd);
        return f;
    }
    std::FILE* f = std::fopen(p.c_str(), mode);
    if (!f)
        posix::note_write_failed(p, errno);
    return f;
}

WatchHandle open_change_watch(const char* folder)
{
    FilesState& s = files();
    const std::string p = posix::native_path(folder);
    auto why_not = [&p](int error) {
        posix::log_line(("not watching '" + p + "': " + posix::with_hint(error)).c_str());
        return nullptr;
    };
    auto* watch = new (std::nothrow) posix::Watch;
    if (!watch)
        return why_not(ENOMEM);
    watch->folder = p;
    if (s.inotify < 0) {
        s.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (s.inotify < 0) {
            const int error = errno;
            delete watch;
            return why_not(error);
        }
    }
    // Events already waiting belong to the watches they name.
    posix::drain();
    watch->wd = inotify_add_watch(s.inotify, p.c_str(), posix::WatchMask);
    if (watch->wd < 0) {
        const int error = errno;
        delete watch;
        if (s.watches.empty()) {
            close(s.inotify);
            s.inotify = -1;
        }
        return why_not(error);
    }
    s.watches.push_back(watch);
    return handle_of(watch);
}

int arm_change_watch(WatchHandle watch)
{
    if (!watch)
        return -1;
    posix::drain();
    // A change made while the watch was fired fires it again at once.
    watch_of(watch)->state.arm();
    return 0;
}

void close_change_watch(WatchHandle handle)
{
    posix::Watch* watch = watch_of(handle);
    if (!watch)
        return;
    FilesState& s = files();
    s.watches.erase(std::remove(s.watches.begin(), s.watches.end(), watch), s.watches.end());
    // Two paths to one folder share the folder's inotify watch: it goes with the last of them.
    const bool shared = std::any_of(s.watches.begin(), s.watches.end(),
                                    [watch](const posix::Watch* w) { return w->wd == watch->wd; });
    if (watch->wd >= 0 && !shared)
        inotify_rm_watch(s.inotify, watch->wd);
    delete watch;
    if (s.watches.empty() && s.inotify >= 0) {
        close(s.inotify);
        s.inotify = -1;
    }
}

int poll_change_watches(const WatchHandle* watches, int count)
{
    if (count <= 0)
        return PollFailed;
    posix::drain();
    for (int i = 0; i < count; ++i)
        if (watches[i] && watch_of(watches[i])->wd < 0)
            posix::watch_again(watch_of(watches[i]));
    return backend::poll_fired(
        watches, count, [](WatchHandle w) -> backend::FiredState& { return watch_of(w)->state; });
}

} // namespace qm
