// How the Windows program words the job monitor's and the job driver's notices: one table that
// the Windows backend and the simulated one both show, so that a test of the program's logic
// sees the very texts and captions the user does.
#pragma once

#include "platform/ui_port.h"

namespace qm::backend {

struct NoticeText {
    const char* text;    // null: the notice is not shown (a job's progress)
    const char* caption; // null: the caption is the notice's path
};

NoticeText notice_text(NoticeKind kind);

// Shows the notice as its message box, if it has one.
void show_notice_box(const Notice& notice);

} // namespace qm::backend
