#include "host/services/journal_wording.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/posix.h"

namespace qm::host {
namespace {

using posix::native_path;
using posix::NoticeFacts;

// What a line is made from: the notice, what the backend knows of it, and where the install
// folder came from.
struct Line {
    const Notice& n;
    const NoticeFacts& facts;
    const JournalContext& context;
};

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

std::string path_of(const Notice& n)
{
    return n.path ? native_path(n.path) : std::string();
}

// "the job of user 'Alice'" when the file lies in a user folder of the install folder; else the
// job named by its file.
std::string job_label(const std::string& job, const JournalContext& context)
{
    const std::string& folder = context.install_folder;
    if (!folder.empty() && job.size() > folder.size() + 1 &&
        job.compare(0, folder.size(), folder) == 0 && job[folder.size()] == '/') {
        const std::size_t start = folder.size() + 1;
        const std::size_t end = job.find('/', start);
        if (end != std::string::npos)
            return "the job of user '" + job.substr(start, end - start) + "'";
    }
    return job.empty() ? std::string("the job") : "job " + quoted(job);
}

std::string printer_label(const Line& l)
{
    const std::string& name = l.facts.printer_name;
    return name.empty() ? std::string("the printer") : "printer " + quoted(name);
}

// "page 2 of the job of user 'Alice'"
std::string page_label(const Line& l)
{
    return "page " + std::to_string(l.n.page) + " of " + job_label(path_of(l.n), l.context);
}

// Where the desktop sync's install folder is read from, the key the notice names; written with
// slashes, which the settings file takes as well, since a log line shows a backslash escaped.
std::string install_key(const Line& l)
{
    std::string key = l.n.path ? l.n.path : "";
    for (char& c : key)
        if (c == '\\')
            c = '/';
    return key;
}

std::string install_origin(const Line& l)
{
    if (l.context.folder_given)
        return "given by --install-folder";
    return "the Path under [" + install_key(l) + "] in " + posix::settings_file_in_use();
}

// Why a job's file could not be opened for reading.
std::string why_unreadable(const std::string& path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "it is no longer there" : std::strerror(errno);
    if (!S_ISREG(st.st_mode))
        return "it is not a regular file";
    if (access(path.c_str(), R_OK) != 0)
        return std::strerror(errno);
    return "it could not be opened";
}

std::string no_install_folder(const Line& l)
{
    return "no install folder: set Path under [" + install_key(l) + "] in " +
           posix::settings_file_in_use() +
           " (qmspool config install-folder DIR does), or give --install-folder DIR";
}

std::string no_user_folders(const Line& l)
{
    const std::string& folder = l.context.install_folder;
    if (folder.empty())
        return "no user folder with a backup folder in the install folder";
    struct stat st{};
    if (stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return "install folder " + quoted(folder) + " not found (" + install_origin(l) + ")";
        return "cannot read install folder " + quoted(folder) + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode))
        return "install folder " + quoted(folder) + " is not a folder (" + install_origin(l) + ")";
    if (DIR* dir = opendir(folder.c_str())) {
        closedir(dir);
    } else {
        return "cannot read install folder " + quoted(folder) + ": " + std::strerror(errno);
    }
    return "no user folder in install folder " + quoted(folder) +
           " has a backup folder (named 'backup', or one that holds Saved_Preferences.PRC)";
}

std::string pausing(const Line&)
{
    return "pausing between pages is on, but nobody is here to press OK: the next page prints "
           "at once";
}

std::string job_file_gone(const Line& l)
{
    const std::string path = path_of(l.n);
    return "job file " + quoted(path) + " not printed: " + why_unreadable(path);
}

std::string job_file_cut_short(const Line& l)
{
    const std::string path = path_of(l.n);
    std::string line = "job file " + quoted(path) + " not printed: it is cut short";
    if (l.n.detail)
        line += std::string(": ") + l.n.detail;
    return line;
}

std::string failure_reason(const Line& l)
{
    const std::string& failure = l.facts.printer_failure;
    return failure.empty() ? std::string() : " (" + failure + ")";
}

std::string document_refused(const Line& l)
{
    return page_label(l) + " could not be sent to " + printer_label(l) + failure_reason(l) +
           ": the rest of the job is not printed";
}

std::string page_refused(const Line& l)
{
    return page_label(l) + " could not be started on " + printer_label(l) + failure_reason(l) +
           ": the rest of the job is not printed";
}

std::string no_printer_from_dialog(const Line& l)
{
    return "no printer for " + job_label(path_of(l.n), l.context) +
           ": name one with --printer NAME";
}

std::string nothing_to_reprint(const Line&)
{
    return "no job has been printed yet: nothing to print again";
}

std::string nothing_to_save(const Line&)
{
    return "no job has been printed yet: nothing to save as a BMP file";
}

std::string bmp_unwritable(const Line& l)
{
    const NoticeFacts& f = l.facts;
    if (f.unwritable.empty())
        return "cannot write the BMP file";
    return "cannot write the BMP file " + quoted(f.unwritable) + ": " +
           std::strerror(f.unwritable_errno);
}

std::string job_found(const Line& l)
{
    const std::string path = path_of(l.n);
    const std::string label = job_label(path, l.context);
    return label.compare(0, 3, "job") == 0 ? "found " + label
                                           : "found " + label + ": " + quoted(path);
}

std::string page_done(const Line& l)
{
    const NoticeFacts& f = l.facts;
    if (f.closed == NoticeFacts::Closed::No)
        return {};
    if (f.closed == NoticeFacts::Closed::NotPrinted)
        return page_label(l) + " not printed: " + f.closing;
    return page_label(l) + " printed on " + quoted(f.closing) + " as CUPS job " + f.closing +
           "-" + std::to_string(f.job_id);
}

// The journal has no line of its own for a job's end: its last page's line says how it went.
std::string job_ended(const Line&)
{
    return {};
}

// In the order of NoticeKind.
constexpr std::string (*Lines[])(const Line&) = {
    no_install_folder, no_user_folders,    pausing,          job_file_gone,
    job_file_cut_short, document_refused,  page_refused,     no_printer_from_dialog,
    nothing_to_reprint, nothing_to_save,   bmp_unwritable,   job_found,
    page_done,          job_ended,
};
static_assert(sizeof Lines / sizeof Lines[0] == NoticeKindCount, "one line per notice");

} // namespace

std::string journal_line(const Notice& notice, const NoticeFacts& facts,
                         const JournalContext& context)
{
    const int i = static_cast<int>(notice.kind);
    return i >= 0 && i < NoticeKindCount ? Lines[i](Line{notice, facts, context}) : std::string();
}

JournalContext journal_context(const std::string& install_folder, bool given_on_command_line)
{
    JournalContext context;
    context.install_folder = native_path(install_folder.c_str());
    while (context.install_folder.size() > 1 && context.install_folder.back() == '/')
        context.install_folder.pop_back();
    context.folder_given = given_on_command_line;
    return context;
}

} // namespace qm::host
