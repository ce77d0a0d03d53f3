#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/output_file.h"
#include "render/image_file.h"
#if QM_HAVE_PDF
#include "cli/job_pdf.h"
#endif

namespace qm::cli {
namespace {

bool parse_int(const char* text, std::int32_t lo, std::int32_t hi, std::int32_t& value)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

// --screen WIDTHxHEIGHT, each side within what render takes; 0 when it is, or the usage
// refused.
int read_screen(const char* arg, RenderRequest& r, std::FILE* err)
{
    const char* x = std::strchr(arg, 'x');
    char w[16] = "";
    if (x && static_cast<std::size_t>(x - arg) < sizeof w)
        std::memcpy(w, arg, static_cast<std::size_t>(x - arg));
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (!x || !parse_int(w, 1, INT32_MAX, width) || !parse_int(x + 1, 1, INT32_MAX, height))
        return refuse_usagef(
            err, "render: --screen takes WIDTHxHEIGHT, each from 1 to %" PRId32 ", e.g. 1280x1024",
            MaxScreenSide);
    if (width > MaxScreenSide || height > MaxScreenSide)
        return refuse_usagef(err,
                             "render: --screen %" PRId32 "x%" PRId32
                             " is too large: at most %" PRId32 "x%" PRId32,
                             width, height, MaxScreenSide, MaxScreenSide);
    r.screen_width = width;
    r.screen_height = height;
    return 0;
}

// The values of render's options, each checked; 0 when all are good, or the usage refused.
int read_render_values(const Invocation& call, RenderRequest& r, std::FILE* err)
{
    if (const char* page = call.value("--page"); page && !parse_int(page, 1, INT32_MAX, r.page))
        return refuse_usage(err, "render: --page takes a page number from 1");
    if (const char* dpi = call.value("--dpi"); dpi && !parse_int(dpi, 1, 4800, r.dpi))
        return refuse_usage(err, "render: --dpi takes a resolution from 1 to 4800");
    if (const char* w = call.value("--window"); w && !parse_int(w, 1, 65535, r.window))
        return refuse_usage(err, "render: --window takes a width from 1 to 65535");
    if (const char* screen = call.value("--screen"); screen && read_screen(screen, r, err))
        return 1;
    if (const char* format = call.value("--format")) {
        if (std::strcmp(format, "ppm") != 0 && std::strcmp(format, "png") != 0)
            return refuse_usage(err, "render: --format takes ppm or png");
        if (std::strcmp(format, "png") == 0 && !png_supported())
            return refuse_usage(err, "render: this build writes PPM images only, not PNG "
                                     "(--format ppm)");
        r.format = format;
    }
    r.mono = call.has("--mono");
    r.out_path = call.value("--out");
    return 0;
}

int render_command(const Invocation& call, std::FILE* out, std::FILE* err)
{
    RenderRequest r;
    r.path = call.operands[0];
    if (read_render_values(call, r, err))
        return 1;
    if (!call.has("--page"))
        return refuse_usage(err, "render: --page is required");
    if (!r.out_path)
        return refuse_usage(err, "render: --out is required");
    if ((r.dpi > 0) == (r.window > 0))
        return refuse_usage(err, "render: give either --dpi or --window");
    if (r.window > 0 && r.mono)
        return refuse_usage(err, "render: --mono goes with --dpi");
    // A file's type is its name's ending; standard output has no name to go by.
    const bool to_stdout = std::strcmp(r.out_path, "-") == 0;
    if (to_stdout && !r.format)
        return refuse_usage(err, "render: --out - takes --format ppm or png");
    if (!to_stdout && r.format)
        return refuse_usage(err, "render: --format goes with --out - (a file's type is its "
                                 "name's ending)");
    r.out = out;
    return run_render(r, err);
}

int info_command(const Invocation& call, std::FILE* out, std::FILE* err)
{
    return run_info(call.operands[0], out, err);
}

int bmp_command(const Invocation& call, std::FILE* out, std::FILE* err)
{
    return run_bmp(call.operands[0], call.operands[1], out, err);
}

int testpage_command(const Invocation& call, std::FILE*, std::FILE* err)
{
    return run_testpage(call.operands[0], err);
}

#if QM_HAVE_PDF
int pdf_command(const Invocation& call, std::FILE*, std::FILE* err)
{
    PageRange range;
    if (const char* pages = call.value("--pages"); pages && !parse_page_range(pages, range))
        return refuse_usage(err, "pdf: --pages takes A, A-B or A- (pages from 1)");
    return run_pdf(call.operands[0], call.operands[1], range, terminal_or_null(err), err);
}
#endif

const CommandForm InfoForms[] = {
    {"info FILE",
     "List the records, tab-separated, and where pages start:\n"
     "  records<TAB>N\n"
     "  record<TAB>i<TAB>position<TAB>length<TAB>kind<TAB>flags"
     "[<TAB>width<TAB>height<TAB>left<TAB>top<TAB>dpi_x<TAB>dpi_y]\n"
     "  pages<TAB>first record of each page...\n"
     "(band fields only for band records, kinds 0, 2 and 3). A file whose header does\n"
     "not name it a spool file is said to be so on standard error, and read all the same."},
};
const CommandForm BmpForms[] = {
    {"bmp FILE OUT.bmp",
     "Save the first page as the spooler's \"Save last job as BMP\" does; OUT - writes\n"
     "to standard output. A job whose first page has no graphic is refused."},
};
const CommandForm RenderForms[] = {
    {"render FILE --page K --dpi D [--mono] --out OUT",
     "Print page K on a virtual Letter printer of D dots per inch (--mono: two colours)."},
    {"render FILE --page K --window W [--screen WxH] --out OUT",
     "The window preview of page K for a main window W pixels wide (screen 1280x1024).\n"
#if QM_HAVE_PNG
     "OUT ends in .png or .ppm; --out - --format ppm|png writes to standard output.\n"
#else
     "OUT ends in .ppm: this build writes PPM images only, not PNG; --out - --format ppm\n"
     "writes to standard output.\n"
#endif
     "A page K past the job's last page is refused."},
};
const CommandOption RenderOptions[] = {
    {"--page", true},   {"--dpi", true}, {"--mono", false},  {"--window", true},
    {"--screen", true}, {"--out", true}, {"--format", true},
};
const CommandForm TestpageForms[] = {
    {"testpage OUT.pdb", "Write a demonstration job of three pages."},
};
#if QM_HAVE_PDF
const CommandForm PdfForms[] = {
    {"pdf FILE OUT.pdf [--pages A-B]",
     "Write the job (or pages A to B; A, A-B or A-) as a PDF, a Letter page per page,\n"
     "with searchable text. OUT is replaced only once the new one is whole. A range\n"
     "that names a page past the job's last page is refused (A- runs to the last page)."},
};
const CommandOption PdfOptions[] = {{"--pages", true}};
#endif

const Command Commands[] = {
    {"info", InfoForms, {}, 1, 1, "info takes one FILE", info_command},
    {"bmp", BmpForms, {}, 2, 2, "bmp takes FILE and OUT", bmp_command},
    {"render", RenderForms, RenderOptions, 1, 1, "render takes FILE first", render_command},
    {"testpage", TestpageForms, {}, 1, 1, "testpage takes OUT", testpage_command},
#if QM_HAVE_PDF
    {"pdf", PdfForms, PdfOptions, 2, 2, "pdf takes FILE and OUT.pdf", pdf_command},
#endif
};

} // namespace

bool parse_page_range(const char* text, PageRange& range)
{
    if (!text)
        return false;
    const char* dash = std::strchr(text, '-');
    char first[16] = "";
    const std::size_t n = dash ? static_cast<std::size_t>(dash - text) : std::strlen(text);
    if (n == 0 || n >= sizeof first)
        return false;
    std::memcpy(first, text, n);
    PageRange r;
    if (!parse_int(first, 1, INT32_MAX, r.first))
        return false;
    if (!dash)
        r.last = r.first;
    else if (dash[1] && !parse_int(dash + 1, r.first, INT32_MAX, r.last))
        return false;
    range = r;
    return true;
}

std::span<const Command> portable_commands()
{
    return Commands;
}

} // namespace qm::cli
