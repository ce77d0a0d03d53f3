// The POSIX backend of the ports: POSIX files, inotify change watches, a settings file in place
// of the registry, a headless window layer whose message boxes become lines on a log, and
// printing through CUPS with a PDF page per printed page. It serves the ports the job monitor
// and the job driver use (not the window, menu, dialogs or settings writes of the Windows
// program, which has no use on a headless machine). This header is for the entry point
// that runs the program's logic over it (`qmspool watch`): it says where the settings live,
// which printer to use and where messages go.
#pragma once

#include <cstdio>
#include <string>

#include "platform/handles.h"
#include "platform/ui_port.h"

namespace qm::posix {

struct Options {
    // The settings file; empty: settings_file_path().
    std::string settings_file;
    // The printer every job goes to; empty: CUPS's default.
    std::string printer;
    // Where message boxes and printing news go, one line each, after `log_prefix`.
    std::FILE* log = stderr;
    std::string log_prefix = "qmspool watch: ";
};

// Sets the backend up afresh (the settings file is read again at its next use).
void configure(const Options& options);

// A text value for this run only, in front of the settings file's (which is not changed).
// `key_path` names the four keys joined by backslashes.
void set_value(const std::string& key_path, const std::string& name, const std::string& text);

// Stores a text value in the settings file, which is made (with its folders) when missing: the
// value's line under its key is replaced or added, every other line kept. The file is written
// under a temporary name and renamed into place, so a failure leaves it as it was. False, with
// a line that says why in `why`, when the file cannot be read or written.
bool store_value(const std::string& key_path, const std::string& name, const std::string& text,
                 std::string& why);

// $XDG_CONFIG_HOME/quillmark/settings, or ~/.config/quillmark/settings.
std::string settings_file_path();

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

// The line a notice of the job monitor or the job driver is on the log, in this system's terms
// (the settings file and key, the folder, file, user or printer it is about); empty for a
// notice that says nothing here.
std::string notice_line(const Notice& notice);

// The install folder the watch uses, and whether --install-folder named it (else the settings
// file did): for the lines that name it.
void note_install_folder(const std::string& folder, bool given_on_command_line);

} // namespace qm::posix
