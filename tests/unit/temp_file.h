// A file or a folder in the system's temporary folder, removed when the test is done with it.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "spool/spool_writer.h"

namespace qm::test {

class TempFile {
public:
    explicit TempFile(const std::string& stem)
    {
        // A clock reading keeps parallel test processes apart; the serial, files of one process.
        static int serial = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = (std::filesystem::temp_directory_path() /
                 (stem + "-" + std::to_string(stamp) + "-" + std::to_string(serial++)))
                    .string();
    }
    TempFile(const std::string& stem, const Bytes& bytes) : TempFile(stem)
    {
        write_file(path(), bytes);
    }
    ~TempFile()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

// A folder of its own, removed with all it holds.
class TempFolder {
public:
    explicit TempFolder(const std::string& stem) : path_(TempFile(stem).path())
    {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& root() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
inline Bytes read_all(const char* path)
{
    Bytes out;
    if (std::FILE* f = std::fopen(path, "rb")) {
        std::uint8_t buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.insert(out.end(), buf, buf + n);
        std::fclose(f);
    }
    return out;
}

} // namespace qm::test
