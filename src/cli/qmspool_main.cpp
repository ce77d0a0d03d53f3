// qmspool: inspect, render and export spool files from the command line, over the same core as
// the spooler; where CUPS is, also print them and watch for them.
#include "cli/commands.h"
#if QM_HAVE_HOST
#include "host/host_commands.h"
#endif

int main(int argc, char** argv)
{
#if QM_HAVE_HOST
    return qm::cli::qmspool_main(argc, argv, stdout, stderr, qm::host::commands());
#else
    return qm::cli::qmspool_main(argc, argv, stdout, stderr);
#endif
}
