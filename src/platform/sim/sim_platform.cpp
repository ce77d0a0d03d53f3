// The simulated window layer, drawing and settings store.
#include <cstring>
#include <deque>
#include <memory>
#include <tuple>

#include "platform/draw_port.h"
#include "platform/settings_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"
#include "platform/ui_port.h"
#include "render/raster_canvas.h"

namespace qm {

// The one window and its device context.
struct DrawObject {
    std::int32_t screen_width = 1024;
    std::int32_t screen_height = 768;
    StockFont font = StockFont::SystemFixed; // as a fresh device context, the system font
    std::uint32_t colour = 0;
    std::vector<sim::TextDrawn> text;
    // What the renderer draws on the window, made at the screen's size when first asked for.
    std::unique_ptr<RasterCanvas> raster;
};

struct WindowObject {
    sim::WindowState state;
    DrawObject dc;
};

namespace {

DeviceCaps window_caps(const DrawObject& dc)
{
    DeviceCaps c;
    c.horzres = dc.screen_width;
    c.vertres = dc.screen_height;
    c.logpixelsx = 96;
    c.logpixelsy = 96;
    c.numcolors = -1;
    return c;
}

RasterCanvas* raster_of(DrawObject& dc)
{
    if (!dc.raster)
        dc.raster = RasterCanvas::create(window_caps(dc));
    return dc.raster.get();
}

} // namespace

struct CursorObject {
    SystemCursor which;
};

struct MenuObject {};

namespace sim {
namespace {

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
    std::unique_ptr<WindowObject> window;
    MenuObject menu;
    std::vector<ShownMessageBox> boxes;
    std::deque<int> answers;
    std::deque<QueuedMessage> queue;
    bool quit = false;
    int quit_code = 0;
    std::uint64_t slept = 0;
    std::function<void(std::uint32_t)> sleep_hook;

    std::int32_t screen_width = 1024;
    std::int32_t screen_height = 768;
    std::int32_t fixed_height = 16;
    std::int32_t gui_height = 13;
};

SimState& state()
{
    static SimState s;
    return s;
}

CursorObject ArrowCursor{SystemCursor::Arrow};
CursorObject WaitCursor{SystemCursor::Wait};

std::string key_path(const KeyPath& keys, int depth)
{
    std::string path;
    for (int i = 0; i < depth; ++i) {
        if (i > 0)
            path += '\\';
        path += keys.names[i] ? keys.names[i] : "";
    }
    return path;
}

std::string value_path(const KeyPath& keys, const char* name)
{
    return key_path(keys, 4) + '|' + name;
}

const char* font_name(StockFont font)
{
    return font == StockFont::SystemFixed ? "system_fixed" : "default_gui";
}

} // namespace

void record(std::string call)
{
    state().calls.push_back(std::move(call));
}

void reset()
{
    state() = SimState{};
    reset_files();
    reset_printers();
    reset_dialogs();
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

void store_value(const KeyPath& keys, const char* name, const std::vector<std::uint8_t>& bytes,
                 ValueType type)
{
    for (int depth = 1; depth <= 4; ++depth)
        state().keys[key_path(keys, depth)] = true;
    state().values[value_path(keys, name)] = StoredValue{type, bytes};
}

const StoredValue* stored_value(const KeyPath& keys, const char* name)
{
    auto it = state().values.find(value_path(keys, name));
    return it == state().values.end() ? nullptr : &it->second;
}

bool key_exists(const KeyPath& keys)
{
    return state().keys.count(key_path(keys, 4)) != 0;
}

std::size_t stored_value_count()
{
    return state().values.size();
}

void fail_writes(bool fail)
{
    state().fail_writes = fail;
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

void set_font_height(StockFont font, std::int32_t height)
{
    (font == StockFont::SystemFixed ? state().fixed_height : state().gui_height) = height;
}

const std::vector<TextDrawn>& text_drawn()
{
    static const std::vector<TextDrawn> none;
    return state().window ? state().window->dc.text : none;
}

void clear_drawing()
{
    if (state().window)
        state().window->dc.text.clear();
}

const RasterCanvas* window_raster()
{
    return state().window ? raster_of(state().window->dc) : nullptr;
}

StockFont selected_font()
{
    return state().window ? state().window->dc.font : StockFont::SystemFixed;
}

std::uint32_t selected_colour()
{
    return state().window ? state().window->dc.colour : 0;
}

} // namespace sim

using sim::record;
using sim::state;

// ---- Settings store.

int read_binary_value(const KeyPath& keys, const char* name, void* dest, std::size_t size)
{
    record(std::string("read_value ") + name);
    for (int depth = 1; depth <= 4; ++depth) {
        if (!state().keys.count(sim::key_path(keys, depth)))
            return -1;
    }
    const sim::StoredValue* value = sim::stored_value(keys, name);
    if (!value || value->bytes.size() > size)
        return -1;
    if (!value->bytes.empty())
        std::memcpy(dest, value->bytes.data(), value->bytes.size());
    return static_cast<int>(value->bytes.size());
}

int write_binary_value(const KeyPath& keys, const char* name, const void* source, std::size_t size)
{
    record(std::string("write_value ") + name);
    if (state().fail_writes)
        return -1;
    const auto* bytes = static_cast<const std::uint8_t*>(source);
    sim::store_value(keys, name, std::vector<std::uint8_t>(bytes, bytes + size));
    return 0;
}

// ---- Window layer.

const char* process_command_line()
{
    return state().command_line.c_str();
}

Cursor load_system_cursor(SystemCursor which)
{
    record(which == SystemCursor::Wait ? "load_cursor wait" : "load_cursor arrow");
    return which == SystemCursor::Wait ? &sim::WaitCursor : &sim::ArrowCursor;
}

void set_cursor(Cursor cursor)
{
    record(cursor && cursor->which == SystemCursor::Wait ? "set_cursor wait" : "set_cursor arrow");
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
    auto window = std::make_unique<WindowObject>();
    window->state.class_name = desc.class_name;
    window->state.title = desc.title;
    window->state.rect = ScreenRect{0, 0, desc.width, desc.height};
    window->state.minimized = desc.minimized;
    window->dc.screen_width = state().screen_width;
    window->dc.screen_height = state().screen_height;
    state().window = std::move(window);
    return state().window.get();
}

void show_window(Window window, int show_command)
{
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

void move_window(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, bool repaint)
{
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

ScreenRect window_rect(Window window)
{
    if (!window)
        return ScreenRect{};
    // Where Windows parks a minimised top-level window, at the size of its caption bar.
    if (window->state.minimized)
        return ScreenRect{-32000, -32000, -32000 + 160, -32000 + 28};
    return window->state.rect;
}

ScreenRect restored_window_rect(Window window)
{
    return window ? window->state.rect : ScreenRect{};
}

bool is_minimized(Window window)
{
    return window && window->state.minimized;
}

void set_window_title(Window window, const char* title)
{
    record(std::string("set_title ") + title);
    if (window)
        window->state.title = title;
}

void enable_window(Window window, bool enabled)
{
    record(enabled ? "enable_window" : "disable_window");
    if (window)
        window->state.enabled = enabled;
}

void bring_window_to_top(Window)
{
    record("bring_to_top");
}

int start_timer(Window window, unsigned id, unsigned period_ms)
{
    record("start_timer " + std::to_string(id) + " " + std::to_string(period_ms));
    if (!window)
        return -1;
    window->state.timers[id] = period_ms;
    return 0;
}

Menu window_menu(Window window)
{
    return window ? &state().menu : nullptr;
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
    if (state().answers.empty())
        return AnswerOk;
    const int answer = state().answers.front();
    state().answers.pop_front();
    return answer;
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
        sim::send_message(m.window ? m.window : state().window.get(), m.message, m.wparam,
                          m.lparam);
    }
    return state().quit_code;
}

std::intptr_t default_window_procedure(Window window, std::uint32_t message, std::uintptr_t,
                                       std::intptr_t)
{
    record("default_procedure " + std::to_string(message));
    // Closing the window destroys it, as the platform's default handling does.
    if (message == 16 /* close */ && window) {
        window->state.destroyed = true;
        window->state.visible = false;
        sim::send_message(window, MessageDestroy);
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

// ---- Drawing.

namespace {

// What the renderer sees of a simulated window: the window's raster, with every call recorded.
class SimCanvas final : public Canvas {
public:
    explicit SimCanvas(DrawObject* dc) : dc_(dc) {}

    DeviceCaps caps() const override { return window_caps(*dc_); }
    void fill_white(const Rect& r) override
    {
        record("canvas fill_white " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
               std::to_string(r.width) + " " + std::to_string(r.height));
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->fill_white(r);
    }
    std::unique_ptr<BandSurface> create_band_surface(std::int32_t width,
                                                     std::int32_t height) override
    {
        RasterCanvas* raster = raster_of(*dc_);
        return raster ? raster->create_band_surface(width, height) : nullptr;
    }
    void stretch_band(const BandSurface& band, const Rect& dst) override
    {
        record("canvas stretch_band");
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->stretch_band(band, dst);
    }
    bool select_font(std::int32_t char_height, std::int32_t avg_width) override
    {
        RasterCanvas* raster = raster_of(*dc_);
        return raster && raster->select_font(char_height, avg_width);
    }
    void release_font() override
    {
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->release_font();
    }
    std::int32_t text_out(std::int32_t x, std::int32_t y, const char* text,
                          std::size_t length) override
    {
        record("canvas text_out " + std::string(text, length));
        RasterCanvas* raster = raster_of(*dc_);
        return raster ? raster->text_out(x, y, text, length) : 0;
    }
    std::unique_ptr<PreviewSurface> create_preview_cache(std::int32_t width,
                                                         std::int32_t height) override
    {
        RasterCanvas* raster = raster_of(*dc_);
        return raster ? raster->create_preview_cache(width, height) : nullptr;
    }
    void draw_preview(const PreviewSurface& cache) override
    {
        record("canvas draw_preview");
        if (RasterCanvas* raster = raster_of(*dc_))
            raster->draw_preview(cache);
    }

private:
    DrawObject* dc_;
};

} // namespace

DeviceCaps device_caps(DrawContext dc)
{
    if (auto printer = sim::open_printer_canvas(dc))
        return printer->caps();
    return window_caps(*dc);
}

void fill_white(DrawContext dc, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height)
{
    record("fill_white " + std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(width) + " " + std::to_string(height));
    if (RasterCanvas* raster = raster_of(*dc))
        raster->fill_white(Rect{x, y, width, height});
}

void set_text_colour(DrawContext dc, std::uint32_t colour)
{
    dc->colour = colour;
}

void select_stock_font(DrawContext dc, StockFont font)
{
    dc->font = font;
    record(std::string("select_font ") + sim::font_name(font));
}

std::int32_t text_height(DrawContext dc)
{
    return dc->font == StockFont::SystemFixed ? state().fixed_height : state().gui_height;
}

void draw_text(DrawContext dc, std::int32_t x, std::int32_t y, const char* text, std::size_t length)
{
    dc->text.push_back(sim::TextDrawn{x, y, std::string(text, length), dc->font, dc->colour});
}

std::unique_ptr<Canvas> open_canvas(DrawContext dc)
{
    if (auto printer = sim::open_printer_canvas(dc))
        return printer;
    return std::make_unique<SimCanvas>(dc);
}

void paint_window(Window window, void (*painter)(DrawContext dc))
{
    record("begin_paint");
    if (window)
        painter(&window->dc);
    record("end_paint");
}

DrawContext acquire_window_dc(Window window)
{
    record("get_dc");
    return window ? &window->dc : nullptr;
}

void release_window_dc(Window, DrawContext)
{
    record("release_dc");
}

} // namespace qm
