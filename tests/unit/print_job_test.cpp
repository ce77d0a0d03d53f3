#include <string>
#include <vector>

#include "app/main_window.h"
#include "app_fixture.h"
#include "job/job_start.h"
#include "job/print_job.h"
#include "monitor/monitor_state.h"
#include "platform/sim/sim_print.h"
#include "platform/ui_port.h"
#include "spool/spool_writer.h"

namespace qm::test {
namespace {

constexpr char NoFile[] = "The spooling queue file is empty or no longer exists.\n";

// A black 10 x 10 square (1-bit) at 100 dpi, `left` pixels in.
Bytes square(std::uint8_t flags, std::uint16_t left = 0)
{
    return band_record(KindBand1, flags, band_header(10, 10, 100, left, 0), Bytes(20, 0xFF), true);
}

class PrintJob : public JobTest {
protected:
    void SetUp() override
    {
        JobTest::SetUp();
        sim::clear_calls();
    }

    // Writes a spool file of these records and returns its path.
    std::string job(const std::vector<Bytes>& records)
    {
        SpoolImage img;
        img.records = records;
        return job(img);
    }
    std::string job(const SpoolImage& img)
    {
        tree_.file("job.pdb");
        write_file(tree_.path("job.pdb").c_str(), build_spool(img));
        return tree_.path("job.pdb");
    }

    int run(const std::string& path, JobMode mode, std::FILE* bmp = nullptr)
    {
        return run_print_job(app_job_session(State), path.c_str(), mode, bmp);
    }

    static std::vector<std::string> titles()
    {
        std::vector<std::string> out;
        for (const std::string& c : sim::calls_starting_with({"set_title "}))
            out.push_back(c.substr(10));
        return out;
    }
    static std::vector<std::string> printer_calls()
    {
        return sim::calls_starting_with({"start_document", "start_page", "end_page", "end_document",
                                         "print_dialog", "create_printer_dc", "delete_printer_dc",
                                         "message_box", "sleep"});
    }
    // The notices sent, with the page each names.
    static std::vector<std::pair<NoticeKind, int>> notices()
    {
        std::vector<std::pair<NoticeKind, int>> out;
        for (const Notice& n : sim::notices())
            out.emplace_back(n.kind, n.page);
        return out;
    }
    static bool restored()
    {
        const sim::WindowState* w = sim::main_window();
        return w->enabled && w->title == "Quillmark PC Print Spooler";
    }

    TempTree tree_;
};

TEST_F(PrintJob, prints_each_page_as_a_document_of_its_own_and_draws_it_in_the_window)
{
    const std::string path =
        job({square(FlagContinued), text_record(0, "page one"), square(0, 50)});
    ASSERT_EQ(run(path, JobPrinter), 0);

    EXPECT_EQ(printer_calls(),
              (std::vector<std::string>{"create_printer_dc Virtual", "sleep 500", "start_document",
                                        "start_page", "end_page", "end_document", "sleep 500",
                                        "start_document", "start_page", "end_page", "end_document",
                                        "delete_printer_dc"}));
    const auto& docs = sim::printed_documents();
    ASSERT_EQ(docs.size(), 2u);
    ASSERT_EQ(docs[0].pages.size(), 1u);
    ASSERT_EQ(docs[1].pages.size(), 1u);
    EXPECT_TRUE(docs[0].ended && docs[1].ended);
    // At the printer's own resolution: the square 1:1, the second page's 50 pixels in.
    EXPECT_EQ(docs[0].pages[0]->pixel(0, 0), 0x000000u);
    EXPECT_EQ(docs[0].pages[0]->pixel(9, 9), 0x000000u);
    EXPECT_EQ(docs[0].pages[0]->pixel(10, 10), 0xFFFFFFu);
    EXPECT_EQ(docs[1].pages[0]->pixel(50, 0), 0x000000u);
    EXPECT_EQ(docs[1].pages[0]->pixel(49, 0), 0xFFFFFFu);

    EXPECT_EQ(titles(),
              (std::vector<std::string>{"Printing...", "Printing image 1...", "Printing image 2...",
                                        "Quillmark PC Print Spooler"}));
    EXPECT_EQ(SessionCounters.jobs, 1);
    EXPECT_EQ(SessionCounters.pages, 2);
    EXPECT_EQ(sim::open_printer_dcs(), 0);
    EXPECT_TRUE(restored());
    EXPECT_EQ(Render.DisplayMode, DisplayBand);
    ASSERT_TRUE(Render.PreviewCache) << "the last page stays in the window";
}

TEST_F(PrintJob, the_page_origin_is_the_corner_of_the_paper)
{
    sim::add_printer("Margins", DeviceCaps{800, 1000, 100, 100, -1, 25, 40});
    sim::set_default_printer("Margins");
    ASSERT_EQ(run(job({band_record(KindBand1, 0, band_header(100, 100, 100, 30, 50),
                                   Bytes(1300, 0xFF), true)}),
                  JobPrinter),
              0);
    const auto& page = *sim::printed_documents().at(0).pages.at(0);
    EXPECT_EQ(page.pixel(5, 10), 0x000000u) << "30 - 25, 50 - 40";
    EXPECT_EQ(page.pixel(4, 10), 0xFFFFFFu);
    EXPECT_EQ(page.pixel(5, 9), 0xFFFFFFu);
}

TEST_F(PrintJob, a_monochrome_printer_gets_dithered_pages)
{
    sim::add_printer("Mono", DeviceCaps{850, 1100, 100, 100, 2, 0, 0});
    sim::set_default_printer("Mono");
    Bytes grey;
    for (int i = 0; i < 16; ++i) {
        grey.push_back(0x10); // 0x8410: mid grey in RGB565
        grey.push_back(0x84);
    }
    ASSERT_EQ(
        run(job({band_record(KindBand16, 0, band_header(4, 4, 100), grey, false)}), JobPrinter), 0);
    const auto& page = *sim::printed_documents().at(0).pages.at(0);
    int white = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::uint32_t p = page.pixel(x, y);
            EXPECT_TRUE(p == 0 || p == 0xFFFFFF);
            white += p == 0xFFFFFF;
        }
    EXPECT_EQ(white, 10) << "level 128 whitens ten of sixteen";
}

TEST_F(PrintJob, continued_and_consumed_records_stay_on_their_page)
{
    // Page 1: records 0, 1, 2 (the first two continued); page 2: record 3.
    const std::string path =
        job({square(FlagContinued), text_record(FlagContinued, "a"), square(0), square(0)});
    ASSERT_EQ(run(path, JobWindowOnly), 0);
    EXPECT_EQ(titles(),
              (std::vector<std::string>{"Printing...", "Printing image 1...", "Printing image 2...",
                                        "Quillmark PC Print Spooler"}));
    EXPECT_EQ(sim::calls_starting_with({"sleep"}).size(), 2u);
    EXPECT_TRUE(sim::printed_documents().empty());
    EXPECT_EQ(SessionCounters.pages, 2);
}

TEST_F(PrintJob, first_page_mode_draws_one_page_without_pause_or_printer)
{
    const std::string path = job({square(0), square(0), square(0)});
    ASSERT_EQ(run(path, JobFirstPage), 0);
    EXPECT_EQ(printer_calls(), std::vector<std::string>{});
    EXPECT_EQ(titles().size(), 3u);
    EXPECT_EQ(SessionCounters.jobs, 1);
    EXPECT_EQ(SessionCounters.pages, 1);
}

TEST_F(PrintJob, an_ordinary_job_of_n_pages_counts_two_jobs_and_n_plus_one_pages)
{
    const std::string path = job({square(0), square(0), square(0)});
    run(path, JobFirstPage);
    run(path, JobPrinter);
    EXPECT_EQ(SessionCounters.jobs, 2);
    EXPECT_EQ(SessionCounters.pages, 4);
    EXPECT_EQ(sim::printed_documents().size(), 3u);
    // Found once, by its first run; each page on the printer numbered; none of it shown.
    using K = NoticeKind;
    EXPECT_EQ(notices(),
              (std::vector<std::pair<K, int>>{
                  {K::JobFound, 0}, {K::PageDone, 1}, {K::PageDone, 2}, {K::PageDone, 3}}));
    EXPECT_TRUE(sim::message_boxes().empty());
}

TEST_F(PrintJob, pause_prompts_before_every_page_the_first_included)
{
    AppSettings.pause_pages = 1;
    ASSERT_EQ(run(job({square(0), square(0)}), JobPrinter), 0);
    EXPECT_EQ(sim::calls_starting_with({"message_box", "start_document", "bring_to_top"}),
              (std::vector<std::string>{"bring_to_top", "message_box Pausing between pages is On",
                                        "bring_to_top", "start_document", "bring_to_top",
                                        "message_box Pausing between pages is On", "bring_to_top",
                                        "start_document"}));
    EXPECT_EQ(sim::message_boxes().at(0).text, "Press OK to print page");
    EXPECT_EQ(sim::slept_ms(), 0u);
    EXPECT_EQ(sim::printed_documents().size(), 2u);
}

TEST_F(PrintJob, files_without_records_count_a_job_and_do_nothing_else)
{
    SpoolImage negative;
    negative.records = {square(0)};
    negative.count = 0x8000;
    for (const std::string& path : {job(std::vector<Bytes>{}), job(negative)}) {
        sim::clear_calls();
        SessionCounters = {};
        EXPECT_EQ(run(path, JobPrinter), 0);
        EXPECT_EQ(SessionCounters.jobs, 1);
        EXPECT_EQ(SessionCounters.pages, 0);
        EXPECT_TRUE(sim::calls_starting_with({"sleep", "start_document", "message_box"}).empty());
        EXPECT_TRUE(restored());
    }
}

TEST_F(PrintJob, a_missing_file_is_reported_with_its_path_as_caption)
{
    const std::string path = tree_.path("gone.pdb");
    EXPECT_EQ(run(path, JobWindowOnly), -1);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text, NoFile);
    EXPECT_EQ(sim::message_boxes()[0].caption, path);
    EXPECT_EQ(SessionCounters.jobs, 0);
    EXPECT_TRUE(restored());
    EXPECT_EQ(sim::calls_starting_with({"set_cursor"}),
              (std::vector<std::string>{"set_cursor wait", "set_cursor arrow"}));
}

TEST_F(PrintJob, a_file_cut_short_is_said_once_and_nothing_of_it_is_drawn_or_printed)
{
    // The first of two pages' band lacks its last pixel byte, and the sync of the second has
    // not written it yet: the list names it past the end.
    Bytes cut = band_record(KindBand1, 0, band_header(10, 10, 100), Bytes(20, 0xFF), false);
    cut.pop_back();
    SpoolImage img;
    img.records = {cut, square(0)};
    img.positions = {std::nullopt, 5000};
    const std::string path = job(img);
    AppSettings.show_dialog = 1;
    std::snprintf(AppSettings.last_print_path, sizeof AppSettings.last_print_path, "%s",
                  path.c_str());
    print_current_job(app_job_session(State));
    ASSERT_EQ(sim::message_boxes().size(), 1u) << "once, and no printer asked for";
    EXPECT_EQ(sim::message_boxes()[0].text,
              "The spooling queue file is incomplete or damaged, so it was not printed.\n");
    EXPECT_EQ(sim::message_boxes()[0].caption, path);
    EXPECT_EQ(printer_calls(), std::vector<std::string>{"message_box " + path});
    EXPECT_EQ(SessionCounters.pages, 0);
    EXPECT_EQ(SessionCounters.jobs, 1);
    EXPECT_TRUE(restored());

    // The same page whole, and only the second page's record missing: still refused.
    img.records[0] = square(0);
    sim::clear_calls();
    EXPECT_EQ(run(job(img), JobWindowOnly), JobCutShort);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Printing...", "Quillmark PC Print Spooler"}));
}

TEST_F(PrintJob, an_empty_path_still_chooses_and_releases_the_printer)
{
    AppSettings.show_dialog = 1;
    sim::script_print_dialog({{true, "Virtual"}});
    EXPECT_EQ(run("", JobPrinter), 0);
    EXPECT_EQ(sim::print_dialogs_shown(), 1);
    EXPECT_EQ(sim::open_printer_dcs(), 0);
    EXPECT_EQ(SessionCounters.jobs, 0);
    EXPECT_TRUE(sim::message_boxes().empty());
}

TEST_F(PrintJob, the_print_dialog_cancelled_or_without_a_printer)
{
    const std::string path = job({square(0)});
    AppSettings.show_dialog = 1;
    sim::script_print_dialog({{false, ""}, {true, ""}, {true, "Virtual"}});

    EXPECT_EQ(run(path, JobPrinter), -1);
    EXPECT_TRUE(sim::message_boxes().empty()) << "a cancelled dialog says nothing";
    EXPECT_TRUE(titles().empty()) << "and touches nothing";
    EXPECT_TRUE(sim::calls_starting_with({"set_cursor", "disable_window"}).empty());
    EXPECT_EQ(SessionCounters.jobs, 0);
    EXPECT_EQ(sim::calls_starting_with({"get_dc", "release_dc"}),
              (std::vector<std::string>{"get_dc", "release_dc"}));

    EXPECT_EQ(run(path, JobPrinter), -1);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text, "Error setting printer from print dialog");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Print Error");

    EXPECT_EQ(run(path, JobPrinter), 0);
    EXPECT_EQ(sim::printed_documents().size(), 1u);
    EXPECT_EQ(sim::calls_starting_with({"default_printer"}).size(), 0u)
        << "with the dialog on, the default printer is not asked for";
}

TEST_F(PrintJob, no_default_printer_falls_back_to_the_dialog)
{
    sim::set_default_printer("");
    sim::script_print_dialog({{true, "Virtual"}});
    EXPECT_EQ(run(job({square(0)}), JobPrinter), 0);
    EXPECT_EQ(sim::print_dialogs_shown(), 1);
    EXPECT_EQ(sim::printed_documents().size(), 1u);
}

TEST_F(PrintJob, a_refused_document_ends_the_run_after_the_pages_already_printed)
{
    sim::fail_start_document(2);
    EXPECT_EQ(run(job({square(0), square(0), square(0)}), JobPrinter), -1);
    EXPECT_EQ(sim::printed_documents().size(), 1u);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text,
              "Windows returned an error when starting the print job.  Check your printer "
              "connection and driver settings.");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Print Error");
    EXPECT_EQ(sim::calls_starting_with({"end_document"}).size(), 1u) << "no EndDoc for it";
    EXPECT_EQ(notices(), (std::vector<std::pair<NoticeKind, int>>{
                             {NoticeKind::PageDone, 1}, {NoticeKind::DocumentRefused, 2}}));
    EXPECT_EQ(SessionCounters.pages, 1);
    EXPECT_TRUE(restored());
    EXPECT_EQ(sim::open_printer_dcs(), 0);
}

TEST_F(PrintJob, a_refused_page_ends_its_document_and_the_run)
{
    sim::fail_start_page(1);
    EXPECT_EQ(run(job({square(0), square(0)}), JobPrinter), -1);
    EXPECT_EQ(sim::message_boxes().at(0).text,
              "The Windows printer driver returned an error.  Check your printer connection "
              "and driver settings.");
    EXPECT_EQ(sim::calls_starting_with({"start_document", "start_page", "end_document"}),
              (std::vector<std::string>{"start_document", "start_page", "end_document"}));
    EXPECT_EQ(SessionCounters.pages, 0);
}

TEST_F(PrintJob, a_failed_window_pass_keeps_the_image_number_and_the_page_count)
{
    // Record 0 is listed at a position that reads as negative: its page cannot be drawn.
    SpoolImage img;
    img.records = {square(0), square(0)};
    img.positions = {0x80000000u, std::nullopt};
    ASSERT_EQ(run(job(img), JobWindowOnly), 0);
    EXPECT_EQ(titles(),
              (std::vector<std::string>{"Printing...", "Printing image 1...", "Printing image 1...",
                                        "Quillmark PC Print Spooler"}));
    EXPECT_EQ(SessionCounters.pages, 1);
}

TEST_F(PrintJob, a_bmp_stream_receives_the_first_page)
{
    const std::string path = job({square(0), square(0)});
    tree_.file("out.bmp");
    std::FILE* f = std::fopen(tree_.path("out.bmp").c_str(), "wb");
    ASSERT_TRUE(f);
    EXPECT_EQ(run(path, JobFirstPage, f), 0);
    std::fclose(f);
    EXPECT_EQ(std::filesystem::file_size(tree_.path("out.bmp")), 62u + 4 * 10);
}

TEST_F(PrintJob, every_notice_but_a_jobs_progress_is_its_message_box)
{
    const auto& boxes = sim::message_boxes();
    for (int i = 0; i < NoticeKindCount; ++i) {
        const auto kind = static_cast<NoticeKind>(i);
        const std::size_t before = boxes.size();
        show_notice(Notice{kind, "C:\\job.pdb", 1});
        const bool progress = kind == NoticeKind::JobFound || kind == NoticeKind::PageDone ||
                              kind == NoticeKind::JobEnded;
        ASSERT_EQ(boxes.size() - before, progress ? 0u : 1u) << i;
        if (progress)
            continue;
        EXPECT_FALSE(boxes.back().text.empty()) << i;
        // The job's file names the box of a file that cannot be printed; the others, what failed.
        const bool of_the_file =
            kind == NoticeKind::JobFileGone || kind == NoticeKind::JobFileCutShort;
        EXPECT_EQ(boxes.back().caption == "C:\\job.pdb", of_the_file) << i;
    }
}

class CommandLineTick : public PrintJob {
protected:
    void SetUp() override
    {
        PrintJob::SetUp();
        path_ = job({square(0), square(0)});
        std::snprintf(App.PendingPrintPath, sizeof App.PendingPrintPath, "%s", path_.c_str());
    }
    std::string path_;
};

TEST_F(CommandLineTick, prints_once_then_stores_the_settings_and_ends)
{
    AppSettings.open_minimized = 1;
    tick();
    EXPECT_STREQ(AppSettings.last_print_path, path_.c_str());
    EXPECT_EQ(App.PendingPrintPath[0], '\0');
    EXPECT_EQ(sim::printed_documents().size(), 2u);
    EXPECT_EQ(SessionCounters.jobs, 2) << "first page to the window, then the printer";
    EXPECT_EQ(sim::notices().back().kind, NoticeKind::JobEnded);
    EXPECT_TRUE(sim::main_window()->minimized);
    EXPECT_TRUE(sim::quit_posted());
    EXPECT_FALSE(TickBusy);
    sim::clear_calls();
    tick();
    EXPECT_TRUE(sim::calls_starting_with({"get_dc"}).empty()) << "served once";
}

TEST_F(CommandLineTick, on_screen_only_shows_the_job_and_keeps_running)
{
    AppSettings.print_to_screen = 1;
    tick();
    EXPECT_TRUE(sim::printed_documents().empty());
    EXPECT_EQ(SessionCounters.jobs, 1);
    EXPECT_EQ(SessionCounters.pages, 2);
    EXPECT_FALSE(sim::quit_posted());
    EXPECT_FALSE(sim::main_window()->minimized);
}

TEST_F(CommandLineTick, a_relative_path_is_made_absolute)
{
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(tree_.root());
    std::snprintf(App.PendingPrintPath, sizeof App.PendingPrintPath, "job.pdb");
    tick();
    std::filesystem::current_path(here);
    EXPECT_EQ(std::filesystem::path(AppSettings.last_print_path), std::filesystem::path(path_));
    EXPECT_EQ(sim::printed_documents().size(), 2u);
}

TEST_F(CommandLineTick, does_nothing_while_busy)
{
    TickBusy = true;
    tick();
    EXPECT_NE(App.PendingPrintPath[0], '\0');
    EXPECT_TRUE(sim::printed_documents().empty());
}

} // namespace
} // namespace qm::test
