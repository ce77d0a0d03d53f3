// What `qmspool watch` says in the journal, in this system's terms. The job monitor and the job
// driver tell a Windows user ("Registry Error", "Windows returned an error ..."); here each of
// their notices becomes one line that names the setting, folder, file, user or printer it is
// about, and a job's progress (found, each page done on the printer) says whose job it is and
// which CUPS job each page became. The POSIX backend shows the line; the host hands it this
// wording (posix::Options::notice_wording).
#pragma once

#include <string>

#include "platform/posix/posix.h"
#include "platform/ui_port.h"

namespace qm::host {

// Where the watch's install folder came from, for the lines that name it.
struct JournalContext {
    std::string install_folder; // as this system names it, no slash at its end; empty: unknown
    bool folder_given = false;  // named by --install-folder rather than the settings file
};

// The context of an install folder as the monitor names it (backslashes), and whether
// --install-folder named it (else the settings file did).
JournalContext journal_context(const std::string& install_folder, bool given_on_command_line);

// The journal's line for a notice of the job monitor or the job driver, from what the backend
// knows of it; empty for a notice that says nothing here.
std::string journal_line(const Notice& notice, const posix::NoticeFacts& facts,
                         const JournalContext& context);

} // namespace qm::host
