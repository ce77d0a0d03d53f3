#include <cinttypes>
#include <cstring>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/spool_job.h"
#include "render/image_file.h"
#include "render/raster_canvas.h"
#include "render/text_font.h"

namespace qm::cli {
namespace {

// A printer at `dpi` both ways with a Letter page's drawing area and no unprintable margin.
DeviceCaps virtual_printer(std::int32_t dpi, bool mono)
{
    return DeviceCaps{17 * dpi / 2, 11 * dpi, dpi, dpi, mono ? 2 : -1, 0, 0};
}

// Writes the page drawn: the printer's raster, or the window pass's preview, to OUT or to
// standard output.
int write_render(const RenderRequest& r, bool printer, const RasterCanvas& canvas,
                 const RenderState& render, OutputFile& target, std::FILE* err)
{
    const bool to_stdout = std::strcmp(r.out_path, "-") == 0;
    char error[256] = "";
    bool ok;
    const ImageFormat format =
        r.format && std::strcmp(r.format, "png") == 0 ? ImageFormat::Png : ImageFormat::Ppm;
    if (to_stdout && (printer || render.PreviewCache)) {
        binary_output(r.out);
        ok = printer ? write_image_to(r.out, format, canvas, error, sizeof error)
                     : write_image_to(r.out, format, *render.PreviewCache, error, sizeof error);
        if (!ok) {
            std::fprintf(err, "qmspool: cannot write the image to standard output: %s\n", error);
            return 1;
        }
        return finish_output(r.out, err) ? 0 : 1;
    }
    if (printer) {
        ok = write_image(target.write_path(), canvas, error, sizeof error);
    } else if (render.PreviewCache) {
        ok = write_image(target.write_path(), *render.PreviewCache, error, sizeof error);
    } else {
        ok = false;
        std::snprintf(error, sizeof error, "no memory for a %" PRId32 " x %" PRId32 " preview",
                      r.screen_width, r.screen_height);
    }
    if (!ok) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", r.out_path, error);
        return 1;
    }
    return target.commit(err) ? 0 : 1;
}

} // namespace

int run_render(const RenderRequest& r, std::FILE* err)
{
    // A type this build cannot write is refused before any work is done (standard output's
    // format was checked with the command line).
    const bool to_stdout = std::strcmp(r.out_path, "-") == 0;
    if (const char* refusal = to_stdout ? nullptr : image_type_refusal(r.out_path)) {
        std::fprintf(err, "qmspool: cannot write '%s': %s\n", r.out_path, refusal);
        return 1;
    }
    SpoolJob job;
    if (!open_spool_job(r.path, job, err))
        return 1;
    OutputFile target;
    if (!to_stdout && !target.prepare(r.out_path, r.path, err))
        return 1;

    const bool printer = r.dpi > 0;
    const DeviceCaps caps = printer ? virtual_printer(r.dpi, r.mono)
                                    : DeviceCaps{r.screen_width, r.screen_height, 96, 96, -1, 0, 0};
    std::unique_ptr<RasterCanvas> canvas = RasterCanvas::create(caps);
    if (!canvas) {
        std::fprintf(err,
                     "qmspool: a drawing area of %" PRId32 " x %" PRId32 " pixels is too large\n",
                     caps.horzres, caps.vertres);
        return 1;
    }

    // Walk the pages as the job driver does until page K; its passes go to the raster.
    std::int32_t pages = 0;
    bool drawn = false;
    walk_job_pages(
        job,
        [&](std::int32_t, PagePasses& passes) {
            if (++pages < r.page)
                return true;
            if (printer) {
                passes.printer = canvas.get();
                passes.on_paper = printer_page_placement(caps);
                passes.window = nullptr; // the walk ends with this page
            } else {
                passes.window = canvas.get();
                passes.in_window = window_page_placement(r.window, r.screen_width, r.screen_height);
            }
            drawn = true;
            return true;
        },
        [&](std::int32_t, const PageDrawn&) { return !drawn; });
    if (!drawn) {
        std::fprintf(err,
                     "qmspool: page %" PRId32 " is out of range: '%s' has %" PRId32 " page%s\n",
                     r.page, r.path, pages, pages == 1 ? "" : "s");
        return 1;
    }

    // The window pass sets its text on the screen canvas as well as in the preview.
    if (canvas->text_lost()) {
        std::fprintf(err, "qmspool: cannot render page %" PRId32 " of '%s': %s\n", r.page, r.path,
                     NoTextFontReason);
        return 1;
    }

    return write_render(r, printer, *canvas, job.render, target, err);
}

} // namespace qm::cli
