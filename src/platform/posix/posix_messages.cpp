// What `qmspool watch` says in the journal, in this system's terms. The job monitor and the job
// driver speak to a Windows user ("Registry Error", "Windows returned an error ..."); here each of
// their messages becomes one line that names the setting, folder, file or printer it is about.
// The backend also follows a job through the calls it serves (its file opened, each document
// started and finished on the printer), so that the journal says whose job was found and which
// CUPS job each page became.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/posix.h"
#include "platform/posix/posix_internal.h"
#include "spool/spool_check.h"
#include "spool/spool_container.h"

namespace qm::posix {
namespace {

// Where the desktop sync's install folder is read from, as the monitor asks for it; written with
// slashes, which the settings file takes as well, since a log line shows a backslash escaped.
constexpr char InstallKey[] = "Software/U.S. Robotics/Pilot Desktop/Core";

struct JournalState {
    std::string install_folder;  // as this system names it; empty while not known
    bool folder_given = false;   // named by --install-folder rather than the settings file
    std::string printer;         // of the printer context alive, if any
    std::string job;             // the job's file, once opened
    int page = 0;                // the job's documents started on the printer
    std::string print_failure;   // why the last document or page could not be started
    std::string unwritable;      // the last file that could not be opened for writing
    int unwritable_errno = 0;
};

JournalState& journal()
{
    static JournalState s;
    return s;
}

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

// "the job of user 'Alice'" when the file lies in a user folder of the install folder; else the
// job named by its file.
std::string job_label()
{
    const JournalState& j = journal();
    const std::string& folder = j.install_folder;
    if (!folder.empty() && j.job.size() > folder.size() + 1 &&
        j.job.compare(0, folder.size(), folder) == 0 && j.job[folder.size()] == '/') {
        const std::size_t start = folder.size() + 1;
        const std::size_t end = j.job.find('/', start);
        if (end != std::string::npos)
            return "the job of user '" + j.job.substr(start, end - start) + "'";
    }
    return j.job.empty() ? std::string("the job") : "job " + quoted(j.job);
}

std::string printer_label()
{
    const std::string& p = journal().printer;
    return p.empty() ? std::string("the printer") : "printer " + quoted(p);
}

std::string install_origin()
{
    if (journal().folder_given)
        return "given by --install-folder";
    return std::string("the Path under [") + InstallKey + "] in " + settings_file_in_use();
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

std::string no_install_folder(const char*)
{
    return std::string("no install folder: set Path under [") + InstallKey + "] in " +
           settings_file_in_use() +
           " (qmspool config install-folder DIR does), or give --install-folder DIR";
}

std::string no_user_folders(const char*)
{
    const std::string& folder = journal().install_folder;
    if (folder.empty())
        return "no user folder with a backup folder in the install folder";
    struct stat st{};
    if (stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return "install folder " + quoted(folder) + " not found (" + install_origin() + ")";
        return "cannot read install folder " + quoted(folder) + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode))
        return "install folder " + quoted(folder) + " is not a folder (" + install_origin() + ")";
    if (DIR* dir = opendir(folder.c_str())) {
        closedir(dir);
    } else {
        return "cannot read install folder " + quoted(folder) + ": " + std::strerror(errno);
    }
    return "no user folder in install folder " + quoted(folder) +
           " has a backup folder (named 'backup', or one that holds Saved_Preferences.PRC)";
}

std::string pausing(const char*)
{
    return "pausing between pages is on, but nobody is here to press OK: the next page prints "
           "at once";
}

std::string job_file_gone(const char* caption)
{
    const std::string path = native_path(caption);
    return "job file " + quoted(path) + " not printed: " + why_unreadable(path);
}

std::string job_file_cut_short(const char* caption)
{
    const std::string path = native_path(caption);
    std::string line = "job file " + quoted(path) + " not printed: it is cut short";
    SpoolStream s = SpoolStream::open_file(path.c_str());
    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    if (const SpoolCut cut = find_spool_cut(s, count)) {
        char what[160];
        describe_spool_cut(cut, what, sizeof what);
        line += std::string(": ") + what;
    }
    return line;
}

std::string failure_reason()
{
    const std::string& why = journal().print_failure;
    return why.empty() ? std::string() : " (" + why + ")";
}

std::string document_refused(const char*)
{
    return "page " + std::to_string(journal().page) + " of " + job_label() +
           " could not be sent to " + printer_label() + failure_reason() +
           ": the rest of the job is not printed";
}

std::string page_refused(const char*)
{
    return "page " + std::to_string(journal().page) + " of " + job_label() +
           " could not be started on " + printer_label() + failure_reason() +
           ": the rest of the job is not printed";
}

std::string no_printer_from_dialog(const char*)
{
    return "no printer for " + job_label() + ": name one with --printer NAME";
}

std::string nothing_to_reprint(const char*)
{
    return "no job has been printed yet: nothing to print again";
}

std::string nothing_to_save(const char*)
{
    return "no job has been printed yet: nothing to save as a BMP file";
}

std::string bmp_unwritable(const char*)
{
    const JournalState& j = journal();
    if (j.unwritable.empty())
        return "cannot write the BMP file";
    return "cannot write the BMP file " + quoted(j.unwritable) + ": " +
           std::strerror(j.unwritable_errno);
}

struct Translation {
    const char* text;    // the Windows program's text, exactly
    const char* caption; // its caption; null where the caption is a path
    std::string (*line)(const char* caption);
};

// Every message the job monitor and the job driver show. A message missing here is logged as the
// Windows program words it; the backend's test reads their sources to find every one.
constexpr Translation Translations[] = {
    {"Cannot locate a path to the Palm Desktop backup files", "Registry Error",
     no_install_folder},
    {"Can't find any valid user folders", "Quillmark Spooler", no_user_folders},
    {"Press OK to print page", "Pausing between pages is On", pausing},
    {"The spooling queue file is empty or no longer exists.\n", nullptr, job_file_gone},
    {"The spooling queue file is incomplete or damaged, so it was not printed.\n", nullptr,
     job_file_cut_short},
    {"Windows returned an error when starting the print job.  Check your printer connection "
     "and driver settings.",
     "Print Error", document_refused},
    {"The Windows printer driver returned an error.  Check your printer connection and driver "
     "settings.",
     "Print Error", page_refused},
    {"Error setting printer from print dialog", "Print Error", no_printer_from_dialog},
    {"Could not find any previous print jobs.", "Nothing to Print", nothing_to_reprint},
    {"No previous print job found", "Nothing to spool", nothing_to_save},
    {"Cannot open specified file for write.", "test.bmp", bmp_unwritable},
};

} // namespace

std::string linux_message(const char* text, const char* caption)
{
    if (!text)
        return {};
    for (const Translation& t : Translations) {
        if (std::strcmp(t.text, text) != 0)
            continue;
        if (t.caption && (!caption || std::strcmp(t.caption, caption) != 0))
            continue;
        return t.line(caption ? caption : "");
    }
    return {};
}

void note_install_folder(const std::string& folder, bool given_on_command_line)
{
    std::string f = native_path(folder.c_str());
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    journal().install_folder = f;
    journal().folder_given = given_on_command_line;
}

void note_printer(const std::string& name)
{
    journal().printer = name;
}

void note_job_opened(const std::string& path)
{
    JournalState& j = journal();
    // The job driver shows a job's first page in the window before it prints: an open with no
    // printer at hand is a job starting, the one after it the same job going to the printer.
    if (j.printer.empty()) {
        j.job = path;
        const std::string label = job_label();
        log_line((label.compare(0, 3, "job") == 0 ? "found " + label
                                                  : "found " + label + ": " + quoted(path))
                     .c_str());
    }
    j.page = 0;
}

void note_document_started()
{
    ++journal().page;
    journal().print_failure.clear();
}

void note_print_failure(const std::string& why)
{
    journal().print_failure = why;
}

void note_document_printed(const std::string& printer, int cups_id)
{
    const std::string line = "page " + std::to_string(journal().page) + " of " + job_label() +
                             " printed on " + quoted(printer) + " as CUPS job " + printer + "-" +
                             std::to_string(cups_id);
    log_line(line.c_str());
}

void note_document_failed(const std::string& why)
{
    const std::string line =
        "page " + std::to_string(journal().page) + " of " + job_label() + " not printed: " + why;
    log_line(line.c_str());
}

void note_write_failed(const std::string& path, int error)
{
    journal().unwritable = path;
    journal().unwritable_errno = error;
}

void configure_journal()
{
    journal() = JournalState{};
}

} // namespace qm::posix
