#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/spool_job.h"
#include "render/null_canvas.h"

namespace qm::cli {

int run_bmp(const char* path, const char* out_path, std::FILE* err)
{
    SpoolJob job;
    if (!open_spool_job(path, job, err))
        return 1;
    // As the menu command does, the first page's window pass writes into the file, and a page
    // without bands leaves it empty; but the file is put in place only once it is complete.
    OutputFile target;
    if (!target.prepare(out_path, path, err))
        return 1;
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    errno = 0;
    std::unique_ptr<std::FILE, Closer> out(std::fopen(target.write_path(), "wb"));
    if (!out) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    if (job.record_count > 0) {
        NullCanvas screen(ReferenceScreen.screen);
        render_page(screen, reference_window_placement(), &job.stream, 0, job.record_count,
                    job.render, {RenderPass::InWindow, out.get()});
    }
    const bool failed = std::ferror(out.get()) != 0;
    errno = 0;
    if (std::fclose(out.release()) != 0 || failed) {
        std::fprintf(err, "qmspool: writing '%s' failed: %s\n", out_path,
                     errno ? std::strerror(errno) : "unknown error");
        return 1;
    }
    return target.commit(err) ? 0 : 1;
}

} // namespace qm::cli
