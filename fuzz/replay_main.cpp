// Runs the fuzz entry point once over each file named, or over every file of each directory
// named, the way libFuzzer would run a corpus. Used by the tests to replay fuzz/corpus in every
// build, and by hand to reproduce a crash: qm_spool_replay crash-1234abcd.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool read_whole_file(const fs::path& path, std::vector<std::uint8_t>& out)
{
    out.clear();
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.string().c_str(), "rb"));
    if (!f)
        return false;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0)
        out.insert(out.end(), chunk, chunk + n);
    return !std::ferror(f.get());
}

// The files to run: a named file as it is, a directory's regular files in name order.
bool collect(const fs::path& arg, std::vector<fs::path>& files)
{
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
        std::vector<fs::path> found;
        for (fs::directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec))
                found.push_back(it->path());
        }
        if (ec) {
            std::fprintf(stderr, "qm_spool_replay: cannot list '%s': %s\n", arg.string().c_str(),
                         ec.message().c_str());
            return false;
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
        return true;
    }
    if (!fs::is_regular_file(arg, ec)) {
        std::fprintf(stderr, "qm_spool_replay: no such file or directory: '%s'\n",
                     arg.string().c_str());
        return false;
    }
    files.push_back(arg);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("Usage: qm_spool_replay FILE_OR_DIRECTORY...\n", stderr);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], files))
            return 1;
    }
    if (files.empty()) {
        std::fputs("qm_spool_replay: no input files found\n", stderr);
        return 1;
    }
    std::vector<std::uint8_t> data;
    for (const fs::path& file : files) {
        if (!read_whole_file(file, data)) {
            std::fprintf(stderr, "qm_spool_replay: cannot read '%s'\n", file.string().c_str());
            return 1;
        }
        std::fprintf(stderr, "running %s (%zu bytes)\n", file.string().c_str(), data.size());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::fprintf(stderr, "qm_spool_replay: %zu inputs ran cleanly\n", files.size());
    return 0;
}
