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
#include "render/render_page.h"
#include "text/printable.h"

namespace qm {
namespace posix {

State& state()
{
    static State s;
    return s;
}

namespace {

// The size the Windows program's window opens at, on a common screen.
constexpr ScreenRect WindowRect{0, 0, ReferenceScreen.window_width, 400};

UiState& ui()
{
    return state().ui;
}

DeviceCaps screen_caps()
{
    return ReferenceScreen.screen;
}

} // namespace

void configure(const Options& options)
{
    ui().log = options.log;
    ui().prefix = options.log_prefix;
    configure_settings(options.settings_file);
    configure_files();
    configure_printing(options.printer, options.print_service);
    configure_journal(options.notice_wording);
}

Window headless_window()
{
    return reinterpret_cast<Window>(&ui().window);
}

void log_line(const char* text)
{
    if (!ui().log)
        return;
    std::fprintf(ui().log, "%s%s\n", ui().prefix.c_str(), printable(text ? text : "").c_str());
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

void show_notice(const Notice& notice)
{
    // Nobody is here to answer: the pause prompt is said and the page prints at once.
    const posix::NoticeWording& wording = posix::state().journal.wording;
    const std::string line = wording ? wording(notice, posix::notice_facts(notice)) : "";
    if (!line.empty())
        posix::log_line(line.c_str());
}

int message_box(const char* text, const char* caption)
{
    // Any box, as worded: the caption, then the text with its line ends as spaces. A caption
    // that is a path is shown as this system names it.
    std::string line = posix::native_path(caption) + ": ";
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
    return window ? posix::handle_of(reinterpret_cast<posix::Target*>(window)) : nullptr;
}

void release_window_dc(Window, DrawContext) {}

DeviceCaps device_caps(DrawContext dc)
{
    if (dc && posix::target_of(dc)->printer)
        return pdf_device_caps();
    return posix::screen_caps();
}

namespace {

class PrinterCanvas final : public ForwardingCanvas {
public:
    explicit PrinterCanvas(posix::Target* dc) : dc_(dc) {}
    DeviceCaps caps() const override { return pdf_device_caps(); }

protected:
    Canvas* page() const override { return dc_->page; }

private:
    posix::Target* dc_;
};

} // namespace

std::unique_ptr<Canvas> open_canvas(DrawContext dc)
{
    if (dc && posix::target_of(dc)->printer)
        return std::make_unique<PrinterCanvas>(posix::target_of(dc));
    return std::make_unique<NullCanvas>(posix::screen_caps());
}

} // namespace qm
