#include "job/job_start.h"

#include <cstdio>

#include "job/print_job.h"
#include "platform/files_port.h"
#include "platform/ui_port.h"

namespace qm {

void print_current_job(const JobSession& session)
{
    const char* path = session.settings.last_print_path;
    if (session.settings.print_to_screen) {
        run_print_job(session, path, JobWindowOnly, nullptr);
    } else {
        // A file refused as cut short has been said so once; the printer is not asked for.
        if (run_print_job(session, path, JobFirstPage, nullptr) != JobCutShort)
            run_print_job(session, path, JobPrinter, nullptr);
    }
    show_notice(Notice{NoticeKind::JobEnded, path});
}

bool run_command_line_job(const JobSession& session, char* pending_path)
{
    Settings& settings = session.settings;
    // A path that cannot be made absolute is taken as it stands, cut to the buffer.
    if (full_path(pending_path, settings.last_print_path, sizeof settings.last_print_path) != 0)
        std::snprintf(settings.last_print_path, sizeof settings.last_print_path, "%s",
                      pending_path);
    pending_path[0] = '\0';
    print_current_job(session);
    if (settings.open_minimized)
        show_window(session.main_window, ShowMinimize);
    return !settings.print_to_screen;
}

void reprint_last_job(const JobSession& session)
{
    const bool was_minimized = is_minimized(session.main_window);
    show_window(session.main_window, ShowNormal);
    if (session.settings.last_print_path[0] == '\0')
        show_notice(Notice{NoticeKind::NothingToReprint});
    else
        print_current_job(session);
    if (was_minimized)
        show_window(session.main_window, ShowMinimize);
}

void save_last_job_as_bmp(const JobSession& session, const char* out_path, bool was_minimized)
{
    show_window(session.main_window, ShowNormal);
    const char* job = session.settings.last_print_path;
    if (job[0] == '\0') {
        show_notice(Notice{NoticeKind::NothingToSave});
    } else if (std::FILE* bmp = open_file(out_path, "wb")) {
        run_print_job(session, job, JobFirstPage, bmp);
        std::fclose(bmp);
    } else {
        show_notice(Notice{NoticeKind::BmpUnwritable, out_path});
    }
    if (was_minimized)
        show_window(session.main_window, ShowMinimize);
}

bool read_spool_stamp(const char* path, std::int32_t* stamp)
{
    std::uint64_t written = 0;
    if (read_last_write_time(path, &written) != 0)
        return false;
    *stamp = static_cast<std::int32_t>(static_cast<std::uint32_t>(written));
    return true;
}

void run_detected_job(const JobSession& session, const char* path, std::int32_t* stamp)
{
    Settings& settings = session.settings;
    const bool was_minimized = is_minimized(session.main_window);
    show_window(session.main_window, ShowNormal);
    sleep_ms(SyncSettleMs);
    // Still before anything prints, so that a job that fails is not tried again by the watch.
    // A file that cannot be opened now keeps the stamp it was found with.
    read_spool_stamp(path, stamp);
    std::snprintf(settings.last_print_path, sizeof settings.last_print_path, "%s", path);
    print_current_job(session);
    if (was_minimized)
        show_window(session.main_window, ShowMinimize);
}

} // namespace qm
