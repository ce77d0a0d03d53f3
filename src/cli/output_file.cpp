#include "cli/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <atomic>
#include <csignal>

#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace qm::cli {
namespace {

namespace fs = std::filesystem;

// Every temporary file is named .qmspool-PID-SERIAL-NAME, NAME the final name or its ending.
constexpr char TempPrefix[] = ".qmspool-";
// Links followed from an output to the file it names before giving up, as the kernel does.
constexpr int MaxLinkHops = 40;

long process_id()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(::getpid());
#endif
}

// The longest file name `folder` takes.
std::size_t name_limit(const fs::path& folder)
{
#ifndef _WIN32
    const long n = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (n > 0)
        return static_cast<std::size_t>(std::min(n, 4096L));
#else
    (void)folder;
#endif
    return 255;
}

// The temporary name for `name`. Within the folder's name limit, since the final name may take
// all of it: what the prefix leaves no room for is cut from the front, so that the ending (which
// tells the image writers the format) stays, and never inside a UTF-8 character. PID and serial
// keep it unique.
std::string temp_name(long pid, long serial, const std::string& name, std::size_t limit)
{
    const std::string prefix =
        TempPrefix + std::to_string(pid) + "-" + std::to_string(serial) + "-";
    const std::size_t room = limit > prefix.size() ? limit - prefix.size() : 0;
    std::size_t start = name.size() > room ? name.size() - room : 0;
    while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80)
        ++start;
    return prefix + name.substr(start);
}

// Creates `path` empty, failing when it exists: the temporary name is then ours alone. On POSIX
// systems it stays open in `fd` and locked, as the mark of a file still being written.
bool create_new_file(const char* path, int& fd)
{
#ifdef _WIN32
    fd = -1;
    const int f = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return f >= 0 && _close(f) == 0;
#else
    fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // A file system without locks leaves it unlocked; a later run then never removes it.
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    return true;
#endif
}

// Flushes the file's data to the disk. A write the file system took into its cache can still
// fail on the way (a full or quota-bound file system, a network one), and this is where that
// shows; a file system that cannot sync has nothing more to say.
bool sync_file(int fd, const char* path)
{
#ifdef _WIN32
    (void)fd;
    const int f = _open(path, _O_WRONLY | _O_BINARY);
    if (f < 0)
        return false;
    const bool ok = _commit(f) == 0;
    const int saved = errno;
    _close(f);
    errno = saved;
    return ok;
#else
    (void)path;
    return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
#endif
}

// Renames over an existing file: rename does so on POSIX, but on Windows it fails when the
// target exists, which is then removed first.
bool replace_file(const char* from, const char* to)
{
    if (std::rename(from, to) == 0)
        return true;
#ifdef _WIN32
    const int saved = errno;
    if (std::remove(to) == 0 && std::rename(from, to) == 0)
        return true;
    if (errno == ENOENT)
        errno = saved;
#endif
    return false;
}

const char* reason(int error)
{
    return error ? std::strerror(error) : "unknown error";
}

std::string cannot_write(const std::string& path, const std::string& reason)
{
    return "cannot write '" + path + "': " + reason;
}

// A failure's line on a command's error output.
bool said(bool ok, const std::string& why, std::FILE* err)
{
    if (!ok)
        std::fprintf(err, "qmspool: %s\n", why.c_str());
    return ok;
}

#ifndef _WIN32

// Temporary files to remove when a signal ends the program. The handler reads only these
// lock-free atomics, unlinks and re-raises: all async-signal-safe.
constexpr int CleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<const char*> pending_removals[4];
static_assert(std::atomic<const char*>::is_always_lock_free);

void remove_pending_and_reraise(int sig)
{
    for (std::atomic<const char*>& slot : pending_removals)
        if (const char* path = slot.load())
            ::unlink(path);
    // The default action once the handler returns (the signal is blocked until then), so that
    // whoever waits for the program sees it ended by the signal.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}

// Handles only signals that would end the program as they stand: one it ignores (SIGHUP under
// nohup) or handles itself is left as it is.
void install_cleanup_handlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action = {};
    action.sa_handler = remove_pending_and_reraise;
    sigemptyset(&action.sa_mask);
    for (const int sig : CleanupSignals)
        sigaddset(&action.sa_mask, sig);
    for (const int sig : CleanupSignals) {
        struct sigaction current = {};
        if (::sigaction(sig, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
            current.sa_handler == SIG_DFL)
            ::sigaction(sig, &action, nullptr);
    }
}

// Holds the cleanup signals back while a temporary file comes or goes, so that none ends the
// program between the file and its entry for the handler.
class BlockedSignals {
public:
    BlockedSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : CleanupSignals)
            sigaddset(&set, sig);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~BlockedSignals() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;

private:
    sigset_t old_;
};

void add_pending(const char* path)
{
    for (std::atomic<const char*>& slot : pending_removals) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, path))
            return;
    }
    // More outputs at once than slots: this one is left to a later run's clean-up.
}

void drop_pending(const char* path)
{
    for (std::atomic<const char*>& slot : pending_removals) {
        const char* mine = path;
        slot.compare_exchange_strong(mine, nullptr);
    }
}

// Whether `file` is exactly the temporary name this program gives `name` in a folder whose
// limit is `limit`; its process id in `pid`.
bool is_temp_name_for(const std::string& file, const std::string& name, std::size_t limit,
                      long& pid)
{
    constexpr std::size_t prefix = sizeof TempPrefix - 1;
    if (file.compare(0, prefix, TempPrefix) != 0)
        return false;
    const auto number = [&](std::size_t& at, long& value) {
        const std::size_t begin = at;
        value = 0;
        while (at < file.size() && at - begin < 12 && file[at] >= '0' && file[at] <= '9')
            value = value * 10 + (file[at++] - '0');
        return at > begin && at < file.size() && file[at++] == '-';
    };
    std::size_t at = prefix;
    long serial = 0;
    return number(at, pid) && number(at, serial) && pid > 1 &&
           file == temp_name(pid, serial, name, limit);
}

// Removes what killed runs (SIGKILL, a crash, a power cut) left beside `name`: only files that
// are provably such leftovers, i.e. named as ours for this very name, by a process that no
// longer runs, owned by this user, a plain file with no other name, and not locked by a writer
// (which rules out a process of that id on another machine writing to a shared folder).
void remove_stale_temporaries(const fs::path& folder, const std::string& name, std::size_t limit)
{
    const fs::path dir = folder.empty() ? fs::path(".") : folder;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        long pid = 0;
        if (!is_temp_name_for(file, name, limit, pid) || pid == process_id())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // running, or another user's
        const std::string path = (dir / file).string();
        const int fd =
            ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened = {}, named = {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == ::geteuid() &&
            opened.st_nlink == 1 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino)
            ::unlink(path.c_str());
        ::close(fd);
    }
}

#endif

} // namespace

OutputFile::~OutputFile()
{
    discard();
}

void OutputFile::discard()
{
    if (!temporary_)
        return;
#ifndef _WIN32
    BlockedSignals blocked;
    std::remove(write_path_.c_str());
    drop_pending(write_path_.c_str());
    if (lock_fd_ >= 0)
        ::close(lock_fd_);
#else
    std::remove(write_path_.c_str());
#endif
    lock_fd_ = -1;
    temporary_ = false;
}

bool OutputFile::prepare(const char* path, const char* input_path, std::FILE* err)
{
    std::string why;
    return said(prepare(path, input_path, why), why, err);
}

bool OutputFile::commit(std::FILE* err)
{
    std::string why;
    return said(commit(why), why, err);
}

bool OutputFile::prepare(const char* path, const char* input_path, std::string& why)
{
    discard();
    path_ = path;
    final_path_ = path;
    write_path_ = path;
    std::error_code ec;
    if (input_path && fs::equivalent(input_path, path, ec)) {
        why = "'" + std::string(path) + "' is the input file; choose another output";
        return false;
    }
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        why = cannot_write(path, "it is a directory");
        return false;
    }
    if (fs::exists(st) && !fs::is_regular_file(st))
        return true; // a device or a pipe: written as it is, there is nothing to rename over

    // A symbolic link stays a link: the file at the end of its chain is the one replaced, or
    // created when the chain ends nowhere. A relative target counts from its link's folder.
    fs::path final_path(path);
    for (int hops = 0; fs::is_symlink(fs::symlink_status(final_path, ec)); ++hops) {
        fs::path target;
        if (hops < MaxLinkHops)
            target = fs::read_symlink(final_path, ec);
        if (hops == MaxLinkHops || ec || target.empty()) {
            why = cannot_write(path, hops == MaxLinkHops ? "too many levels of symbolic links"
                                                         : ec.message());
            return false;
        }
        final_path = target.is_absolute() ? target : final_path.parent_path() / target;
    }
    final_path_ = final_path.string();
    const fs::path folder = final_path.parent_path();
    const std::string name = final_path.filename().string();
    const std::size_t limit = name_limit(folder);
#ifndef _WIN32
    remove_stale_temporaries(folder, name, limit);
    install_cleanup_handlers();
    BlockedSignals blocked;
#endif
    static long serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            (folder / temp_name(process_id(), serial++, name, limit)).string();
        errno = 0;
        if (create_new_file(candidate.c_str(), lock_fd_)) {
            write_path_ = candidate;
            temporary_ = true;
#ifndef _WIN32
            add_pending(write_path_.c_str());
#endif
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    why = cannot_write(path, reason(errno));
    return false;
}

bool OutputFile::commit(std::string& why)
{
    if (!temporary_)
        return true;
    // Only a file known to be on the disk replaces the old one.
    errno = 0;
    if (!sync_file(lock_fd_, write_path_.c_str())) {
        why = cannot_write(path_, reason(errno));
        return false; // the destructor removes the temporary file
    }
    std::error_code ec;
    // A replaced file keeps its permissions.
    const fs::file_status old = fs::status(final_path_, ec);
    if (!ec && fs::is_regular_file(old))
        fs::permissions(write_path_, old.permissions(), ec);
#ifndef _WIN32
    BlockedSignals blocked;
#endif
    errno = 0;
    if (!replace_file(write_path_.c_str(), final_path_.c_str())) {
        why = cannot_write(path_, reason(errno));
        return false; // the destructor removes the temporary file
    }
#ifndef _WIN32
    drop_pending(write_path_.c_str());
    if (lock_fd_ >= 0)
        ::close(lock_fd_);
#endif
    lock_fd_ = -1;
    temporary_ = false;
    return true;
}

void binary_output([[maybe_unused]] std::FILE* out)
{
#ifdef _WIN32
    _setmode(_fileno(out), _O_BINARY);
#endif
}

bool finish_output(std::FILE* out, std::FILE* err)
{
    errno = 0;
    if (std::fflush(out) == 0 && !std::ferror(out))
        return true;
    std::fprintf(err, "qmspool: writing the output failed: %s\n", reason(errno));
    return false;
}

} // namespace qm::cli
