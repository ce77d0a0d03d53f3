#include <string>
#include <vector>

#include "app/menu_ids.h"
#include "app_fixture.h"
#include "platform/sim/sim_print.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

namespace qm::test {
namespace {

class MenuCommands : public JobTest {
protected:
    void command(int id)
    {
        on_menu_command(State, App.MainWindow, window_menu(App.MainWindow), id);
    }
    static bool checked(int id) { return sim::main_window()->checks.at(id); }

    // A two-page job of 1-bit squares (text on the last page when asked) as the last job.
    void last_job(bool text_last = false)
    {
        SpoolImage img;
        img.records = {band_record(KindBand1, 0, band_header(16, 2, 100), Bytes(4, 0xF0), false),
                       text_last
                           ? text_record(0, "words")
                           : band_record(KindBand1, 0, band_header(8, 1, 100), Bytes{0xFF}, false)};
        write_file(tree_.path("job.pdb").c_str(), build_spool(img));
        std::snprintf(AppSettings.last_print_path, sizeof AppSettings.last_print_path, "%s",
                      tree_.path("job.pdb").c_str());
    }
    std::vector<std::string> shows() const { return sim::calls_starting_with({"show_window"}); }

    TempTree tree_;
};

TEST_F(MenuCommands, toggles_flip_their_option_and_mark_and_store_nothing_before_exit)
{
    AppSettings.pause_pages = 5; // stored as any non-zero value: on
    command(MenuPausePages);
    EXPECT_EQ(AppSettings.pause_pages, 0);
    EXPECT_FALSE(checked(MenuPausePages));
    command(MenuPausePages);
    EXPECT_EQ(AppSettings.pause_pages, 1);
    EXPECT_TRUE(checked(MenuPausePages));

    command(MenuUseDefaultPrinter); // show_dialog 0 from the fixture: asking again, unchecked
    EXPECT_EQ(AppSettings.show_dialog, 1);
    EXPECT_FALSE(checked(MenuUseDefaultPrinter));
    command(MenuUseDefaultPrinter);
    EXPECT_EQ(AppSettings.show_dialog, 0);
    EXPECT_TRUE(checked(MenuUseDefaultPrinter)) << "checked: the default printer, no dialog";

    command(MenuOpenMinimized);
    EXPECT_EQ(AppSettings.open_minimized, 1);
    EXPECT_TRUE(checked(MenuOpenMinimized));
    command(MenuPrintToScreen);
    EXPECT_EQ(AppSettings.print_to_screen, 1);
    EXPECT_TRUE(checked(MenuPrintToScreen));
    EXPECT_TRUE(sim::calls_starting_with({"write_value"}).empty());
}

TEST_F(MenuCommands, display_status_draws_at_once_and_later_repaints_show_it)
{
    Render.DisplayMode = DisplayBand;
    sim::clear_drawing();
    command(MenuDisplayStatus);
    ASSERT_FALSE(sim::text_drawn().empty());
    EXPECT_EQ(sim::text_drawn()[0].text, "Palm Desktop Install Folder:");
    EXPECT_EQ(Render.DisplayMode, DisplayStatus);
}

TEST_F(MenuCommands, reprint_runs_the_ordinary_job_in_a_restored_window_or_says_there_is_none)
{
    show_window(App.MainWindow, ShowMinimize);
    sim::clear_calls();
    command(MenuReprintLastJob);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text, "Could not find any previous print jobs.");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Nothing to Print");
    EXPECT_EQ(shows(), (std::vector<std::string>{"show_window 1", "show_window 6"}));

    last_job();
    command(MenuReprintLastJob);
    EXPECT_EQ(sim::printed_documents().size(), 2u);
    EXPECT_EQ(SessionCounters.jobs, 2) << "the first page to the window, then the printer";
    EXPECT_EQ(SessionCounters.pages, 3);
    EXPECT_TRUE(sim::main_window()->minimized);

    show_window(App.MainWindow, ShowNormal);
    AppSettings.print_to_screen = 1;
    command(MenuReprintLastJob);
    EXPECT_EQ(sim::printed_documents().size(), 2u);
    EXPECT_EQ(SessionCounters.jobs, 3);
    EXPECT_FALSE(sim::main_window()->minimized) << "a shown window stays shown";
}

TEST_F(MenuCommands, save_as_bmp_asks_with_the_dialog_and_writes_the_first_page)
{
    last_job();
    const std::string first = tree_.path("first.bmp");
    const std::string second = tree_.path("second.bmp");
    sim::script_save_dialog({first, second});
    show_window(App.MainWindow, ShowMinimize);
    command(MenuSaveAsBmp);

    ASSERT_EQ(sim::save_dialogs().size(), 1u);
    const sim::SaveDialogShown& d = sim::save_dialogs()[0];
    EXPECT_EQ(d.owner, App.MainWindow);
    EXPECT_EQ(d.filter, (std::vector<std::string>{"Windows Bitmaps (*.bmp)", "*.bmp",
                                                  "All Files (*.*)", "*.*"}));
    EXPECT_EQ(d.filter_index, 0);
    EXPECT_EQ(d.initial_name, "screen.bmp");
    EXPECT_EQ(d.name_size, 260u);
    EXPECT_EQ(d.title, "Save BMP image as...");
    EXPECT_EQ(d.flags, 0u);
    EXPECT_EQ(d.default_extension, "bmp");

    const Bytes bmp = read_all(first.c_str());
    ASSERT_GT(bmp.size(), 62u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[18], 16) << "the first page's band, 16 pixels wide";
    EXPECT_EQ(SessionCounters.jobs, 1);
    EXPECT_TRUE(sim::printed_documents().empty());
    EXPECT_TRUE(sim::main_window()->minimized) << "restored for the job, minimised again";

    command(MenuSaveAsBmp);
    ASSERT_EQ(sim::save_dialogs().size(), 2u);
    EXPECT_EQ(sim::native_path(sim::save_dialogs()[1].initial_name.c_str()), first)
        << "the second dialog opens with the first name";
    EXPECT_EQ(read_all(second.c_str()), bmp);
}

TEST_F(MenuCommands, save_as_bmp_refusals_and_failures_say_why_and_leave_no_file)
{
    // No job yet: the dialog is still asked first, then the message; nothing is created.
    const std::string out = tree_.path("out.bmp");
    sim::script_save_dialog({out});
    command(MenuSaveAsBmp);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text, "No previous print job found");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Nothing to spool");
    EXPECT_FALSE(tree_.exists("out.bmp"));

    // A cancelled dialog changes nothing, the window included.
    last_job();
    show_window(App.MainWindow, ShowMinimize);
    sim::clear_calls();
    command(MenuSaveAsBmp);
    EXPECT_EQ(shows(), std::vector<std::string>{});
    EXPECT_EQ(SessionCounters.jobs, 0);
    EXPECT_EQ(sim::message_boxes().size(), 1u);

    // A file that cannot be written.
    sim::script_save_dialog({tree_.path("no such folder/out.bmp")});
    command(MenuSaveAsBmp);
    ASSERT_EQ(sim::message_boxes().size(), 2u);
    EXPECT_EQ(sim::message_boxes()[1].text, "Cannot open specified file for write.");
    EXPECT_EQ(sim::message_boxes()[1].caption, "test.bmp");
    EXPECT_TRUE(sim::main_window()->minimized);

    // After a job whose last record was text: refused before any dialog.
    last_job(true);
    command(MenuReprintLastJob);
    const auto dialogs = sim::save_dialogs().size();
    command(MenuSaveAsBmp);
    EXPECT_EQ(sim::save_dialogs().size(), dialogs);
    EXPECT_EQ(sim::message_boxes().back().text, "The previous print job was not a graphic");
    EXPECT_EQ(sim::message_boxes().back().caption, "Nothing to save");
}

TEST_F(MenuCommands, about_shows_the_programs_text_a_line_feed_between_lines)
{
    command(MenuAbout);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].caption, "About Quillmark Desktop Spooler");
    std::vector<std::string> lines;
    const std::string& text = sim::message_boxes()[0].text;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[2], "Desktop print companion program for Quillmark, The ultimate ");
    EXPECT_EQ(lines[8], "     printer driver selected.  HotSync to send the print job to the PC");
    // Between empty lines, the credit block: four lines indented by five spaces, the third empty.
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10].substr(0, 6), "     Q");
    EXPECT_EQ(lines[11].substr(0, 6), "     C");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13].substr(0, 6), "     K");
    EXPECT_EQ(lines[14], "");
    EXPECT_EQ(lines[15], "Visit us online for other PalmOS software solutions.");
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

} // namespace
} // namespace qm::test
