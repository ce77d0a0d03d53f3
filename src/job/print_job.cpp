#include "job/print_job.h"

#include <cstdint>
#include <memory>

#include "app/app_state.h"
#include "job/page_loop.h"
#include "platform/draw_port.h"
#include "platform/print_port.h"
#include "platform/ui_port.h"
#include "render/render_page.h"
#include "spool/spool_container.h"

namespace qm {
namespace {

constexpr char MainTitle[] = "Quillmark PC Print Spooler";
constexpr char PrintErrorCaption[] = "Print Error";
constexpr char NoFileText[] = "The spooling queue file is empty or no longer exists.\n";
constexpr char StartDocText[] = "Windows returned an error when starting the print job.  Check "
                                "your printer connection and driver settings.";
constexpr char StartPageText[] = "The Windows printer driver returned an error.  Check your "
                                 "printer connection and driver settings.";
constexpr char DialogErrorText[] = "Error setting printer from print dialog";
constexpr std::uint32_t PageWaitMs = 500;

bool JobRunning = false;

// Owns the printer's device context for the run.
class PrinterDc {
public:
    PrinterDc() = default;
    ~PrinterDc()
    {
        if (dc_)
            delete_printer_dc(dc_);
    }
    PrinterDc(const PrinterDc&) = delete;
    PrinterDc& operator=(const PrinterDc&) = delete;
    void reset(DrawContext dc)
    {
        if (dc_)
            delete_printer_dc(dc_);
        dc_ = dc;
    }
    DrawContext get() const { return dc_; }

private:
    DrawContext dc_ = nullptr;
};

class RunningFlag {
public:
    RunningFlag() : was_(JobRunning) { JobRunning = true; }
    ~RunningFlag() { JobRunning = was_; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool was_;
};

void pause_before_page(Window main_window)
{
    if (AppSettings.pause_pages) {
        bring_window_to_top(main_window);
        message_box("Press OK to print page", "Pausing between pages is On");
        bring_window_to_top(main_window);
    } else {
        sleep_ms(PageWaitMs);
    }
}

// The page loop of a run whose printer (mode 0) is chosen and whose window is busy. Returns the
// run's result.
int print_pages(const char* path, int mode, Window main_window, DrawContext window_dc,
                DrawContext printer, std::FILE* bmp)
{
    SpoolStream s = SpoolStream::open_file(path);
    if (!s.is_open()) {
        message_box(NoFileText, path);
        return -1;
    }
    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    s.seek(0);
    ++SessionCounters.jobs;
    if (count <= 0)
        return 0;

    std::unique_ptr<Canvas> window_canvas = open_canvas(window_dc);
    std::unique_ptr<Canvas> printer_canvas = mode == JobPrinter ? open_canvas(printer) : nullptr;
    int result = 0;
    std::int32_t image = 1;
    for_each_page(s, count, [&](std::int32_t first) {
        if (mode == JobFirstPage) {
            if (first > 0)
                return false;
        } else {
            pause_before_page(main_window);
        }
        if (mode == JobPrinter) {
            if (start_document(printer) <= 0) {
                message_box(StartDocText, PrintErrorCaption);
                result = -1;
                return false;
            }
            if (start_page(printer) < 0) {
                message_box(StartPageText, PrintErrorCaption);
                result = -1;
                end_document(printer);
                return false;
            }
        }
        const DeviceCaps screen = window_dc ? device_caps(window_dc) : DeviceCaps{};
        char title[64];
        std::snprintf(title, sizeof title, "Printing image %d...", static_cast<int>(image));
        set_window_title(main_window, title);

        const std::int64_t before = s.tell();
        if (mode == JobPrinter) {
            // The page's origin on the corner of the paper, not of the printable area.
            const DeviceCaps p = device_caps(printer);
            const PagePlacement at{wrap_sub(0, p.physical_offset_x),
                                   wrap_sub(0, p.physical_offset_y),
                                   p.logpixelsx,
                                   p.logpixelsy,
                                   p.horzres,
                                   p.vertres};
            render_page(*printer_canvas, at, &s, first, count, false, false, nullptr);
            s.seek(before);
        }
        // One inch of page becomes an eighth of the window's outer width.
        const ScreenRect r = window_rect(main_window);
        const std::int32_t scale = wrap_add(wrap_sub(r.right, r.left), 1) / 8;
        const PagePlacement at{0, 0, scale, scale, screen.horzres, screen.vertres};
        // A window whose device context could not be had draws nothing: a failed window pass.
        if (window_canvas &&
            render_page(*window_canvas, at, &s, first, count, true, true, bmp) == 0) {
            ++image;
            ++SessionCounters.pages;
        }
        if (mode == JobPrinter) {
            end_page(printer);
            end_document(printer);
        }
        return true;
    });
    return result;
}

} // namespace

bool print_job_running()
{
    return JobRunning;
}

DrawContext open_default_printer()
{
    char name[256];
    if (!default_printer_name(name, sizeof name))
        return nullptr;
    return create_printer_dc(name);
}

int run_print_job(const char* path, int mode, Cursor normal_cursor, Cursor busy_cursor,
                  Window main_window, std::FILE* bmp)
{
    RunningFlag running;
    int result;
    {
        // Destroyed in reverse: the spool file (inside print_pages), then the window's context,
        // then the printer's.
        PrinterDc printer;
        WindowDc window_dc(main_window);
        if (mode == JobPrinter) {
            if (!AppSettings.show_dialog)
                printer.reset(open_default_printer());
            if (AppSettings.show_dialog || !printer.get()) {
                const PrintDialogAnswer answer = print_dialog(main_window);
                if (!answer.confirmed)
                    return -1;
                if (!answer.dc) {
                    message_box(DialogErrorText, PrintErrorCaption);
                    return -1;
                }
                printer.reset(answer.dc);
            }
        }

        set_window_title(main_window, "Printing...");
        set_cursor(busy_cursor);
        enable_window(main_window, false);

        result = path && *path ? print_pages(path, mode, main_window, window_dc.get(),
                                             printer.get(), bmp)
                               : 0;
    }
    enable_window(main_window, true);
    set_cursor(normal_cursor);
    set_window_title(main_window, MainTitle);
    return result;
}

} // namespace qm
