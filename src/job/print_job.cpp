#include "job/print_job.h"

#include <cstdint>
#include <memory>

#include "render/page_loop.h"
#include "platform/draw_port.h"
#include "platform/files_port.h"
#include "platform/print_port.h"
#include "platform/ui_port.h"
#include "render/render_page.h"
#include "spool/spool_check.h"
#include "spool/spool_container.h"

namespace qm {
namespace {

constexpr char MainTitle[] = "Quillmark PC Print Spooler";
constexpr std::uint32_t PageWaitMs = 500;

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

void pause_before_page(const Settings& settings, Window main_window)
{
    if (settings.pause_pages) {
        bring_window_to_top(main_window);
        show_notice(Notice{NoticeKind::PausePrompt});
        bring_window_to_top(main_window);
    } else {
        sleep_ms(PageWaitMs);
    }
}

// Starts the printer's document and page for page `sheet`; false once the user has been told
// that the printer refused either (a document begun is ended).
bool start_sheet(DrawContext printer, const char* path, int sheet)
{
    if (start_document(printer) <= 0) {
        show_notice(Notice{NoticeKind::DocumentRefused, path, sheet, printer});
        return false;
    }
    if (start_page(printer) < 0) {
        show_notice(Notice{NoticeKind::PageRefused, path, sheet, printer});
        end_document(printer);
        show_notice(Notice{NoticeKind::PageDone, path, sheet, printer});
        return false;
    }
    return true;
}

// The page loop of a run whose printer (mode 0) is chosen and whose window is busy. Returns the
// run's result.
int print_pages(const JobSession& session, const char* path, JobMode mode, DrawContext window_dc,
                DrawContext printer, std::FILE* bmp)
{
    Window main_window = session.main_window;
    SpoolStream s = SpoolStream::adopt_file(open_file(path, "rb"));
    if (!s.is_open()) {
        show_notice(Notice{NoticeKind::JobFileGone, path});
        return -1;
    }
    // The printer's run is the second of a job: the first showed its first page.
    if (mode != JobPrinter)
        show_notice(Notice{NoticeKind::JobFound, path});
    std::int32_t count = 0;
    read_spool_header(s, &count, nullptr, nullptr);
    s.seek(0);
    ++session.counters.jobs;
    if (count <= 0)
        return 0;
    // Nothing is drawn from a file that lacks bytes its records promise: they would read as
    // blank pages, or swallow the pages after them, and the job would seem to have printed.
    if (const SpoolCut cut = find_spool_cut(s, count)) {
        char missing[160];
        describe_spool_cut(cut, missing, sizeof missing);
        show_notice(Notice{NoticeKind::JobFileCutShort, path, 0, nullptr, missing});
        return JobCutShort;
    }

    std::unique_ptr<Canvas> window_canvas = open_canvas(window_dc);
    std::unique_ptr<Canvas> printer_canvas = mode == JobPrinter ? open_canvas(printer) : nullptr;
    int result = 0;
    std::int32_t image = 1;
    int sheet = 0; // the page's document on the printer, from 1
    auto plan = [&](std::int32_t first, PagePasses& passes) {
        if (mode == JobFirstPage) {
            if (first > 0)
                return false;
        } else {
            pause_before_page(session.settings, main_window);
        }
        if (mode == JobPrinter && !start_sheet(printer, path, ++sheet)) {
            result = -1;
            return false;
        }
        const DeviceCaps screen = window_dc ? device_caps(window_dc) : DeviceCaps{};
        char title[64];
        std::snprintf(title, sizeof title, "Printing image %d...", static_cast<int>(image));
        set_window_title(main_window, title);

        if (mode == JobPrinter) {
            passes.printer = printer_canvas.get();
            passes.on_paper = printer_page_placement(device_caps(printer));
        }
        // A window whose device context could not be had gets no window pass.
        const ScreenRect r = window_rect(main_window);
        passes.window = window_canvas.get();
        passes.in_window =
            window_page_placement(wrap_sub(r.right, r.left), screen.horzres, screen.vertres);
        passes.bmp = bmp;
        return true;
    };
    auto done = [&](std::int32_t, const PageDrawn& drawn) {
        if (drawn.shown == 0) {
            ++image;
            ++session.counters.pages;
        }
        if (mode == JobPrinter) {
            end_page(printer);
            end_document(printer);
            show_notice(Notice{NoticeKind::PageDone, path, sheet, printer});
        }
        return true;
    };
    walk_pages(s, count, session.render, plan, done);
    return result;
}

} // namespace

DrawContext open_default_printer()
{
    char name[256];
    if (!default_printer_name(name, sizeof name))
        return nullptr;
    return create_printer_dc(name);
}

int run_print_job(const JobSession& session, const char* path, JobMode mode, std::FILE* bmp)
{
    Window main_window = session.main_window;
    BusyHold running(session.tick_busy);
    int result;
    {
        // Destroyed in reverse: the spool file (inside print_pages), then the window's context,
        // then the printer's.
        PrinterDc printer;
        WindowDc window_dc(main_window);
        if (mode == JobPrinter) {
            if (!session.settings.show_dialog)
                printer.reset(open_default_printer());
            if (session.settings.show_dialog || !printer.get()) {
                const PrintDialogAnswer answer = print_dialog(main_window);
                if (!answer.confirmed)
                    return -1;
                if (!answer.dc) {
                    show_notice(Notice{NoticeKind::NoPrinterFromDialog, path});
                    return -1;
                }
                printer.reset(answer.dc);
            }
        }

        set_window_title(main_window, "Printing...");
        set_cursor(session.busy_cursor);
        enable_window(main_window, false);

        result = path && *path
                     ? print_pages(session, path, mode, window_dc.get(), printer.get(), bmp)
                     : 0;
    }
    enable_window(main_window, true);
    set_cursor(session.normal_cursor);
    set_window_title(main_window, MainTitle);
    return result;
}

} // namespace qm
