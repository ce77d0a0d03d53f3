#include "host/services/watch_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qm::host {
namespace {

// How long a refusal waits for the holder to write its PID, which it does just after taking
// the lock.
constexpr int PidTries = 50;
constexpr long PidWaitNs = 10L * 1000 * 1000;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string why(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// The folder the lock files live in: $XDG_RUNTIME_DIR, the user's own by definition, or else
// /tmp/qmspool-UID, made private to the user; a folder of that name someone else made, or made
// open to others, is not used.
int open_lock_folder(std::string& detail)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        const int fd = open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            return fd;
    }
    char path[64];
    std::snprintf(path, sizeof path, "/tmp/qmspool-%lu", static_cast<unsigned long>(geteuid()));
    if (mkdir(path, 0700) != 0 && errno != EEXIST) {
        detail = why(path);
        return -1;
    }
    Fd folder(open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st{};
    if (folder.get() < 0 || fstat(folder.get(), &st) != 0) {
        detail = why(path);
        return -1;
    }
    if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        detail = std::string(path) + " belongs to someone else or is open to others";
        return -1;
    }
    return folder.release();
}

// 64-bit FNV-1a: a lock file name per folder path, of fixed length whatever the path.
std::uint64_t path_hash(const std::string& text)
{
    std::uint64_t h = 14695981039346656037ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

std::string read_pid(int fd)
{
    for (int i = 0; i < PidTries; ++i) {
        char text[32] = {};
        const ssize_t n = pread(fd, text, sizeof text - 1, 0);
        if (n > 0) {
            text[n] = '\0';
            text[std::strcspn(text, "\n")] = '\0';
            if (text[0])
                return text;
        }
        timespec t{0, PidWaitNs};
        nanosleep(&t, nullptr);
    }
    return "unknown";
}

} // namespace

WatchLock::~WatchLock()
{
    if (fd_ < 0)
        return;
    // Emptied before it is let go, so that the file never names a process that is gone.
    if (ftruncate(fd_, 0) != 0) {
        // Nothing to do: the lock goes with the descriptor all the same.
    }
    close(fd_);
}

WatchLock::Outcome WatchLock::take(const std::string& folder, std::string& detail)
{
    if (fd_ >= 0)
        return Outcome::Held;
    Fd dir(open_lock_folder(detail));
    if (dir.get() < 0)
        return Outcome::Unavailable;
    char name[64];
    std::snprintf(name, sizeof name, "qmspool-watch-%016llx.lock",
                  static_cast<unsigned long long>(path_hash(folder)));
    Fd file(openat(dir.get(), name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct stat st{};
    if (file.get() < 0 || fstat(file.get(), &st) != 0) {
        detail = why(name);
        return Outcome::Unavailable;
    }
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        detail = std::string(name) + " is not a file of this user";
        return Outcome::Unavailable;
    }
    if (flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            detail = why(name);
            return Outcome::Unavailable;
        }
        detail = read_pid(file.get());
        return Outcome::HeldByOther;
    }
    char pid[32];
    const int n = std::snprintf(pid, sizeof pid, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(file.get(), 0) != 0 ||
        pwrite(file.get(), pid, static_cast<std::size_t>(n), 0) != n) {
        // The lock is held all the same; a refused watch then names no PID.
    }
    fd_ = file.release();
    return Outcome::Held;
}

} // namespace qm::host
