// qmspool: inspect, render and export spool files from the command line, over the same core as
// the spooler; where CUPS is, also print them and watch for them.
#include "cli/commands.h"
#if QM_HAVE_HOST
#include "host/host_commands.h"
#endif

int main(int argc, char** argv)
{
#if QM_HAVE_HOST
    if (argc >= 2 && qm::host::is_host_command(argv[1]) && !qm::cli::asks_for_help(argc, argv))
        return qm::host::host_main(argc, argv, stdout, stderr);
#endif
    return qm::cli::qmspool_main(argc, argv, stdout, stderr);
}
