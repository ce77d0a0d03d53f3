// The POSIX backend of the ports: POSIX files, inotify change watches, a settings file in place
// of the registry, a headless window layer whose message boxes become lines on a log, and
// printing through the print service it is handed, a PDF page per printed page. It serves the
// ports the job monitor and the job driver use (not the window, menu, dialogs or settings writes
// of the Windows program, which has no use on a headless machine). This header is for the entry
// point that runs the program's logic over it (`qmspool watch`): it says where the settings live,
// which printer to use and where messages go.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "platform/handles.h"
#include "platform/ui_port.h"

namespace qm::posix {

// A document on its way to a printer: its bytes as they are made, then finished (the printer has
// the job) or, when dropped unfinished, cancelled.
class PrinterJob {
public:
    virtual ~PrinterJob() = default;
    // Sends the next bytes of the document; false once sending failed.
    virtual bool write(const unsigned char* data, std::size_t length) = 0;
    // True when the printer took the job; otherwise `error` names the printer and the reason.
    virtual bool finish(std::string& error) = 0;
    virtual const std::string& printer() const = 0;
    virtual int id() const = 0;
};

// How the backend reaches printers: the entry point hands it the print service it uses, so the
// backend holds no client of a print server of its own. Unset: there is no printer.
struct PrintService {
    // Starts a job on the named printer (empty: the default one); null, with `error` saying
    // why, when it could not be.
    std::unique_ptr<PrinterJob> (*start_job)(const std::string& printer, const char* title,
                                             std::string& error) = nullptr;
    // The default printer's name; false, with `error` saying why (or empty), when there is none.
    bool (*find_default)(std::string& name, std::string& error) = nullptr;
};

// A notice's line on the log, worded by the entry point (empty: no line). Unset: notices say
// nothing on the log.
struct NoticeFacts;
using NoticeWording = std::function<std::string(const Notice&, const NoticeFacts&)>;

struct Options {
    // The settings file; empty: settings_file_path().
    std::string settings_file;
    // The printer every job goes to; empty: the print service's default.
    std::string printer;
    PrintService print_service;
    NoticeWording notice_wording;
    // Where message boxes and printing news go, one line each, after `log_prefix`.
    std::FILE* log = stderr;
    std::string log_prefix = "qmspool watch: ";
};

// Sets the backend up afresh (the settings file is read again at its next use).
void configure(const Options& options);

// A text value for this run only, in front of the settings file's (which is not changed).
// `key_path` names the four keys joined by backslashes.
void set_value(const std::string& key_path, const std::string& name, const std::string& text);

// $XDG_CONFIG_HOME/quillmark/settings, or ~/.config/quillmark/settings.
std::string settings_file_path();

// The settings file read: the one configured, else settings_file_path().
std::string settings_file_in_use();

// The settings file's text; false when it is not there (`why` empty) or, with `why` saying so,
// when it is not a regular file of at most 64 KiB or cannot be read. For the settings file's
// writer, which keeps every line it does not change.
bool read_settings_text(const std::string& path, std::string& text, std::string& why);

// The settings file has been written: it is read again at the next use.
void settings_file_changed();

// The settings file's syntax, which its writer shares: a key or value name as the reader
// matches it (lower case, backslashes for slashes, no slash at either end), and a line without
// the blanks around it.
std::string fold(std::string text);
std::string trim(const std::string& s);

// Why the settings file is there but cannot be read (refused, not a regular file, too large);
// empty when it was read or is not there. Read now unless it has been: nothing goes to the log,
// where its first use would say it.
std::string settings_file_unreadable();

// The one headless window: it takes every window call and shows nothing.
Window headless_window();

// The path as this system names it: the program builds paths with backslashes.
std::string native_path(const char* path);

// One line on the log, as printable() writes it (text/printable.h): a name with a line end in
// it cannot make two lines or forge one.
void log_line(const char* text);

// What the backend alone knows of a notice, for the journal's wording: the printer's (its name,
// why its last document or page could not be started, how its last document closed) and the
// last file that could not be opened for writing.
struct NoticeFacts {
    std::string printer_name;
    std::string printer_failure;
    // How the printer's last document closed: not yet, printed by the print service (`closing`
    // names the printer, `job_id` the job), or not printed (`closing` says why).
    enum class Closed { No, Printed, NotPrinted } closed = Closed::No;
    std::string closing;
    int job_id = 0;
    std::string unwritable;
    int unwritable_errno = 0;
};
NoticeFacts notice_facts(const Notice& notice);

// Sets the wording of the notices on the log (the host's journal) in place of the one the
// options gave.
void set_notice_wording(const NoticeWording& wording);

} // namespace qm::posix
