// The headless window layer: one window that is never shown, message boxes as lines on the log,
// and a window device context whose canvas draws nothing (the job driver's window pass still
// runs on it, for it is what tells where each page ends).
#include <time.h>

#include <cerrno>
#include <string>

#include "platform/draw_port.h"
#include "platform/posix/posix.h"
#include "platform/posix/posix_internal.h"
#include "platform/ui_port.h"
#include "render/forwarding_canvas.h"
#include "render/null_canvas.h"

namespace qm {

struct WindowObject {
    DrawObject dc;
};

namespace posix {
namespace {

// The size the Windows program's window opens at, on a common screen.
constexpr std::int32_t ScreenWidth = 1280;
constexpr std::int32_t ScreenHeight = 1024;
constexpr ScreenRect WindowRect{0, 0, 618, 400};

struct UiState {
    std::FILE* log = stderr;
    std::string prefix = "qmspool watch: ";
    WindowObject window;
};

UiState& ui()
{
    static UiState s;
    return s;
}

DeviceCaps screen_caps()
{
    return DeviceCaps{ScreenWidth, ScreenHeight, 96, 96, -1, 0, 0};
}

} // namespace

void configure(const Options& options)
{
    ui().log = options.log;
    ui().prefix = options.log_prefix;
    configure_settings(options.settings_file);
    configure_printing(options.printer);
}

Window headless_window()
{
    return &ui().window;
}

void log_line(const char* text)
{
    if (!ui().log)
        return;
    std::fprintf(ui().log, "%s%s\n", ui().prefix.c_str(), text);
    std::fflush(ui().log);
}

} // namespace posix

// --- the window calls the job monitor and the job driver make: nothing to show

void set_cursor(Cursor) {}
void show_window(Window, int) {}
void set_window_title(Window, const char*) {}
void enable_window(Window, bool) {}
void bring_window_to_top(Window) {}
bool is_minimized(Window)
{
    return false;
}
ScreenRect window_rect(Window)
{
    return posix::WindowRect;
}

int message_box(const char* text, const char* caption)
{
    // One line: the caption, then the text with its line ends as spaces.
    std::string line = std::string(caption ? caption : "") + ": ";
    for (const char* p = text ? text : ""; *p; ++p)
        line += (*p == '\n' || *p == '\r') ? ' ' : *p;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    posix::log_line(line.c_str());
    return AnswerOk;
}

void sleep_ms(std::uint32_t ms)
{
    // The whole time, signals or not: the settling wait before a job must not be cut short by
    // the signal that asks the watch to stop once the job is done.
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// --- drawing

DrawContext acquire_window_dc(Window window)
{
    return window ? &window->dc : nullptr;
}

void release_window_dc(Window, DrawContext) {}

DeviceCaps device_caps(DrawContext dc)
{
    if (dc && dc->printer)
        return pdf_device_caps();
    return posix::screen_caps();
}

namespace {

class PrinterCanvas final : public ForwardingCanvas {
public:
    explicit PrinterCanvas(DrawObject* dc) : dc_(dc) {}
    DeviceCaps caps() const override { return pdf_device_caps(); }

protected:
    Canvas* page() const override { return dc_->page; }

private:
    DrawObject* dc_;
};

} // namespace

std::unique_ptr<Canvas> open_canvas(DrawContext dc)
{
    if (dc && dc->printer)
        return std::make_unique<PrinterCanvas>(dc);
    return std::make_unique<NullCanvas>(posix::screen_caps());
}

} // namespace qm
