// qmspool: inspect spool files from the command line, over the same core as the spooler.
#include <cstdio>
#include <cstring>

#include "cli/commands.h"

namespace {

void print_usage(std::FILE* out)
{
    std::fputs("Usage: qmspool COMMAND [ARGS]\n"
               "\n"
               "Commands:\n"
               "  info FILE    list the records of a spool file, tab-separated:\n"
               "                 records<TAB>N\n"
               "                 record<TAB>i<TAB>position<TAB>length<TAB>kind<TAB>flags"
               "[<TAB>width<TAB>height<TAB>left<TAB>top<TAB>dpi_x<TAB>dpi_y]\n"
               "               (the band fields only for band records: kinds 0, 2 and 3)\n"
               "  --help       show this text\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        print_usage(stderr);
        return 1;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 ||
        std::strcmp(command, "help") == 0) {
        print_usage(stdout);
        return 0;
    }
    if (std::strcmp(command, "info") == 0) {
        if (argc != 3) {
            std::fputs("qmspool info: expected exactly one FILE (see qmspool --help)\n", stderr);
            return 1;
        }
        return qm::cli::run_info(argv[2], stdout, stderr);
    }
    std::fprintf(stderr, "qmspool: unknown command '%s' (see qmspool --help)\n", command);
    return 1;
}
