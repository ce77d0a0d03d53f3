// Where a command's output goes. A regular file (or a new one) is written beside its final name
// under a temporary name and renamed into place only once complete, so that a command that fails
// or is interrupted never leaves a half-written file and never destroys the file it replaces. A
// path naming something else (a pipe, a terminal, /dev/stdout) is written directly. An output
// that is the command's own input is refused before anything is written. A symbolic link stays
// a link: the file at the end of its chain is the one written (created when the link dangles),
// as cp writes through one.
//
// On POSIX systems the temporary file is also removed when SIGINT, SIGTERM or SIGHUP ends the
// program while it is being written, and is locked while it lives, so that a later run for the
// same output can tell the leftovers of a killed run (SIGKILL, a crash) from a file another
// process is still writing, and remove only those.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace qm::cli {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile(); // removes a temporary file that was not committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks `path` against `input_path` and reserves the temporary file; false after a line on
    // `err`, or with `why` saying why ("cannot write 'PATH': REASON").
    bool prepare(const char* path, const char* input_path, std::FILE* err);
    bool prepare(const char* path, const char* input_path, std::string& why);

    // The name to write to: the temporary file's, which keeps the final name's ending (image
    // writers choose the format by it), or the path itself.
    const char* write_path() const { return write_path_.c_str(); }

    // Puts the written file in place once it is on the disk (a file it replaces keeps its
    // permissions); false after a line on `err`, or with `why` saying why.
    bool commit(std::FILE* err);
    bool commit(std::string& why);

private:
    void discard();

    std::string path_;       // as given, for messages
    std::string final_path_; // where the file ends up (a symbolic link's target)
    std::string write_path_;
    bool temporary_ = false;
    int lock_fd_ = -1; // the temporary file, held open and locked while it is ours (POSIX)
};

// A file a command opened itself, closed on every way out (a close that must be checked is done
// by hand, with release()).
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// Makes standard output carry bytes as they are: Windows would write each 0x0A as two bytes.
void binary_output(std::FILE* out);

// Flushes a command's standard output: false after a line on `err` when any of it could not be
// written (a full disk, a closed pipe), so that lost output is never reported as success.
bool finish_output(std::FILE* out, std::FILE* err);

} // namespace qm::cli
