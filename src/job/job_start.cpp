#include "job/job_start.h"

#include <cstdio>

#include "job/print_job.h"
#include "platform/files_port.h"
#include "platform/ui_port.h"

namespace qm {

void print_last_job(const JobSession& session)
{
    const char* path = session.settings.last_print_path;
    if (session.settings.print_to_screen) {
        run_print_job(session, path, JobWindowOnly, nullptr);
    } else {
        run_print_job(session, path, JobFirstPage, nullptr);
        run_print_job(session, path, JobPrinter, nullptr);
    }
}

bool run_command_line_job(const JobSession& session, char* pending_path)
{
    Settings& settings = session.settings;
    // A path that cannot be made absolute is taken as it stands, cut to the buffer.
    if (full_path(pending_path, settings.last_print_path, sizeof settings.last_print_path) != 0)
        std::snprintf(settings.last_print_path, sizeof settings.last_print_path, "%s",
                      pending_path);
    pending_path[0] = '\0';
    print_last_job(session);
    if (settings.open_minimized)
        show_window(session.main_window, ShowMinimize);
    return !settings.print_to_screen;
}

} // namespace qm
