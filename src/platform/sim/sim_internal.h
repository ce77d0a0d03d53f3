// State shared by the simulated backend's sources.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/draw_port.h"
#include "platform/handles.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_print.h"
#include "platform/ui_port.h"
#include "render/canvas.h"
#include "render/raster_canvas.h"

namespace qm::sim {

// The one window's device context.
struct WindowDc {
    std::int32_t screen_width = 1024;
    std::int32_t screen_height = 768;
    StockFont font = StockFont::SystemFixed; // as a fresh device context, the system font
    std::uint32_t colour = 0;
    std::vector<TextDrawn> text;
    // What the renderer draws on the window, made at the screen's size when first asked for.
    std::unique_ptr<RasterCanvas> raster;
};

struct WindowRecord {
    WindowState state;
    WindowDc dc;
};

struct CursorRecord {
    SystemCursor which;
};

struct MenuRecord {};

// The ports hand these out as their opaque handles. A printer's drawing context is not a
// WindowDc: open_printer_canvas tells the two apart.
inline WindowRecord* window_of(Window window)
{
    return reinterpret_cast<WindowRecord*>(window);
}
inline Window handle_of(WindowRecord* window)
{
    return reinterpret_cast<Window>(window);
}
inline WindowDc* dc_of(DrawContext dc)
{
    return reinterpret_cast<WindowDc*>(dc);
}
inline DrawContext handle_of(WindowDc* dc)
{
    return reinterpret_cast<DrawContext>(dc);
}

struct QueuedMessage {
    Window window;
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
};

// A change watch the files port handed out (sim_files.cpp).
struct Watch;

struct FileState {
    std::set<Watch*> watches; // still open; those of a session thrown away are forgotten
    std::map<std::string, bool> held; // path -> others may read it
};

struct PrinterDc {
    std::string name;
    DeviceCaps caps;
    std::unique_ptr<RasterCanvas> page; // the page under way
    int document = -1;                  // index into the documents, while one is open
};

struct PrintState {
    std::map<std::string, DeviceCaps> printers;
    std::string default_printer;
    std::deque<DialogAnswer> dialog_answers;
    int dialogs = 0;
    int start_document_calls = 0, start_page_calls = 0;
    int fail_document_at = 0, fail_page_at = 0;
    std::vector<PrintedDocument> documents;
    std::vector<std::unique_ptr<PrinterDc>> dcs;
};

struct DialogState {
    std::vector<SaveDialogShown> shown;
    std::deque<std::optional<std::string>> answers;
};

// The whole simulated session: the one piece of state of the backend.
struct SimState {
    std::vector<std::string> calls;
    std::map<std::string, StoredValue> values; // key path + '|' + name
    std::map<std::string, bool> keys;          // every key path that exists
    bool fail_writes = false;

    std::string command_line = "QMSpooler.exe";
    bool fail_register = false;
    bool fail_create = false;
    std::unique_ptr<RegisteredClass> window_class;
    std::unique_ptr<WindowRecord> window;
    MenuRecord menu;
    std::vector<ShownMessageBox> boxes;
    std::vector<Notice> notices;
    std::deque<int> answers;
    std::deque<QueuedMessage> queue;
    bool quit = false;
    int quit_code = 0;
    std::uint64_t slept = 0;
    std::function<void(std::uint32_t)> sleep_hook;
    std::function<void()> modal_hook;

    OtherSpooler other_spooler;
    int instance_claims = 0; // claims the program holds now

    std::int32_t screen_width = 1024;
    std::int32_t screen_height = 768;
    std::int32_t fixed_height = 16;
    std::int32_t gui_height = 13;

    FileState files;
    PrintState printing;
    DialogState dialogs;

    // What the ports hand out as the two system cursors and the session instance's claim: the
    // handles stay the same across resets, as the state itself does.
    CursorRecord arrow_cursor{SystemCursor::Arrow};
    CursorRecord wait_cursor{SystemCursor::Wait};
    char instance_claim = 0;
    // The text drawn while there is no window: none.
    std::vector<TextDrawn> no_text;
};

// The whole simulated session, reset by reset().
SimState& state();

// What a modal box's own message loop lets happen before the box is answered.
void run_modal_hook();

void record(std::string call);
// A canvas on a simulated printer's page; null when `dc` is no printer's.
std::unique_ptr<Canvas> open_printer_canvas(DrawContext dc);

} // namespace qm::sim
