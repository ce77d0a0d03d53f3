#include "cli/output_file.h"

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
#include <unistd.h>
#endif

namespace qm::cli {
namespace {

namespace fs = std::filesystem;

// Creates `path` empty, failing when it exists: the temporary name is then ours alone.
bool create_new_file(const char* path)
{
#ifdef _WIN32
    const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return fd >= 0 && _close(fd) == 0;
#else
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    return fd >= 0 && ::close(fd) == 0;
#endif
}

int process_id()
{
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(::getpid());
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

} // namespace

OutputFile::~OutputFile()
{
    if (temporary_)
        std::remove(write_path_.c_str());
}

bool OutputFile::prepare(const char* path, const char* input_path, std::FILE* err)
{
    path_ = path;
    final_path_ = path;
    write_path_ = path;
    std::error_code ec;
    if (input_path && fs::equivalent(input_path, path, ec)) {
        std::fprintf(err, "qmspool: '%s' is the input file; choose another output\n", path);
        return false;
    }
    const fs::file_status st = fs::status(path, ec);
    if (fs::is_directory(st)) {
        std::fprintf(err, "qmspool: cannot write '%s': it is a directory\n", path);
        return false;
    }
    if (fs::exists(st) && !fs::is_regular_file(st))
        return true; // a device or a pipe: written as it is, there is nothing to rename over

    // A symbolic link stays a link: the file it names is the one replaced.
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        const fs::path target = fs::canonical(path, ec);
        if (!ec)
            final_path_ = target.string();
    }
    const fs::path final_path(final_path_);
    const fs::path folder = final_path.parent_path();
    const std::string name = final_path.filename().string();
    static int serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp_name = ".qmspool-" + std::to_string(process_id()) + "-" +
                                      std::to_string(serial++) + "-" + name;
        const std::string candidate = (folder / temp_name).string();
        errno = 0;
        if (create_new_file(candidate.c_str())) {
            write_path_ = candidate;
            temporary_ = true;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    std::fprintf(err, "qmspool: cannot write '%s': %s\n", path, reason(errno));
    return false;
}

bool OutputFile::commit(std::FILE* err)
{
    if (!temporary_)
        return true;
    std::error_code ec;
    // A replaced file keeps its permissions.
    const fs::file_status old = fs::status(final_path_, ec);
    if (!ec && fs::is_regular_file(old))
        fs::permissions(write_path_, old.permissions(), ec);
    errno = 0;
    if (!replace_file(write_path_.c_str(), final_path_.c_str())) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", path_.c_str(), reason(errno));
        return false; // the destructor removes the temporary file
    }
    temporary_ = false;
    return true;
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
