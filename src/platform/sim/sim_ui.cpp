// The simulated window layer: the one window, message boxes, the message loop, and the record
// of calls every test reads.
#include <deque>
#include <memory>
#include <tuple>

#include "platform/common/notice_texts.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"
#include "platform/ui_port.h"

namespace qm {
namespace sim {

SimState& state()
{
    static SimState s;
    return s;
}

void record(std::string call)
{
    state().calls.push_back(std::move(call));
}

void reset()
{
    // Watches still open belong to the session thrown away: they are forgotten with it.
    state() = SimState{};
}

const std::vector<std::string>& calls()
{
    return state().calls;
}

void clear_calls()
{
    state().calls.clear();
}

std::vector<std::string> calls_starting_with(const std::vector<std::string>& prefixes)
{
    std::vector<std::string> out;
    for (const std::string& call : state().calls) {
        for (const std::string& prefix : prefixes) {
            if (call.compare(0, prefix.size(), prefix) == 0) {
                out.push_back(call);
                break;
            }
        }
    }
    return out;
}

void set_command_line(const char* line)
{
    state().command_line = line;
}

void fail_class_registration(bool fail)
{
    state().fail_register = fail;
}

void fail_window_creation(bool fail)
{
    state().fail_create = fail;
}

const RegisteredClass* registered_class()
{
    return state().window_class.get();
}

const WindowState* main_window()
{
    return state().window ? &state().window->state : nullptr;
}

const std::vector<ShownMessageBox>& message_boxes()
{
    return state().boxes;
}

const std::vector<Notice>& notices()
{
    return state().notices;
}

void script_message_box_answers(const std::vector<int>& answers)
{
    state().answers.assign(answers.begin(), answers.end());
}

void post_message(Window window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam)
{
    state().queue.push_back(QueuedMessage{window, message, wparam, lparam});
}

std::intptr_t send_message(Window window, std::uint32_t message, std::uintptr_t wparam,
                           std::intptr_t lparam)
{
    const RegisteredClass* c = registered_class();
    if (!c || !c->procedure)
        return 0;
    return c->procedure(window, message, wparam, lparam);
}

bool quit_posted()
{
    return state().quit;
}

int quit_code()
{
    return state().quit_code;
}

std::uint64_t slept_ms()
{
    return state().slept;
}

void on_sleep(std::function<void(std::uint32_t ms)> hook)
{
    state().sleep_hook = std::move(hook);
}

void on_modal(std::function<void()> hook)
{
    state().modal_hook = std::move(hook);
}

void run_modal_hook()
{
    // A copy: the hook may replace itself.
    if (const std::function<void()> hook = state().modal_hook)
        hook();
}

void set_screen_size(std::int32_t width, std::int32_t height)
{
    state().screen_width = width;
    state().screen_height = height;
    if (state().window) {
        state().window->dc.screen_width = width;
        state().window->dc.screen_height = height;
        state().window->dc.raster.reset();
    }
}

} // namespace sim

using sim::record;
using sim::state;

const char* process_command_line()
{
    return state().command_line.c_str();
}

Cursor load_system_cursor(SystemCursor which)
{
    record(which == SystemCursor::Wait ? "load_cursor wait" : "load_cursor arrow");
    return reinterpret_cast<Cursor>(which == SystemCursor::Wait ? &state().wait_cursor
                                                                : &state().arrow_cursor);
}

void set_cursor(Cursor cursor)
{
    const auto* record_of = reinterpret_cast<const sim::CursorRecord*>(cursor);
    record(record_of && record_of->which == SystemCursor::Wait ? "set_cursor wait"
                                                               : "set_cursor arrow");
}

int register_window_class(Instance, const WindowClassSpec& desc)
{
    record(std::string("register_class ") + desc.class_name + " icon " +
           std::to_string(desc.icon_resource) + " menu " + std::to_string(desc.menu_resource));
    if (state().fail_register)
        return -1;
    state().window_class = std::make_unique<sim::RegisteredClass>(sim::RegisteredClass{
        desc.class_name, desc.icon_resource, desc.menu_resource, desc.procedure});
    return 0;
}

Window create_main_window(Instance, const MainWindowSpec& desc)
{
    record(std::string("create_window ") + desc.class_name + " \"" + desc.title + "\" " +
           std::to_string(desc.width) + "x" + std::to_string(desc.height) +
           (desc.minimized ? " minimized" : ""));
    if (state().fail_create || !state().window_class ||
        state().window_class->name != desc.class_name)
        return nullptr;
    auto window = std::make_unique<sim::WindowRecord>();
    window->state.class_name = desc.class_name;
    window->state.title = desc.title;
    window->state.rect = ScreenRect{0, 0, desc.width, desc.height};
    window->state.minimized = desc.minimized;
    window->dc.screen_width = state().screen_width;
    window->dc.screen_height = state().screen_height;
    state().window = std::move(window);
    return sim::handle_of(state().window.get());
}

void show_window(Window handle, int show_command)
{
    sim::WindowRecord* window = sim::window_of(handle);
    record("show_window " + std::to_string(show_command));
    if (!window)
        return;
    // 0 hides; 2, 6 and 7 are the minimising commands; the rest show the window restored.
    window->state.visible = show_command != 0;
    if (show_command == 2 || show_command == 6 || show_command == 7)
        window->state.minimized = true;
    else if (show_command != 0)
        window->state.minimized = false;
}

void move_window(Window handle, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, bool repaint)
{
    sim::WindowRecord* window = sim::window_of(handle);
    record("move_window " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(width) + " " + std::to_string(height) + (repaint ? " repaint" : ""));
    if (window)
        window->state.rect = ScreenRect{x, y, x + width, y + height};
}

void update_window(Window)
{
    record("update_window");
}

void invalidate_window(Window, const ScreenRect& area, bool erase)
{
    record("invalidate " + std::to_string(area.left) + " " + std::to_string(area.top) + " " +
           std::to_string(area.right) + " " + std::to_string(area.bottom) +
           (erase ? " erase" : ""));
}

ScreenRect window_rect(Window handle)
{
    sim::WindowRecord* window = sim::window_of(handle);
    if (!window)
        return ScreenRect{};
    // Where Windows parks a minimised top-level window, at the size of its caption bar.
    if (window->state.minimized)
        return ScreenRect{-32000, -32000, -32000 + 160, -32000 + 28};
    return window->state.rect;
}

ScreenRect restored_window_rect(Window handle)
{
    sim::WindowRecord* window = sim::window_of(handle);
    return window ? window->state.rect : ScreenRect{};
}

bool is_minimized(Window handle)
{
    sim::WindowRecord* window = sim::window_of(handle);
    return window && window->state.minimized;
}

void set_window_title(Window handle, const char* title)
{
    sim::WindowRecord* window = sim::window_of(handle);
    record(std::string("set_title ") + title);
    if (window)
        window->state.title = title;
}

void enable_window(Window handle, bool enabled)
{
    sim::WindowRecord* window = sim::window_of(handle);
    record(enabled ? "enable_window" : "disable_window");
    if (window)
        window->state.enabled = enabled;
}

void bring_window_to_top(Window)
{
    record("bring_to_top");
}

int start_timer(Window handle, unsigned id, unsigned period_ms)
{
    sim::WindowRecord* window = sim::window_of(handle);
    record("start_timer " + std::to_string(id) + " " + std::to_string(period_ms));
    if (!window)
        return -1;
    window->state.timers[id] = period_ms;
    return 0;
}

Menu window_menu(Window window)
{
    return window ? reinterpret_cast<Menu>(&state().menu) : nullptr;
}

void check_menu_item(Menu menu, int command_id, bool checked)
{
    record("check_menu " + std::to_string(command_id) + (checked ? " on" : " off"));
    if (menu && state().window)
        state().window->state.checks[command_id] = checked;
}

int message_box(const char* text, const char* caption)
{
    record(std::string("message_box ") + caption);
    state().boxes.push_back(sim::ShownMessageBox{text, caption});
    sim::run_modal_hook();
    if (state().answers.empty())
        return AnswerOk;
    const int answer = state().answers.front();
    state().answers.pop_front();
    return answer;
}

void show_notice(const Notice& notice)
{
    // A path kept would dangle once the caller's buffer goes; the boxes keep the texts.
    Notice kept = notice;
    kept.path = nullptr;
    state().notices.push_back(kept);
    backend::show_notice_box(notice);
}

void post_quit(int code)
{
    record("post_quit " + std::to_string(code));
    state().quit = true;
    state().quit_code = code;
}

int run_message_loop()
{
    record("message_loop");
    while (!state().quit) {
        if (state().queue.empty())
            return -1;
        const sim::QueuedMessage m = state().queue.front();
        state().queue.pop_front();
        // A message queued with no window goes to the main window.
        sim::send_message(m.window ? m.window : sim::handle_of(state().window.get()), m.message,
                          m.wparam, m.lparam);
    }
    return state().quit_code;
}

std::intptr_t default_window_procedure(Window handle, std::uint32_t message, std::uintptr_t,
                                       std::intptr_t)
{
    sim::WindowRecord* window = sim::window_of(handle);
    record("default_procedure " + std::to_string(message));
    // Closing the window destroys it, as the platform's default handling does.
    if (message == 16 /* close */ && window) {
        window->state.destroyed = true;
        window->state.visible = false;
        sim::send_message(handle, MessageDestroy);
    }
    return 0;
}

void sleep_ms(std::uint32_t ms)
{
    record("sleep " + std::to_string(ms));
    state().slept += ms;
    if (state().sleep_hook)
        state().sleep_hook(ms);
}

} // namespace qm
