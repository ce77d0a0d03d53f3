// The window layer the program needs: one top-level window with a menu, its messages, a timer,
// cursors, modal message boxes and the thread's message loop. Cut in the program's terms; the
// Windows backend maps each call onto one USER call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handles.h"

namespace qm {

// Window messages the program handles. The numbers are the Windows ones, which the message
// dispatch passes through unchanged to the default handling.
enum : std::uint32_t {
    MessageDestroy = 2,
    MessageMove = 3,
    MessageSize = 5,
    MessagePaint = 15,
    MessageInitDialog = 272,
    MessageCommand = 273,
    MessageTimer = 275,
    MessageVScroll = 277,
    MessageLButtonDown = 513,
};

// Show commands (the Windows numbers): the program's own two, and whatever the start-up show
// command the program was given, passed through.
enum : int { ShowNormal = 1, ShowMinimize = 6 };

enum class SystemCursor { Arrow, Wait };

// The answer of a message box that has only an OK button.
enum : int { AnswerOk = 1 };

using WindowProcedure = std::intptr_t (*)(Window window, std::uint32_t message,
                                          std::uintptr_t wparam, std::intptr_t lparam);

struct WindowClassSpec {
    const char* class_name;
    int icon_resource;       // of the program's own resources
    int menu_resource;
    WindowProcedure procedure;
    // The class also gets the arrow cursor, a white background and no class styles.
};

struct MainWindowSpec {
    const char* class_name;
    const char* title;
    int width;   // at the platform's default position
    int height;
    bool minimized; // created minimised, as an overlapped window with the usual frame
};

// A window's outer rectangle in screen coordinates.
struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// The whole command line of the process, program path included.
const char* process_command_line();

Cursor load_system_cursor(SystemCursor which);
void set_cursor(Cursor cursor);

// 0, or -1 when the class cannot be registered.
int register_window_class(Instance instance, const WindowClassSpec& desc);
// Null when the window cannot be created.
Window create_main_window(Instance instance, const MainWindowSpec& desc);

void show_window(Window window, int show_command);
void move_window(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, bool repaint);
// Paints the window's invalid parts at once.
void update_window(Window window);
// Marks a rectangle of the client area for repainting.
void invalidate_window(Window window, const ScreenRect& area, bool erase);
// The window's rectangle as it is now; a minimised window reports where the platform parks it.
ScreenRect window_rect(Window window);
// The rectangle the window has when it is shown restored, minimised or not.
ScreenRect restored_window_rect(Window window);
bool is_minimized(Window window);
void set_window_title(Window window, const char* title);
void enable_window(Window window, bool enabled);
void bring_window_to_top(Window window);

// Starts a periodic timer whose ticks arrive as MessageTimer. 0, or -1 on failure.
int start_timer(Window window, unsigned id, unsigned period_ms);

Menu window_menu(Window window);
void check_menu_item(Menu menu, int command_id, bool checked);

// A modal box with no owner and one OK button; returns the answer (AnswerOk, or 0 when the box
// could not be shown). Other messages of the thread are dispatched while it is open.
int message_box(const char* text, const char* caption);

// What the job monitor and the job driver tell the user, one value per situation; each backend
// words it in its own terms. The last three are a job's progress, which the Windows program
// does not show.
enum class NoticeKind {
    NoInstallFolder,     // path: the key whose Path value names no install folder
    NoUserFolders,       // path: that key; the install folder holds no user folder to watch
    PausePrompt,         // pausing between pages: the user is asked before each page
    JobFileGone,         // path: the job's file is empty or cannot be read
    JobFileCutShort,     // path, detail: the job's file lacks bytes its records promise
    DocumentRefused,     // page, printer: the printer would not start the page's document
    PageRefused,         // page, printer: the printer would not start the page
    NoPrinterFromDialog, // path: the print dialog gave no printer for the job
    NothingToReprint,    // no job to print again
    NothingToSave,       // no job to save as a BMP file
    BmpUnwritable,       // path: the BMP file cannot be opened for writing
    JobFound,            // path: a job's file opened for its first run (not the printer's)
    PageDone,            // page, printer: the page's document closed on the printer, which
                         // the backend knows printed or not
    JobEnded,            // path: the job was printed, or given up
};
constexpr int NoticeKindCount = static_cast<int>(NoticeKind::JobEnded) + 1;

// A notice and its facts; which facts a kind carries is said above, the others stay empty.
struct Notice {
    NoticeKind kind;
    const char* path = nullptr;     // the job's file, or the BMP file
    int page = 0;                   // the job's page on the printer, from 1
    DrawContext printer = nullptr;  // the printer's context
    const char* detail = nullptr;   // what is missing from a file cut short, in one line
};

// Tells the user, as a modal box with one OK button where the notice is shown at all (other
// messages of the thread are dispatched while it is open).
void show_notice(const Notice& notice);

// Ends the message loop once the messages before it are handled.
void post_quit(int code);
// Runs the thread's message loop until post_quit; returns the quit code.
int run_message_loop();
// The platform's own handling of a message the program does not handle itself.
std::intptr_t default_window_procedure(Window window, std::uint32_t message,
                                       std::uintptr_t wparam, std::intptr_t lparam);

// Blocks the thread; no message is dispatched meanwhile.
void sleep_ms(std::uint32_t ms);

} // namespace qm
