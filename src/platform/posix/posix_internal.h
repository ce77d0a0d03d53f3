// State shared by the POSIX backend's sources.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/posix/posix.h"
#include "render/canvas.h"
#include "render/pdf_canvas.h"

namespace qm::posix {

// A drawing target: the headless window, or a printer with the document under way.
struct Target {
    bool printer = false;
    std::string name;                 // the printer's
    std::unique_ptr<PrinterJob> job;
    std::unique_ptr<PdfDocument> document;
    Canvas* page = nullptr;           // between start_page and end_page
    bool failed = false;              // the document under way failed
    std::string failure;              // why the last document or page could not be started
    // How the last document closed: not yet, printed by the print service, or not printed and why.
    using Closed = NoticeFacts::Closed;
    Closed closed = Closed::No;
    std::string closing;              // the job's printer, or why it was not printed
    int job_id = 0;
};

// The ports hand targets out as their opaque drawing contexts.
inline Target* target_of(DrawContext dc)
{
    return reinterpret_cast<Target*>(dc);
}
inline DrawContext handle_of(Target* target)
{
    return reinterpret_cast<DrawContext>(target);
}

// A change watch the files port handed out (posix_files.cpp).
struct Watch;

struct FilesState {
    int inotify = -1;              // the process's one instance, while any watch is open
    std::vector<Watch*> watches;   // every open watch
    std::set<std::string> skipped; // folders whose odd names have been reported
};

struct SettingsState {
    using Bytes = std::vector<unsigned char>;
    std::string file;
    bool loaded = false;
    std::string unreadable; // why the file could not be read; empty when it was, or is not there
    std::map<std::string, Bytes> values;    // from the file: key path + '|' + name, folded
    std::map<std::string, Bytes> overrides; // for this run only
};

struct PrintingState {
    std::string printer; // the one chosen; empty: the service's default
    PrintService service;
    // Why the last look-up of the default printer found none, for the print dialog to say.
    std::string lookup_error;
};

struct JournalState {
    NoticeWording wording;
    std::string unwritable; // the last file that could not be opened for writing
    int unwritable_errno = 0;
};

struct UiState {
    std::FILE* log = stderr;
    std::string prefix = "qmspool watch: ";
    Target window; // the one window is its own drawing target
};

// The backend's state, its one piece: each source works on its part.
struct State {
    UiState ui;
    FilesState files;
    SettingsState settings;
    PrintingState printing;
    JournalState journal;
};
State& state();

void configure_settings(const std::string& file);
void configure_files();
void configure_printing(const std::string& printer, const PrintService& service);
void configure_journal(const NoticeWording& wording);

// Why the last file opened for writing could not be, for the journal (notice_facts).
void note_write_failed(const std::string& path, int error);

} // namespace qm::posix
