// What the backend knows of a notice that the notice itself does not say, for the journal's
// wording, which the entry point hands in (posix::Options::notice_wording).
#include "platform/posix/posix.h"
#include "platform/posix/posix_internal.h"

namespace qm::posix {

NoticeFacts notice_facts(const Notice& notice)
{
    NoticeFacts facts;
    if (const Target* dc = target_of(notice.printer)) {
        facts.printer_name = dc->name;
        facts.printer_failure = dc->failure;
        facts.closed = dc->closed;
        facts.closing = dc->closing;
        facts.job_id = dc->job_id;
    }
    facts.unwritable = state().journal.unwritable;
    facts.unwritable_errno = state().journal.unwritable_errno;
    return facts;
}

void set_notice_wording(const NoticeWording& wording)
{
    state().journal.wording = wording;
}

void note_write_failed(const std::string& path, int error)
{
    state().journal.unwritable = path;
    state().journal.unwritable_errno = error;
}

void configure_journal(const NoticeWording& wording)
{
    state().journal = JournalState{wording, {}, 0};
}

} // namespace qm::posix
