// The simulated platform, for tests: every port call is recorded in order, message boxes are
// answered from a script, the settings store lives in memory, the window is a record, drawing is
// recorded, files are the real files of the test's folders (paths may use either separator),
// and change watches fire when a test reports a change or the program deletes a file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/draw_port.h"
#include "platform/handles.h"
#include "platform/settings_port.h"
#include "platform/ui_port.h"
#include "render/raster_canvas.h"

namespace qm::sim {

// Everything back to a fresh machine: no calls, no stored values, no window, default script.
void reset();

// ---- Recorded calls, one text per port call, e.g. "move_window 25 25 618 825 repaint".
const std::vector<std::string>& calls();
void clear_calls();
// The recorded calls whose text starts with one of the prefixes, in order.
std::vector<std::string> calls_starting_with(const std::vector<std::string>& prefixes);

// ---- Settings store. Key and value names match without regard to letter case.
enum class ValueType { Binary, Text, Number };
struct StoredValue {
    ValueType type = ValueType::Binary;
    std::vector<std::uint8_t> bytes;
};
void store_value(const KeyPath& keys, const char* name, const std::vector<std::uint8_t>& bytes,
                 ValueType type = ValueType::Binary);
// Null when there is no such value.
const StoredValue* stored_value(const KeyPath& keys, const char* name);
bool key_exists(const KeyPath& keys);
std::size_t stored_value_count();
// Makes every write fail from now on.
void fail_writes(bool fail);

// ---- Window layer.
void set_command_line(const char* line);
void fail_class_registration(bool fail);
void fail_window_creation(bool fail);

struct RegisteredClass {
    std::string name;
    int icon_resource = 0;
    int menu_resource = 0;
    WindowProcedure procedure = nullptr;
};
const RegisteredClass* registered_class();

struct WindowState {
    std::string class_name;
    std::string title;
    ScreenRect rect; // when restored
    bool visible = false;
    bool minimized = false;
    bool enabled = true;
    bool destroyed = false;
    std::map<int, bool> checks;          // menu item id -> checked
    std::map<unsigned, unsigned> timers; // id -> period
};
// The main window's record; null before it was created.
const WindowState* main_window();

struct ShownMessageBox {
    std::string text;
    std::string caption;
};
const std::vector<ShownMessageBox>& message_boxes();
// The answers of the next boxes, in order; AnswerOk once the script runs out.
void script_message_box_answers(const std::vector<int>& answers);
// Every notice sent, shown or not (a job's progress is not), in order.
const std::vector<Notice>& notices();

// Queues a message for the window (null: the main window, whenever it is created);
// run_message_loop() delivers it. A loop whose queue runs dry
// before the quit message returns -1 rather than waiting forever.
void post_message(Window window, std::uint32_t message, std::uintptr_t wparam = 0,
                  std::intptr_t lparam = 0);
// Sends a message straight to the window procedure, as the platform does for painting.
std::intptr_t send_message(Window window, std::uint32_t message, std::uintptr_t wparam = 0,
                           std::intptr_t lparam = 0);
bool quit_posted();
int quit_code();
// Milliseconds spent in sleep_ms since the reset.
std::uint64_t slept_ms();
// Runs `hook` (with the milliseconds asked for) inside every sleep_ms from now on, as if the
// world went on while the program slept; an empty hook removes it.
void on_sleep(std::function<void(std::uint32_t ms)> hook);
// Runs `hook` inside every message box and save dialog from now on, before it is answered, as
// the box's own message loop lets the world go on (a timer tick, another program's change); an
// empty hook removes it.
void on_modal(std::function<void()> hook);

// ---- The session's one spooler.
// Another spooler of the session, as the program's start-up finds it: whether it holds the
// instance, whether its main window can be found, and that window's state. `unavailable` makes
// the claim fail as when the platform cannot tell.
struct OtherSpooler {
    bool running = false;
    bool has_window = true;
    bool minimized = true;
    bool foreground = false;
    bool unavailable = false;
};
void set_other_spooler(const OtherSpooler& other);
// The other spooler as the program left it (restored and in front once brought forward).
const OtherSpooler& other_spooler();
// Whether the program holds the instance now.
bool instance_held();

// ---- Drawing on the window.
void set_screen_size(std::int32_t width, std::int32_t height);
void set_font_height(StockFont font, std::int32_t height);
struct TextDrawn {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::string text;
    StockFont font = StockFont::DefaultGui;
    std::uint32_t colour = 0;
};
// Text drawn on the window's device context since the last reset or clear_drawing().
const std::vector<TextDrawn>& text_drawn();
void clear_drawing();
// The window's pixels as the page renderer drew them (the status screen's text is recorded in
// text_drawn() instead); null before the window exists.
const RasterCanvas* window_raster();
// The font and colour currently selected into the window's device context.
StockFont selected_font();
std::uint32_t selected_colour();

// ---- The save dialog.
struct SaveDialogShown {
    Window owner = nullptr;
    std::vector<std::string> filter; // the zero-terminated texts, in order, up to the final zero
    int filter_index = 0;
    std::string initial_name; // what the name buffer held when the dialog opened
    std::size_t name_size = 0;
    std::string title;
    unsigned flags = 0;
    std::string default_extension;
};
const std::vector<SaveDialogShown>& save_dialogs();
// The answers of the next save dialogs, in order: a path chosen, or nullopt for Cancel. Once the
// script runs out the dialog is cancelled.
void script_save_dialog(const std::vector<std::optional<std::string>>& answers);

// ---- Files and watches.
// Reports a change to the file (or folder entry) at `path`: watches on its folder fire, and a
// watch on `path` itself when it is a watched folder that went or came.
void notify_change(const char* path);
// Makes a file look held open by another program: opens that share no access fail, and with
// `allow_shared_read` false opens that share reading fail too.
void hold_file(const char* path, bool allow_shared_read);
// The other program closes the file again.
void release_file(const char* path);
bool watch_fired(WatchHandle watch);
std::string watch_folder(WatchHandle watch);
int open_watch_count();
// The path as the simulated file system sees it (backslashes become slashes).
std::string native_path(const char* path);

} // namespace qm::sim
