#include <cerrno>
#include <cstring>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/spool_job.h"
#include "render/null_canvas.h"

namespace qm::cli {
namespace {

// Copies the finished picture to standard output.
bool copy_to(std::FILE* from, std::FILE* to)
{
    binary_output(to);
    std::rewind(from);
    char block[1 << 15];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, from)) > 0)
        if (std::fwrite(block, 1, n, to) != n)
            return false;
    return std::ferror(from) == 0;
}

} // namespace

int run_bmp(const char* path, const char* out_path, std::FILE* out, std::FILE* err)
{
    const bool to_stdout = std::strcmp(out_path, "-") == 0;
    SpoolJob job;
    if (!open_spool_job(path, job, err))
        return 1;
    if (job.record_count <= 0) {
        std::fprintf(err, "qmspool: '%s' has no pages\n", path);
        return 1;
    }
    // As the menu command does, the first page's window pass writes the picture. Standard output
    // gets it only once it is known to be there, so it goes to a scratch file first; a file is
    // put in place only once it is complete.
    OutputFile target;
    if (!to_stdout && !target.prepare(out_path, path, err))
        return 1;
    errno = 0;
    OwnedFile picture(to_stdout ? std::tmpfile() : std::fopen(target.write_path(), "wb"));
    if (!picture) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    NullCanvas screen(ReferenceScreen.screen);
    render_page(screen, reference_window_placement(), &job.stream, 0, job.record_count, job.render,
                {RenderPass::InWindow, picture.get()});
    if (std::ftell(picture.get()) == 0 && !std::ferror(picture.get())) {
        std::fprintf(err, "qmspool: the first page of '%s' has no graphic to save as a BMP file\n",
                     path);
        return 1;
    }
    if (to_stdout) {
        if (std::ferror(picture.get()) || !copy_to(picture.get(), out)) {
            std::fprintf(err, "qmspool: cannot write the BMP file to standard output: %s\n",
                         errno ? std::strerror(errno) : "unknown error");
            return 1;
        }
        return finish_output(out, err) ? 0 : 1;
    }
    const bool failed = std::ferror(picture.get()) != 0;
    errno = 0;
    if (std::fclose(picture.release()) != 0 || failed) {
        std::fprintf(err, "qmspool: writing '%s' failed: %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    return target.commit(err) ? 0 : 1;
}

} // namespace qm::cli
