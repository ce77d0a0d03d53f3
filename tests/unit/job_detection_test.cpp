#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/menu_ids.h"
#include "app_fixture.h"
#include "monitor/change_monitor.h"
#include "monitor/monitor_state.h"
#include "platform/sim/sim_print.h"
#include "platform/watch_port.h"
#include "spool/spool_writer.h"

namespace qm::test {
namespace {

constexpr char SpacedName[] = "Quillmark Spool File.pdb";
constexpr char UnderscoredName[] = "Quillmark_Spool_File.pdb";

// A one-page job: a black 10 x 10 square `left` pixels in, so each job's page tells which it was.
Bytes one_page(std::uint16_t left)
{
    SpoolImage img;
    img.records = {
        band_record(KindBand1, 0, band_header(10, 10, 100, left, 0), Bytes(20, 0xFF), true)};
    return build_spool(img);
}

class JobDetection : public JobTest {
protected:
    void SetUp() override
    {
        JobTest::SetUp();
        std::snprintf(Monitor.InstallFolder, sizeof Monitor.InstallFolder, "%s",
                      tree_.root().c_str());
    }

    // A monitored user as discovery leaves it; `watched` false for a watch that did not open.
    void add_user(const std::string& user, bool watched = true)
    {
        tree_.folder(user + "/backup");
        MonitoredUserSlot& slot = Monitor.MonitoredUser[Monitor.MonitoredUserCount++];
        std::snprintf(slot.user_folder, sizeof slot.user_folder, "%s", user.c_str());
        std::snprintf(slot.backup_folder, sizeof slot.backup_folder, "backup");
        if (watched) {
            slot.watch_handle =
                ChangeWatch(open_change_watch(tree_.path(user + "/backup").c_str()));
            arm_change_watch(slot.watch_handle.get());
        }
    }

    // Writes a spool file with the given last-write time (in 100 ns units, from an arbitrary
    // epoch) and reports the change to the watches, as the synchronisation's copy would.
    std::string drop(const std::string& user, const char* name, std::int64_t time,
                     std::uint16_t left = 0)
    {
        const std::string path = tree_.path(user + "/backup/" + name);
        write_file(path.c_str(), one_page(left));
        set_time(path, time);
        sim::notify_change(path.c_str());
        return path;
    }
    static void set_time(const std::string& path, std::int64_t time)
    {
        using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
        std::filesystem::last_write_time(
            path, std::filesystem::file_time_type(
                      std::chrono::duration_cast<std::filesystem::file_time_type::duration>(
                          Ticks(time))));
    }

    // Where each printed page's square stands, in print order.
    static std::vector<int> printed_squares()
    {
        std::vector<int> out;
        for (const auto& doc : sim::printed_documents()) {
            const RasterCanvas& page = *doc.pages.at(0);
            int at = -1;
            for (int x = 0; x < page.width() && at < 0; ++x)
                if (page.pixel(x, 0) == 0)
                    at = x;
            out.push_back(at);
        }
        return out;
    }

    TempTree tree_;
};

TEST_F(JobDetection, a_new_file_prints_on_the_tick_its_watch_fired_after_the_wait)
{
    add_user("Alice");
    AppSettings.open_minimized = 1; // not what a detected job looks at
    tick();
    EXPECT_TRUE(sim::printed_documents().empty()) << "nothing has fired yet";

    const std::string path = drop("Alice", SpacedName, 1000);
    sim::clear_calls();
    tick();
    const std::vector<std::string> expected = {
        "show_window 1",         "sleep 5000",     "set_title Printing...",
        "set_title Printing...", "start_document", "arm_watch " + tree_.path("Alice/backup")};
    EXPECT_EQ(sim::calls_starting_with({"show_window", "sleep 5000", "set_title Printing...",
                                        "start_document", "arm_watch"}),
              expected)
        << "restored, the wait, the first page to the window, then the printer, then re-armed";
    EXPECT_EQ(printed_squares(), std::vector<int>{0});
    EXPECT_EQ(sim::native_path(AppSettings.last_print_path), path);
    EXPECT_EQ(SessionCounters.jobs, 2);
    EXPECT_EQ(Monitor.RetrySlot, -1);
    EXPECT_FALSE(sim::main_window()->minimized) << "a window that was shown stays shown";
    EXPECT_TRUE(sim::message_boxes().empty());

    // The folder changes again but the spool file does not: nothing prints, the slot is kept.
    sim::notify_change(tree_.path("Alice/backup/notes.txt").c_str());
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 1u);
    EXPECT_EQ(Monitor.RetrySlot, 0);
    EXPECT_EQ(Monitor.RetryCountdown, RetryTicks);
    EXPECT_FALSE(sim::watch_fired(Monitor.MonitoredUser[0].watch_handle.get()));

    // A time that differs only above its low 32 bits is the same time.
    set_time(path, 1000 + (std::int64_t{1} << 32));
    sim::notify_change(path.c_str());
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 1u);
    set_time(path, 1001);
    sim::notify_change(path.c_str());
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 2u) << "a new time prints again";
}

TEST_F(JobDetection, both_names_print_in_order_each_after_its_own_wait_in_the_modes_asked)
{
    add_user("Alice");
    drop("Alice", UnderscoredName, 7, 50);
    drop("Alice", SpacedName, 7, 20);
    show_window(App.MainWindow, ShowMinimize);
    sim::clear_calls();
    tick();
    EXPECT_EQ(printed_squares(), (std::vector<int>{20, 50})) << "the spaced name first";
    EXPECT_EQ(sim::calls_starting_with({"show_window", "sleep 5000"}),
              (std::vector<std::string>{"show_window 1", "sleep 5000", "show_window 6",
                                        "show_window 1", "sleep 5000", "show_window 6"}))
        << "each job restores the minimised window and minimises it again";
    EXPECT_TRUE(sim::main_window()->minimized);
    EXPECT_EQ(SessionCounters.jobs, 4);

    // On screen only: one window-only run, nothing printed.
    AppSettings.print_to_screen = 1;
    drop("Alice", SpacedName, 8, 30);
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 2u);
    EXPECT_EQ(SessionCounters.jobs, 5);
    EXPECT_EQ(SessionCounters.pages, 5) << "2 + 2 for the printed jobs, 1 for the shown one";
}

TEST_F(JobDetection, fired_watches_are_served_lowest_slot_first_one_a_tick_past_failed_watches)
{
    add_user("Broken", false); // a "backup" that could not be watched must not stop the others
    add_user("Alice");
    add_user("Bob");
    drop("Bob", SpacedName, 5, 40);
    drop("Alice", SpacedName, 5, 10);
    tick();
    EXPECT_EQ(printed_squares(), std::vector<int>{10});
    EXPECT_TRUE(sim::watch_fired(Monitor.MonitoredUser[2].watch_handle.get()));
    tick();
    EXPECT_EQ(printed_squares(), (std::vector<int>{10, 40}));
}

TEST_F(JobDetection,
       a_file_held_open_is_looked_at_again_for_two_minutes_of_ticks_keeping_later_changes)
{
    // Counted from the tick's period, whatever that is: the re-checks last two minutes.
    const std::uint32_t retry_ticks = 2 * 60 * 1000 / TickPeriodMs;
    add_user("Alice");
    const std::string path = drop("Alice", SpacedName, 3);
    sim::hold_file(path.c_str(), true); // the synchronisation still writes it
    tick();
    EXPECT_TRUE(sim::printed_documents().empty());
    for (std::uint32_t i = 1; i < retry_ticks; ++i)
        tick();
    sim::release_file(path.c_str());
    tick(); // the last re-check that one firing allows
    EXPECT_EQ(sim::printed_documents().size(), 1u);

    // A second firing whose file stays held: after the retry ticks nobody looks again.
    drop("Alice", SpacedName, 4);
    sim::hold_file(path.c_str(), true);
    for (std::uint32_t i = 0; i <= retry_ticks; ++i)
        tick();
    EXPECT_EQ(Monitor.RetryCountdown, 0u);
    sim::release_file(path.c_str());
    tick();
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 1u);

    // The next sync's file, held open when its watch fired, prints on a re-check; while that
    // job pauses between pages the sync after it writes the file again: that prints too.
    drop("Alice", SpacedName, 5);
    sim::hold_file(path.c_str(), true);
    tick();
    sim::release_file(path.c_str());
    AppSettings.pause_pages = 1;
    bool rewritten = false;
    sim::on_modal([&] {
        if (std::exchange(rewritten, true))
            return;
        set_time(path, 6);
        sim::notify_change(path.c_str());
    });
    tick();
    sim::on_modal(nullptr);
    EXPECT_EQ(sim::printed_documents().size(), 2u);
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 3u) << "the version written during the job";
}

TEST_F(JobDetection, a_file_still_written_during_the_wait_is_stamped_as_printed_and_prints_once)
{
    add_user("Alice");
    const std::string path = drop("Alice", SpacedName, 100);
    // The second piece of the copy lands while the program waits; its change fires the watch.
    sim::on_sleep([&](std::uint32_t ms) {
        if (ms == 5000) {
            set_time(path, 200);
            sim::notify_change(path.c_str());
        }
    });
    tick();
    sim::on_sleep(nullptr);
    EXPECT_EQ(Monitor.MonitoredUser[0].seen_stamp[0], 200);
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 1u) << "the finished file was the one printed";
}

TEST_F(JobDetection, a_tick_while_the_save_dialog_is_open_waits_for_it)
{
    add_user("Alice");
    drop("Alice", SpacedName, 7);
    sim::on_modal([&] { tick(); });
    on_menu_command(State, App.MainWindow, nullptr, MenuSaveAsBmp); // then cancelled
    sim::on_modal(nullptr);
    EXPECT_EQ(SessionCounters.jobs, 0) << "no job whose end enables the window under the dialog";
    EXPECT_FALSE(TickBusy);
    tick();
    EXPECT_EQ(sim::printed_documents().size(), 1u);
}

TEST_F(JobDetection, the_scan_prints_every_new_file_in_slot_order_or_says_there_is_none)
{
    on_menu_command(State, App.MainWindow, nullptr, MenuScanMissedJobs);
    ASSERT_EQ(sim::message_boxes().size(), 1u) << "no users at all";
    EXPECT_EQ(sim::message_boxes()[0].text, "No queued print jobs are currently waiting to print.");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Nothing to Print");

    add_user("Broken", false); // never fires, so only the scan looks at it
    add_user("Alice");
    tree_.file("Broken/backup/" + std::string(UnderscoredName));
    write_file(tree_.path("Broken/backup/" + std::string(UnderscoredName)).c_str(), one_page(60));
    drop("Alice", SpacedName, 9, 30);
    on_menu_command(State, App.MainWindow, nullptr, MenuScanMissedJobs);
    EXPECT_EQ(printed_squares(), (std::vector<int>{60, 30}));
    EXPECT_EQ(sim::message_boxes().size(), 1u) << "silent when something printed";

    tick(); // Alice's watch fired: its file is already printed
    on_menu_command(State, App.MainWindow, nullptr, MenuScanMissedJobs);
    EXPECT_EQ(sim::printed_documents().size(), 2u);
    EXPECT_EQ(sim::message_boxes().size(), 2u);
}

} // namespace
} // namespace qm::test
