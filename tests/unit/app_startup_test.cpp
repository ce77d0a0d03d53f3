#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/menu_ids.h"
#include "app_fixture.h"
#include "platform/sim/sim_print.h"
#include "platform/ui_port.h"
#include "render/raster_canvas.h"
#include "spool/spool_writer.h"

namespace qm::test {
namespace {

constexpr int ShowDefault = 10; // the start-up show command a desktop shortcut gives

class StartUp : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        tree_.folder("Jane/backup");
        set_install_folder(tree_.root());
    }

    static Instance instance() { return nullptr; }

    static std::vector<std::string> writes()
    {
        std::vector<std::string> out;
        for (const std::string& call : sim::calls_starting_with({"write_value "}))
            out.push_back(call.substr(12));
        return out;
    }

    TempTree tree_;
};

TEST_F(StartUp, runs_in_order_from_cursors_to_the_first_repaint)
{
    ASSERT_EQ(start_up(State, instance(), ShowDefault), 0);
    const std::vector<std::string> expected = {
        "load_cursor wait",
        "load_cursor arrow",
        "register_class QMSpoolClass icon 102 menu 101",
        "create_window QMSpoolClass \"Quillmark PC Print Spooler\" 340x440 minimized",
        "show_window 10",
        "read_value window_x",
        "read_value window_y",
        "read_value window_w",
        "read_value window_h",
        "move_window 25 25 618 825 repaint",
        "update_window",
        "read_value open_minimized", // the two in the order they are stored
        "read_value last_print_path",
        "read_value Path",
        "open_watch " + tree_.root() + "\\Jane\\backup",
        "start_timer 1 5000",
        "read_value show_dialog",
        "read_value pause_pages",
        "read_value print_to_screen",
        "check_menu 40003 off",
        "check_menu 40010 off",
        "check_menu 40009 off",
        "check_menu 40005 off",
        "invalidate 0 0 643 850",
    };
    EXPECT_EQ(sim::calls_starting_with({"load_cursor", "register_class", "create_window",
                                        "show_window", "read_value", "move_window",
                                        "update_window", "open_watch", "start_timer",
                                        "check_menu", "invalidate"}),
              expected);
    EXPECT_TRUE(sim::message_boxes().empty());
    EXPECT_EQ(App.MainWindow != nullptr, true);
    EXPECT_NE(App.BusyCursor, App.NormalCursor);
}

TEST_F(StartUp, first_run_uses_the_defaults)
{
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    const sim::WindowState* w = sim::main_window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->rect.left, 25);
    EXPECT_EQ(w->rect.top, 25);
    EXPECT_EQ(w->rect.right - w->rect.left, 618);
    EXPECT_EQ(w->rect.bottom - w->rect.top, 825);
    EXPECT_FALSE(w->minimized);
    EXPECT_EQ(AppSettings.show_dialog, 1);
    EXPECT_EQ(AppSettings.pause_pages, 0);
    EXPECT_EQ(AppSettings.print_to_screen, 0);
    EXPECT_EQ(AppSettings.open_minimized, 0);
    EXPECT_STREQ(AppSettings.last_print_path, "");
    // "Use default printer" shows the inverse of show_dialog.
    EXPECT_EQ(w->checks.at(MenuUseDefaultPrinter), false);
    EXPECT_EQ(w->checks.at(MenuPausePages), false);
    EXPECT_EQ(w->checks.at(MenuOpenMinimized), false);
    EXPECT_EQ(w->checks.at(MenuPrintToScreen), false);
    EXPECT_EQ(w->timers.at(1), 5000u);
    // Start-up reads only: nothing is stored before shutdown.
    EXPECT_FALSE(sim::key_exists(SettingsKeyPath));
}

TEST_F(StartUp, stored_settings_set_geometry_options_and_check_marks)
{
    sim::store_value(SettingsKeyPath, "window_x", le32(100));
    sim::store_value(SettingsKeyPath, "window_y", le32(-8));
    sim::store_value(SettingsKeyPath, "window_w", le32(700));
    sim::store_value(SettingsKeyPath, "window_h", le32(500));
    sim::store_value(SettingsKeyPath, "show_dialog", le32(0));
    sim::store_value(SettingsKeyPath, "pause_pages", le32(5));
    sim::store_value(SettingsKeyPath, "print_to_screen", le32(1));
    std::vector<std::uint8_t> path(512, 0);
    std::memcpy(path.data(), "C:\\last.pdb", 11);
    sim::store_value(SettingsKeyPath, "last_print_path", path);

    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    const sim::WindowState* w = sim::main_window();
    EXPECT_EQ(sim::calls_starting_with({"move_window"}),
              std::vector<std::string>{"move_window 100 -8 700 500 repaint"});
    EXPECT_EQ(AppSettings.show_dialog, 0);
    EXPECT_EQ(AppSettings.pause_pages, 5);
    EXPECT_EQ(AppSettings.print_to_screen, 1);
    EXPECT_STREQ(AppSettings.last_print_path, "C:\\last.pdb");
    EXPECT_EQ(w->checks.at(MenuUseDefaultPrinter), true);
    EXPECT_EQ(w->checks.at(MenuPausePages), true);
    EXPECT_EQ(w->checks.at(MenuOpenMinimized), false);
    EXPECT_EQ(w->checks.at(MenuPrintToScreen), true);
}

TEST_F(StartUp, open_minimized_minimises_before_discovery)
{
    sim::store_value(SettingsKeyPath, "open_minimized", le32(1));
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    EXPECT_EQ(sim::calls_starting_with({"show_window", "update_window", "open_watch"}),
              (std::vector<std::string>{"show_window 1", "update_window", "show_window 6",
                                        "update_window",
                                        "open_watch " + tree_.root() + "\\Jane\\backup"}));
    EXPECT_TRUE(sim::main_window()->minimized);
    EXPECT_TRUE(sim::main_window()->checks.at(MenuOpenMinimized));
}

TEST_F(StartUp, failures_end_the_program_with_code_1_and_store_nothing)
{
    sim::fail_class_registration(true);
    EXPECT_EQ(start_up(State, instance(), ShowNormal), -1);
    EXPECT_EQ(sim::main_window(), nullptr);

    reset_all();
    sim::fail_window_creation(true);
    EXPECT_EQ(start_up(State, instance(), ShowNormal), -2);
    EXPECT_TRUE(sim::calls_starting_with({"show_window"}).empty());

    reset_all();
    sim::fail_window_creation(true);
    EXPECT_EQ(program_main(instance(), ShowNormal), 1);
    EXPECT_TRUE(sim::calls_starting_with({"message_loop", "write_value"}).empty());
    EXPECT_TRUE(sim::message_boxes().empty());
}

TEST_F(StartUp, missing_install_folder_reports_and_fails_before_the_timer)
{
    reset_all(); // no Palm Desktop registry values at all
    EXPECT_EQ(program_main(instance(), ShowMinimize), 1);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text,
              "Cannot locate a path to the Palm Desktop backup files");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Registry Error");
    EXPECT_FALSE(sim::main_window()->minimized);
    EXPECT_TRUE(sim::calls_starting_with({"start_timer", "check_menu", "message_loop",
                                          "write_value"})
                    .empty());
}

TEST_F(StartUp, no_user_folder_is_reported_and_start_up_goes_on)
{
    std::filesystem::remove_all(tree_.path("Jane"));
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text, "Can't find any valid user folders");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Quillmark Spooler");
    EXPECT_EQ(sim::calls_starting_with({"start_timer"}).size(), 1u);
}

TEST_F(StartUp, command_line_job_waits_in_pending_print_path)
{
    sim::set_command_line("\"C:\\QM\\QMSpooler.exe\" -t C:\\jobs\\job.pdb");
    sim::post_message(nullptr, MessageCommand, MenuExit); // ends the loop at once
    // Queued before the window exists: delivered to it once the loop runs.
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    EXPECT_STREQ(App.PendingPrintPath, "C:\\jobs\\job.pdb");
    EXPECT_TRUE(sim::message_boxes().empty());

    // A path too long to keep is refused aloud; the run goes on as a plain start.
    reset_all();
    set_install_folder(tree_.root());
    sim::set_command_line(("QMSpooler.exe -t C:\\" + std::string(510, 'p')).c_str());
    sim::post_message(nullptr, MessageCommand, MenuExit);
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    EXPECT_STREQ(App.PendingPrintPath, "");
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text,
              "The file name given with -t is too long to print (more than 511 characters).");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Quillmark PC Print Spooler");
    EXPECT_EQ(sim::calls_starting_with({"claim_instance"}).size(), 1u) << "as a plain start";
}

// The session's one spooler: a second watcher of the same folders would print every job twice.
class BesideARunningSpooler : public StartUp {
protected:
    void SetUp() override
    {
        StartUp::SetUp();
        for (const char* name : SpoolNames)
            tree_.file(std::string("Jane/backup/") + name, "a job the spooler has not printed");
    }

    bool spool_files_kept() const
    {
        return tree_.exists(std::string("Jane/backup/") + SpoolNames[0]) &&
               tree_.exists(std::string("Jane/backup/") + SpoolNames[1]);
    }

    static constexpr const char* SpoolNames[2] = {"Quillmark Spool File.pdb",
                                                  "Quillmark_Spool_File.pdb"};
};

TEST_F(BesideARunningSpooler, a_plain_start_brings_it_forward_and_ends_before_touching_anything)
{
    sim::set_other_spooler({.running = true, .minimized = true});
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    EXPECT_FALSE(sim::other_spooler().minimized);
    EXPECT_TRUE(sim::other_spooler().foreground);
    EXPECT_TRUE(spool_files_kept());
    EXPECT_EQ(sim::main_window(), nullptr);
    EXPECT_TRUE(sim::calls_starting_with({"register_class", "read_value", "open_watch", "delete",
                                          "write_value", "message_loop"})
                    .empty());
    EXPECT_TRUE(sim::message_boxes().empty());

    // One that is still starting has claimed the session but has no window yet: it is looked
    // for a while, then this start ends all the same.
    reset_all();
    set_install_folder(tree_.root());
    sim::set_other_spooler({.running = true, .has_window = false});
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    EXPECT_LE(sim::slept_ms(), 5000u);
    EXPECT_EQ(sim::main_window(), nullptr);
    EXPECT_TRUE(spool_files_kept());

    // A job whose path is too long is not dropped without a word.
    reset_all();
    set_install_folder(tree_.root());
    sim::set_other_spooler({.running = true});
    sim::set_command_line(("QMSpooler.exe -t " + std::string(600, 'p')).c_str());
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    EXPECT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_TRUE(sim::other_spooler().foreground);
}

TEST_F(BesideARunningSpooler, the_spooler_holds_the_session_for_its_whole_run)
{
    sim::post_message(nullptr, MessageCommand, MenuExit);
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    const std::string backup = tree_.root() + "\\Jane\\backup\\";
    const std::vector<std::string> order = {"claim_instance QuillmarkSpooler",
                                            "register_class QMSpoolClass icon 102 menu 101",
                                            "delete " + backup + SpoolNames[1],
                                            "delete " + backup + SpoolNames[0],
                                            "message_loop",
                                            "write_value window_x",
                                            "release_instance"};
    EXPECT_EQ(sim::calls_starting_with({"claim_instance", "register_class", "delete",
                                        "message_loop", "write_value window_x",
                                        "release_instance"}),
              order);
    EXPECT_FALSE(sim::instance_held());

    // When the platform cannot tell, the program runs as it would alone.
    reset_all();
    set_install_folder(tree_.root());
    sim::set_other_spooler({.unavailable = true});
    sim::post_message(nullptr, MessageCommand, MenuExit);
    EXPECT_EQ(program_main(instance(), ShowNormal), 0);
    EXPECT_EQ(sim::calls_starting_with({"message_loop"}).size(), 1u);
}

TEST_F(BesideARunningSpooler, a_job_prints_beside_it_and_leaves_the_folders_spool_files)
{
    SpoolImage img;
    img.records = {
        band_record(KindBand1, 0, band_header(10, 10, 100, 0, 0), Bytes(20, 0xFF), true)};
    const std::string job = tree_.path("job.pdb");
    ASSERT_TRUE(write_file(job.c_str(), build_spool(img)));
    // "-t JOB" on the default printer, its job started by the first tick.
    const auto print_job = [&] {
        sim::add_printer("Virtual", DeviceCaps{850, 1100, 100, 100, -1, 0, 0});
        sim::set_default_printer("Virtual");
        sim::store_value(SettingsKeyPath, "show_dialog", le32(0));
        sim::set_command_line(("QMSpooler.exe -t " + job).c_str());
        sim::post_message(nullptr, MessageTimer, 1);
        return program_main(instance(), ShowNormal);
    };

    sim::set_other_spooler({.running = true, .minimized = true});
    EXPECT_EQ(print_job(), 0);
    EXPECT_EQ(sim::printed_documents().size(), 1u);
    EXPECT_TRUE(spool_files_kept());
    EXPECT_TRUE(sim::other_spooler().minimized) << "a job run leaves the spooler where it is";
    EXPECT_FALSE(sim::instance_held());

    // With "Print to screen only" as well the run ends after its job, and never looks at the
    // folders (whose files change while it shows the page): the other spooler watches them.
    reset_all();
    set_install_folder(tree_.root());
    sim::set_other_spooler({.running = true});
    sim::store_value(SettingsKeyPath, "print_to_screen", le32(1));
    const std::string spool_file = tree_.path(std::string("Jane/backup/") + SpoolNames[0]);
    sim::on_sleep([&](std::uint32_t) { sim::notify_change(spool_file.c_str()); });
    EXPECT_EQ(print_job(), 0);
    sim::on_sleep(nullptr);
    EXPECT_TRUE(sim::quit_posted());
    EXPECT_EQ(SessionCounters.jobs, 1) << "the job in the window, nothing from the folders";
    EXPECT_TRUE(sim::printed_documents().empty());
    EXPECT_TRUE(spool_files_kept());

    // Alone, a job run still clears what was left from before.
    reset_all();
    set_install_folder(tree_.root());
    EXPECT_EQ(print_job(), 0);
    EXPECT_EQ(sim::printed_documents().size(), 1u);
    EXPECT_FALSE(tree_.exists(std::string("Jane/backup/") + SpoolNames[0]));
    EXPECT_FALSE(tree_.exists(std::string("Jane/backup/") + SpoolNames[1]));
}

TEST_F(StartUp, exit_stores_nine_values_in_order_and_keeps_the_window)
{
    sim::store_value(SettingsKeyPath, "pause_pages", le32(5));
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    move_window(App.MainWindow, 40, 50, 600, 700, true);
    std::snprintf(AppSettings.last_print_path, sizeof AppSettings.last_print_path, "C:\\j.pdb");
    sim::clear_calls();

    sim::post_message(App.MainWindow, MessageCommand, MenuExit);
    EXPECT_EQ(run_message_loop(), 0);

    EXPECT_EQ(writes(), (std::vector<std::string>{"window_x", "window_y", "window_w",
                                                   "window_h", "show_dialog", "pause_pages",
                                                   "print_to_screen", "open_minimized",
                                                   "last_print_path"}));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_x")->bytes, le32(40));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_y")->bytes, le32(50));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_w")->bytes, le32(600));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_h")->bytes, le32(700));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "show_dialog")->bytes, le32(1));
    // A stored value nobody toggled goes back unchanged.
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "pause_pages")->bytes, le32(5));
    const auto& path = sim::stored_value(SettingsKeyPath, "last_print_path")->bytes;
    ASSERT_EQ(path.size(), 512u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(path.data())), "C:\\j.pdb");
    EXPECT_EQ(sim::quit_code(), 0);
    EXPECT_FALSE(sim::main_window()->destroyed);
}

TEST_F(StartUp, closing_the_window_stores_the_same_values_with_an_empty_path)
{
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    sim::clear_calls();
    sim::post_message(App.MainWindow, 16 /* close */);
    EXPECT_EQ(run_message_loop(), 0);
    EXPECT_TRUE(sim::main_window()->destroyed);
    EXPECT_EQ(writes().size(), 9u);
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "last_print_path")->bytes,
              std::vector<std::uint8_t>(512, 0));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_w")->bytes, le32(618));
}

TEST_F(StartUp, minimised_window_stores_its_restored_rectangle)
{
    sim::store_value(SettingsKeyPath, "open_minimized", le32(1));
    sim::store_value(SettingsKeyPath, "window_x", le32(300));
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    ASSERT_TRUE(is_minimized(App.MainWindow));
    ASSERT_EQ(window_rect(App.MainWindow).left, -32000);
    sim::post_message(App.MainWindow, 16 /* close, as from the taskbar */);
    EXPECT_EQ(run_message_loop(), 0);
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_x")->bytes, le32(300));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_y")->bytes, le32(25));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_w")->bytes, le32(618));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "window_h")->bytes, le32(825));
    EXPECT_EQ(sim::stored_value(SettingsKeyPath, "open_minimized")->bytes, le32(1));
}

TEST_F(StartUp, dispatch_answers_each_message_as_the_table_says)
{
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    Window w = App.MainWindow;
    sim::clear_calls();
    EXPECT_EQ(main_window_procedure(w, MessageInitDialog, 0, 0), 1);
    for (std::uint32_t m : {MessageMove, MessageSize, MessageVScroll, MessageLButtonDown,
                            MessageTimer})
        EXPECT_EQ(main_window_procedure(w, m, 0, 0), 0) << m;
    // Menu ids without a command, and the high word of the parameter, change nothing.
    EXPECT_EQ(main_window_procedure(w, MessageCommand, 12345, 0), 0);
    EXPECT_EQ(main_window_procedure(w, MessageCommand, (1u << 16) | 777u, 0), 0);
    EXPECT_TRUE(sim::calls().empty());
    EXPECT_FALSE(sim::quit_posted());

    EXPECT_EQ(main_window_procedure(w, 0x20 /* set cursor */, 0, 0), 0);
    EXPECT_EQ(sim::calls(), std::vector<std::string>{"default_procedure 32"});

    // The Exit id in the low word, whatever the notification code in the high word.
    EXPECT_EQ(main_window_procedure(w, MessageCommand, (1u << 16) | MenuExit, 0), 0);
    EXPECT_TRUE(sim::quit_posted());
}

TEST_F(StartUp, repaint_shows_status_or_the_cached_page_by_display_mode)
{
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    sim::clear_calls();
    sim::clear_drawing();
    EXPECT_EQ(main_window_procedure(App.MainWindow, MessagePaint, 0, 0), 0);
    EXPECT_FALSE(sim::text_drawn().empty());
    EXPECT_EQ(sim::calls().front(), "begin_paint");
    EXPECT_EQ(sim::calls().back(), "end_paint");

    // A page mode with no cached page yet paints nothing at all.
    for (std::int32_t mode : {1, 2, 3, -1}) {
        Render.DisplayMode = mode;
        sim::clear_calls();
        sim::clear_drawing();
        main_window_procedure(App.MainWindow, MessagePaint, 0, 0);
        EXPECT_TRUE(sim::text_drawn().empty()) << mode;
        EXPECT_EQ(sim::calls(), (std::vector<std::string>{"begin_paint", "end_paint"})) << mode;
    }
}

TEST_F(StartUp, repaint_of_a_page_clears_the_window_and_copies_the_cached_page)
{
    ASSERT_EQ(start_up(State, instance(), ShowNormal), 0);
    Render.PreviewCache = RasterPreviewSurface::create(20, 10, 96, 96);
    ASSERT_NE(Render.PreviewCache, nullptr);
    auto band = Render.PreviewCache->create_band_surface(1, 1);
    ASSERT_NE(band, nullptr);
    band->row(0)[0] = 0xFF; // blue, green, red
    band->row(0)[1] = 0x00;
    band->row(0)[2] = 0x00;
    Render.PreviewCache->stretch_band(*band, Rect{2, 3, 2, 2});

    for (std::int32_t mode : {1, 2}) {
        Render.DisplayMode = mode;
        sim::clear_calls();
        sim::clear_drawing();
        EXPECT_EQ(main_window_procedure(App.MainWindow, MessagePaint, 0, 0), 0);
        EXPECT_EQ(sim::calls(),
                  (std::vector<std::string>{"begin_paint", "canvas fill_white 0 0 1024 768",
                                            "canvas draw_preview", "end_paint"}));
        EXPECT_TRUE(sim::text_drawn().empty());
        const RasterCanvas* window = sim::window_raster();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->pixel(2, 3), 0x0000FFu);
        EXPECT_EQ(window->pixel(3, 4), 0x0000FFu);
        EXPECT_EQ(window->pixel(4, 3), 0xFFFFFFu);
    }
}

} // namespace
} // namespace qm::test
