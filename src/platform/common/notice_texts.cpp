#include "platform/common/notice_texts.h"

namespace qm::backend {
namespace {

constexpr char PrintError[] = "Print Error";

// In the order of NoticeKind.
constexpr NoticeText Texts[] = {
    {"Cannot locate a path to the Palm Desktop backup files", "Registry Error"},
    {"Can't find any valid user folders", "Quillmark Spooler"},
    {"Press OK to print page", "Pausing between pages is On"},
    {"The spooling queue file is empty or no longer exists.\n", nullptr},
    {"The spooling queue file is incomplete or damaged, so it was not printed.\n", nullptr},
    {"Windows returned an error when starting the print job.  Check your printer connection "
     "and driver settings.",
     PrintError},
    {"The Windows printer driver returned an error.  Check your printer connection and driver "
     "settings.",
     PrintError},
    {"Error setting printer from print dialog", PrintError},
    {"Could not find any previous print jobs.", "Nothing to Print"},
    {"No previous print job found", "Nothing to spool"},
    {"Cannot open specified file for write.", "test.bmp"},
    {nullptr, nullptr}, // JobFound
    {nullptr, nullptr}, // PageDone
    {nullptr, nullptr}, // JobEnded
};
static_assert(sizeof Texts / sizeof Texts[0] == NoticeKindCount, "one text per notice");

} // namespace

NoticeText notice_text(NoticeKind kind)
{
    const int i = static_cast<int>(kind);
    return i >= 0 && i < NoticeKindCount ? Texts[i] : NoticeText{nullptr, nullptr};
}

void show_notice_box(const Notice& notice)
{
    const NoticeText t = notice_text(notice.kind);
    if (!t.text)
        return;
    message_box(t.text, t.caption ? t.caption : (notice.path ? notice.path : ""));
}

} // namespace qm::backend
