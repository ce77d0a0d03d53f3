// What the adapters of the backends that run on a POSIX system (the simulated one and the POSIX
// one) make alike: FIFOs, folders with backslashes in their names, and another process that
// holds a file open.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "port_contract.h"

namespace qm::contract {

// A child process with the file open for writing until this goes.
class ForkedHolder {
public:
    explicit ForkedHolder(const std::string& path)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0)
            return;
        if (pipe(release) != 0) {
            close(ready[0]);
            close(ready[1]);
            return;
        }
        child_ = fork();
        if (child_ == 0) {
            close(ready[0]);
            close(release[1]);
            const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            const char said = fd >= 0 ? '1' : '0';
            if (write(ready[1], &said, 1) != 1)
                _exit(1);
            char c;
            while (read(release[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char said = 0;
        const bool heard = child_ > 0 && read(ready[0], &said, 1) == 1;
        close(ready[0]);
        EXPECT_TRUE(heard && said == '1') << "the other process could not open " << path;
    }
    ~ForkedHolder()
    {
        if (release_ >= 0)
            close(release_);
        if (child_ > 0)
            waitpid(child_, nullptr, 0);
    }
    ForkedHolder(const ForkedHolder&) = delete;
    ForkedHolder& operator=(const ForkedHolder&) = delete;

private:
    pid_t child_ = -1;
    int release_ = -1;
};

class PosixScratch : public ScratchFolder {
public:
    static constexpr const char* NoFifo = "";
    static constexpr const char* NoBackslash = "";
    static constexpr const char* NoFolderAgain = nullptr;

    ~PosixScratch()
    {
        for (int fd : writers_)
            close(fd);
    }

    bool fifo(const std::string& relative)
    {
        const std::string p = fs_path(relative).string();
        if (mkfifo(p.c_str(), 0600) != 0)
            return false;
        // A writer, so that an open for reading would not wait for one: a backend that opens
        // the FIFO fails the test rather than hang it.
        const int fd = open(p.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            writers_.push_back(fd);
        return fd >= 0;
    }
    bool backslash_folder(const std::string& relative)
    {
        std::error_code ec;
        return std::filesystem::create_directory(fs_path(relative), ec);
    }

    static void pause() {}
    static void settle() {}

private:
    std::vector<int> writers_;
};

} // namespace qm::contract
