// qmspool: inspect, render and export spool files from the command line, over the same core as
// the spooler.
#include "cli/commands.h"

int main(int argc, char** argv)
{
    return qm::cli::qmspool_main(argc, argv, stdout, stderr);
}
