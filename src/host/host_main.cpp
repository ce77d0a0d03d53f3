// The rows of qmspool's command table that only the native host has: print, watch and config.
#include <cstring>

#include "cli/command_table.h"
#include "host/host_commands.h"

namespace qm::host {
namespace {

using cli::Command;
using cli::CommandForm;
using cli::CommandOption;
using cli::Invocation;

int print_command(const Invocation& call, std::FILE* out, std::FILE* err)
{
    PrintRequest r;
    r.path = call.operands[0];
    r.printer = call.value("--printer");
    r.title = call.value("--title");
    return run_print(r, out, err);
}

int watch_command(const Invocation& call, std::FILE*, std::FILE* err)
{
    WatchRequest r;
    r.install_folder = call.value("--install-folder");
    r.printer = call.value("--printer");
    return run_watch(r, err);
}

int config_command(const Invocation& call, std::FILE* out, std::FILE* err)
{
    if (call.operands.empty())
        return run_config_show(out, err);
    if (call.operands.size() == 2 && !std::strcmp(call.operands[0], "install-folder") &&
        call.operands[1][0])
        return run_config_install_folder(call.operands[1], out, err);
    return cli::refuse_usage(err, call.command->operands_error);
}

const CommandForm PrintForms[] = {
    {"print FILE [--printer NAME] [--title TITLE]",
     "Print the job through CUPS as one job of a page per page, on the default printer\n"
     "or NAME. Exits 0 only when CUPS accepted the job; a server that does not answer\n"
     "a request within 30 s fails it."},
};
const CommandOption PrintOptions[] = {{"--printer", true}, {"--title", true}};

const CommandForm WatchForms[] = {
    {"watch [--install-folder DIR] [--printer NAME]",
     "Watch every user's backup folder under the desktop sync's install folder and\n"
     "print each job the sync leaves there, as the Windows spooler does. DIR defaults to\n"
     "the install folder stored by qmspool config (a Path in the settings file that\n"
     "starts with ~/ starts in the home folder).\n"
     "Runs until interrupted (Ctrl+C or SIGTERM); logs to standard error each folder\n"
     "watched or skipped, each job found and each page printed with its CUPS job.\n"
     "A second watch of the same folder is refused.\n"
     "To print every job the sync leaves in its users' folders:\n"
     "  qmspool watch --install-folder ~/PalmDesktop\n"
     "Exits 78 when there is nothing to watch: no install folder, or no user in it."},
};
const CommandOption WatchOptions[] = {{"--install-folder", true}, {"--printer", true}};

const CommandForm ConfigForms[] = {
    {"config [install-folder DIR]",
     "Show the settings, or store DIR as the install folder that watch reads, in\n"
     "$XDG_CONFIG_HOME/quillmark/settings (~/.config/quillmark/settings)."},
};

const Command Commands[] = {
    {"print", PrintForms, PrintOptions, 1, 1, "print takes FILE first", print_command},
    {"watch", WatchForms, WatchOptions, 0, 0, "watch takes no FILE", watch_command},
    // install-folder DIR is a setting's name and value, not an option: no dashes.
    {"config",
     ConfigForms,
     {},
     0,
     2,
     "config takes nothing, or install-folder DIR",
     config_command},
};

} // namespace

std::span<const cli::Command> commands()
{
    return Commands;
}

} // namespace qm::host
