// State shared by the simulated backend's sources.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/draw_port.h"
#include "platform/handles.h"
#include "platform/sim/sim.h"
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
};

// The whole simulated session, reset by reset().
SimState& state();

// What a modal box's own message loop lets happen before the box is answered.
void run_modal_hook();

void record(std::string call);
void reset_files();
void reset_printers();
void reset_dialogs();
// A canvas on a simulated printer's page; null when `dc` is no printer's.
std::unique_ptr<Canvas> open_printer_canvas(DrawContext dc);

} // namespace qm::sim
