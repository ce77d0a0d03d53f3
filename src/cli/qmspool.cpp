#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "render/image_file.h"
#include "version.h"
#if QM_HAVE_PDF
#include "cli/job_pdf.h"
#endif

namespace qm::cli {
namespace {

// Each command's usage, as `qmspool --help` lists them all and `qmspool COMMAND --help` shows one.
struct CommandHelp {
    const char* command;
    const char* text;
};

const char UsageHead[] = "Usage: qmspool COMMAND ...\n"
                         "Inspect, render and export handheld print spool files.\n"
                         "\n";

const CommandHelp Commands[] = {
    {"info",
     "  qmspool info FILE\n"
     "      List the records, tab-separated, and where pages start:\n"
     "        records<TAB>N\n"
     "        record<TAB>i<TAB>position<TAB>length<TAB>kind<TAB>flags"
     "[<TAB>width<TAB>height<TAB>left<TAB>top<TAB>dpi_x<TAB>dpi_y]\n"
     "        pages<TAB>first record of each page...\n"
     "      (band fields only for band records, kinds 0, 2 and 3). A file whose header does\n"
     "      not name it a spool file is said to be so on standard error, and read all the same.\n"},
    {"bmp",
     "  qmspool bmp FILE OUT.bmp\n"
     "      Save the first page as the spooler's \"Save last job as BMP\" does; OUT - writes\n"
     "      to standard output. A job whose first page has no graphic is refused.\n"},
    {"render",
     "  qmspool render FILE --page K --dpi D [--mono] --out OUT\n"
     "      Print page K on a virtual Letter printer of D dots per inch (--mono: two colours).\n"
     "  qmspool render FILE --page K --window W [--screen WxH] --out OUT\n"
     "      The window preview of page K for a main window W pixels wide (screen 1280x1024).\n"
#if QM_HAVE_PNG
     "      OUT ends in .png or .ppm; --out - --format ppm|png writes to standard output.\n"
#else
     "      OUT ends in .ppm: this build writes PPM images only, not PNG; --out - --format ppm\n"
     "      writes to standard output.\n"
#endif
     "      A page K past the job's last page is refused.\n"},
    {"testpage",
     "  qmspool testpage OUT.pdb\n"
     "      Write a demonstration job of three pages.\n"},
#if QM_HAVE_PDF
    {"pdf",
     "  qmspool pdf FILE OUT.pdf [--pages A-B]\n"
     "      Write the job (or pages A to B; A, A-B or A-) as a PDF, a Letter page per page,\n"
     "      with searchable text. OUT is replaced only once the new one is whole. A range\n"
     "      that names a page past the job's last page is refused (A- runs to the last page).\n"},
#endif
#if QM_HAVE_HOST
    {"print",
     "  qmspool print FILE [--printer NAME] [--title TITLE]\n"
     "      Print the job through CUPS as one job of a page per page, on the default printer\n"
     "      or NAME. Exits 0 only when CUPS accepted the job; a server that does not answer\n"
     "      a request within 30 s fails it.\n"},
    {"watch",
     "  qmspool watch [--install-folder DIR] [--printer NAME]\n"
     "      Watch every user's backup folder under the desktop sync's install folder and\n"
     "      print each job the sync leaves there, as the Windows spooler does. DIR defaults to\n"
     "      the install folder stored by qmspool config (a Path in the settings file that\n"
     "      starts with ~/ starts in the home folder).\n"
     "      Runs until interrupted (Ctrl+C or SIGTERM); logs to standard error each folder\n"
     "      watched or skipped, each job found and each page printed with its CUPS job.\n"
     "      A second watch of the same folder is refused.\n"
     "      To print every job the sync leaves in its users' folders:\n"
     "        qmspool watch --install-folder ~/PalmDesktop\n"
     "      Exits 78 when there is nothing to watch: no install folder, or no user in it.\n"},
    {"config",
     "  qmspool config [install-folder DIR]\n"
     "      Show the settings, or store DIR as the install folder that watch reads, in\n"
     "      $XDG_CONFIG_HOME/quillmark/settings (~/.config/quillmark/settings).\n"},
#endif
};

const char UsageTail[] = "  qmspool COMMAND --help\n"
                         "      Show one command's usage.\n"
                         "  qmspool --help\n"
                         "  qmspool --version\n";

const CommandHelp* help_of(const char* command)
{
    for (const CommandHelp& c : Commands)
        if (std::strcmp(c.command, command) == 0)
            return &c;
    return nullptr;
}

bool is_help_option(const char* arg)
{
    return !std::strcmp(arg, "--help") || !std::strcmp(arg, "-h");
}

int show_usage(const char* command, std::FILE* out, std::FILE* err)
{
    if (const CommandHelp* c = command ? help_of(command) : nullptr) {
        std::fprintf(out, "Usage:\n%s", c->text);
    } else {
        std::fputs(UsageHead, out);
        for (const CommandHelp& each : Commands)
            std::fputs(each.text, out);
        std::fputs(UsageTail, out);
    }
    return finish_output(out, err) ? 0 : 1;
}

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

int usage_error(std::FILE* err, const char* what)
{
    std::fprintf(err, "qmspool: %s (see qmspool --help)\n", what);
    return 1;
}

int render_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    RenderRequest r;
    r.path = argv[2];
    bool have_page = false;
    for (int i = 3; i < argc; ++i) {
        const char* opt = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : nullptr;
        char what[160];
        if (std::strcmp(opt, "--mono") == 0) {
            r.mono = true;
            continue;
        }
        if (!arg) {
            std::snprintf(what, sizeof what, "render: %s needs a value", opt);
            return usage_error(err, what);
        }
        ++i;
        if (std::strcmp(opt, "--page") == 0) {
            if (!parse_int(arg, 1, INT32_MAX, r.page))
                return usage_error(err, "render: --page takes a page number from 1");
            have_page = true;
        } else if (std::strcmp(opt, "--dpi") == 0) {
            if (!parse_int(arg, 1, 4800, r.dpi))
                return usage_error(err, "render: --dpi takes a resolution from 1 to 4800");
        } else if (std::strcmp(opt, "--window") == 0) {
            if (!parse_int(arg, 1, 65535, r.window))
                return usage_error(err, "render: --window takes a width from 1 to 65535");
        } else if (std::strcmp(opt, "--screen") == 0) {
            const char* x = std::strchr(arg, 'x');
            char w[16] = "";
            if (x && static_cast<std::size_t>(x - arg) < sizeof w)
                std::memcpy(w, arg, static_cast<std::size_t>(x - arg));
            std::int32_t width = 0;
            std::int32_t height = 0;
            if (!x || !parse_int(w, 1, INT32_MAX, width) ||
                !parse_int(x + 1, 1, INT32_MAX, height)) {
                std::snprintf(what, sizeof what,
                              "render: --screen takes WIDTHxHEIGHT, each from 1 to %" PRId32
                              ", e.g. 1280x1024",
                              MaxScreenSide);
                return usage_error(err, what);
            }
            if (width > MaxScreenSide || height > MaxScreenSide) {
                std::snprintf(what, sizeof what,
                              "render: --screen %" PRId32 "x%" PRId32
                              " is too large: at most %" PRId32 "x%" PRId32,
                              width, height, MaxScreenSide, MaxScreenSide);
                return usage_error(err, what);
            }
            r.screen_width = width;
            r.screen_height = height;
        } else if (std::strcmp(opt, "--out") == 0) {
            r.out_path = arg;
        } else if (std::strcmp(opt, "--format") == 0) {
            if (std::strcmp(arg, "ppm") != 0 && std::strcmp(arg, "png") != 0)
                return usage_error(err, "render: --format takes ppm or png");
            if (std::strcmp(arg, "png") == 0 && !png_supported())
                return usage_error(err, "render: this build writes PPM images only, not PNG "
                                        "(--format ppm)");
            r.format = arg;
        } else {
            std::snprintf(what, sizeof what, "render: unknown option '%.100s'", opt);
            return usage_error(err, what);
        }
    }
    if (!have_page)
        return usage_error(err, "render: --page is required");
    if (!r.out_path)
        return usage_error(err, "render: --out is required");
    if ((r.dpi > 0) == (r.window > 0))
        return usage_error(err, "render: give either --dpi or --window");
    if (r.window > 0 && r.mono)
        return usage_error(err, "render: --mono goes with --dpi");
    // A file's type is its name's ending; standard output has no name to go by.
    const bool to_stdout = std::strcmp(r.out_path, "-") == 0;
    if (to_stdout && !r.format)
        return usage_error(err, "render: --out - takes --format ppm or png");
    if (!to_stdout && r.format)
        return usage_error(err, "render: --format goes with --out - (a file's type is its "
                                "name's ending)");
    r.out = out;
    return run_render(r, err);
}

#if QM_HAVE_PDF
int pdf_command(int argc, const char* const* argv, std::FILE* err)
{
    PageRange range;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pages") != 0) {
            char what[160];
            std::snprintf(what, sizeof what, "pdf: unknown option '%.100s'", argv[i]);
            return usage_error(err, what);
        }
        if (i + 1 >= argc || !parse_page_range(argv[++i], range))
            return usage_error(err, "pdf: --pages takes A, A-B or A- (pages from 1)");
    }
    return run_pdf(argv[2], argv[3], range, terminal_or_null(err), err);
}
#endif

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

bool asks_for_help(int argc, const char* const* argv)
{
    if (argc < 3 || !help_of(argv[1]))
        return false;
    for (int i = 2; i < argc; ++i)
        if (is_help_option(argv[i]))
            return true;
    return false;
}

int qmspool_main(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    if (argc < 2)
        return usage_error(err, "no command given");
    const char* command = argv[1];
    if (is_help_option(command) || !std::strcmp(command, "help"))
        return show_usage(argc > 2 ? argv[2] : nullptr, out, err);
    if (asks_for_help(argc, argv))
        return show_usage(command, out, err);
    if (!std::strcmp(command, "--version")) {
        std::fprintf(out, "qmspool %s\n", QM_VERSION_TEXT);
        return finish_output(out, err) ? 0 : 1;
    }
    if (!std::strcmp(command, "info")) {
        if (argc != 3)
            return usage_error(err, "info takes one FILE");
        return run_info(argv[2], out, err);
    }
    if (!std::strcmp(command, "bmp")) {
        if (argc != 4)
            return usage_error(err, "bmp takes FILE and OUT");
        return run_bmp(argv[2], argv[3], out, err);
    }
    if (!std::strcmp(command, "render")) {
        if (argc < 3 || argv[2][0] == '-')
            return usage_error(err, "render takes FILE first");
        return render_command(argc, argv, out, err);
    }
#if QM_HAVE_PDF
    if (!std::strcmp(command, "pdf")) {
        if (argc < 4 || argv[2][0] == '-' || argv[3][0] == '-')
            return usage_error(err, "pdf takes FILE and OUT.pdf");
        return pdf_command(argc, argv, err);
    }
#endif
    if (!std::strcmp(command, "testpage")) {
        if (argc != 3)
            return usage_error(err, "testpage takes OUT");
        return run_testpage(argv[2], err);
    }
    char what[160];
    std::snprintf(what, sizeof what, "unknown command '%.100s'", command);
    return usage_error(err, what);
}

} // namespace qm::cli
