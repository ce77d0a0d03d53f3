#include <filesystem>
#include <map>
#include <string>

#include "app_fixture.h"
#include "monitor/discovery.h"

namespace qm::test {
namespace {

class Discovery : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        set_install_folder(tree_.root());
    }

    // The watched path as the program builds it, with backslashes.
    std::string watched(const std::string& user, const std::string& backup) const
    {
        return tree_.root() + "\\" + user + "\\" + backup;
    }

    // The entries of a folder in the order the platform lists them.
    std::vector<std::string> listing_order(const std::string& relative) const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(tree_.path(relative)))
            names.push_back(e.path().filename().string());
        return names;
    }

    // Discovery's reasons for the folders it skipped, by name.
    std::map<std::string, SkipReason> skipped()
    {
        std::vector<SkippedUserFolder> list;
        EXPECT_EQ(
            discover_user_folders(Monitor, App.MainWindow, StaleSpoolFiles::Delete, nullptr, &list),
            0);
        std::map<std::string, SkipReason> out;
        for (const SkippedUserFolder& s : list)
            out[s.name] = s.reason;
        return out;
    }

    std::vector<std::string> users() const
    {
        std::vector<std::string> out;
        for (int k = 0; k < Monitor.MonitoredUserCount; ++k)
            out.push_back(Monitor.MonitoredUser[k].user_folder);
        return out;
    }

    TempTree tree_;
};

TEST_F(Discovery, prefers_the_first_registry_path_and_falls_back_to_the_second)
{
    TempTree other;
    other.folder("Ann/backup");
    tree_.folder("Bob/backup");
    set_install_folder(other.root(), ThreeComKey);
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_STREQ(Monitor.InstallFolder, tree_.root().c_str());
    EXPECT_EQ(users(), std::vector<std::string>{"Bob"});

    reset_all();
    set_install_folder(other.root(), ThreeComKey);
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_STREQ(Monitor.InstallFolder, other.root().c_str());
    EXPECT_EQ(users(), std::vector<std::string>{"Ann"});

    // A folder given by the caller (qmspool watch's --install-folder) is taken over both,
    // whole or not at all: a cut path names another folder.
    const std::string given = tree_.root();
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow, StaleSpoolFiles::Keep, given.c_str()),
              0);
    EXPECT_EQ(users(), std::vector<std::string>{"Bob"});
    const std::string longest(PathBufferSize - 1, 'x');
    EXPECT_TRUE(locate_install_folder(Monitor, longest.c_str()));
    EXPECT_EQ(Monitor.InstallFolder, longest);
    const std::string too_long = longest + "y";
    EXPECT_FALSE(locate_install_folder(Monitor, too_long.c_str()));
    EXPECT_STREQ(Monitor.InstallFolder, "");
}

TEST_F(Discovery, without_an_install_folder_shows_the_window_and_reports)
{
    reset_all();
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), -1);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text,
              "Cannot locate a path to the Palm Desktop backup files");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Registry Error");
    EXPECT_EQ(sim::calls_starting_with({"show_window"}), std::vector<std::string>{"show_window 1"});
    EXPECT_TRUE(sim::calls_starting_with({"list"}).empty());
}

TEST_F(Discovery, fills_a_slot_with_an_armed_watch_on_the_backup_folder)
{
    tree_.folder("Jane/backup");
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    ASSERT_EQ(Monitor.MonitoredUserCount, 1);
    const MonitoredUserSlot& slot = Monitor.MonitoredUser[0];
    EXPECT_STREQ(slot.user_folder, "Jane");
    EXPECT_STREQ(slot.backup_folder, "backup");
    EXPECT_STREQ(slot.status_line, watched("Jane", "backup").c_str());
    ASSERT_TRUE(slot.watch_handle);
    EXPECT_EQ(sim::watch_folder(slot.watch_handle.get()), tree_.path("Jane/backup"));
    EXPECT_EQ(sim::calls_starting_with({"open_watch", "arm_watch"}),
              (std::vector<std::string>{"open_watch " + watched("Jane", "backup"),
                                        "arm_watch " + tree_.path("Jane/backup")}));
    EXPECT_FALSE(sim::watch_fired(slot.watch_handle.get()));
    EXPECT_EQ(slot.seen_stamp[0], -1);
    EXPECT_EQ(slot.seen_stamp[1], -1);
    EXPECT_TRUE(sim::message_boxes().empty());
}

TEST_F(Discovery, backup_entry_wins_even_when_it_is_a_plain_file)
{
    tree_.folder("Jane/Prefs1");
    tree_.file("Jane/Prefs1/Saved_Preferences.PRC");
    tree_.folder("Jane/backup");
    tree_.file("Joe/backup");
    tree_.folder("Joe/Prefs");
    tree_.file("Joe/Prefs/Saved_Preferences.PRC");
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    ASSERT_EQ(Monitor.MonitoredUserCount, 2);
    for (int k = 0; k < 2; ++k) {
        const MonitoredUserSlot& slot = Monitor.MonitoredUser[k];
        EXPECT_STREQ(slot.backup_folder, "backup");
        if (std::string(slot.user_folder) == "Joe") {
            // A file cannot be watched: the slot stays, marked as failed.
            EXPECT_FALSE(slot.watch_handle);
            EXPECT_EQ(std::string(slot.status_line), "Monitor Fail: " + watched("Joe", "backup"));
        } else {
            EXPECT_TRUE(slot.watch_handle);
        }
    }
}

TEST_F(Discovery, takes_the_first_listed_subfolder_holding_the_preferences)
{
    tree_.folder("Jane/Empty");
    tree_.file("Jane/Plain.PRC");
    tree_.file("Jane/One/Saved_Preferences.PRC");
    tree_.file("Jane/Two/Saved_Preferences.PRC");
    std::string first;
    for (const std::string& name : listing_order("Jane")) {
        if (name == "One" || name == "Two") {
            first = name;
            break;
        }
    }
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    ASSERT_EQ(Monitor.MonitoredUserCount, 1);
    EXPECT_EQ(std::string(Monitor.MonitoredUser[0].backup_folder), first);
}

TEST_F(Discovery, matches_the_two_names_without_regard_to_letter_case)
{
    tree_.folder("Jane/BackUp");
    tree_.file("Joe/Sync/SAVED_PREFERENCES.prc");
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    ASSERT_EQ(Monitor.MonitoredUserCount, 2);
    for (int k = 0; k < 2; ++k) {
        const MonitoredUserSlot& slot = Monitor.MonitoredUser[k];
        // The stored name is the folder's own, so paths rebuilt from it find the folder.
        const std::string expected = std::string(slot.user_folder) == "Jane" ? "BackUp" : "Sync";
        EXPECT_EQ(std::string(slot.backup_folder), expected);
        EXPECT_TRUE(slot.watch_handle) << slot.user_folder;
    }
}

TEST_F(Discovery, files_dot_entries_and_folders_without_backup_get_no_slot)
{
    tree_.file("notes.txt");
    tree_.file("backup");
    tree_.folder("NoBackup/Sub");
    tree_.folder("Jane/backup");
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_EQ(users(), std::vector<std::string>{"Jane"});
    reset_all();
    set_install_folder(tree_.root());
    EXPECT_EQ(skipped(),
              (std::map<std::string, SkipReason>{{"NoBackup", SkipReason::NoBackupFolder}}));
}

TEST_F(Discovery, names_too_long_for_their_fields_are_skipped)
{
    const std::string long_user(50, 'u');
    const std::string long_backup(200, 'b');
    tree_.folder(long_user + "/backup");
    tree_.file("Joe/" + long_backup + "/Saved_Preferences.PRC");
    tree_.folder(std::string(49, 'v') + "/backup");
    EXPECT_EQ(skipped(),
              (std::map<std::string, SkipReason>{{long_user, SkipReason::NameTooLong},
                                                 {"Joe", SkipReason::BackupPathTooLong}}));
    EXPECT_EQ(users(), std::vector<std::string>{std::string(49, 'v')});
}

TEST_F(Discovery, fifty_one_users_fill_fifty_slots_in_listing_order)
{
    for (int k = 0; k < 51; ++k)
        tree_.folder("user" + std::to_string(k) + "/backup");
    std::vector<std::string> expected;
    for (const std::string& name : listing_order("")) {
        if (expected.size() < 50)
            expected.push_back(name);
    }
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_EQ(Monitor.MonitoredUserCount, 50);
    EXPECT_EQ(users(), expected);
    EXPECT_EQ(sim::open_watch_count(), 50);

    // Asked why, discovery goes on past the last slot; a folder there that could not have had
    // one anyway says its own reason.
    tree_.folder("zz/Sub");
    reset_all();
    set_install_folder(tree_.root());
    std::map<std::string, SkipReason> why = skipped();
    EXPECT_EQ(Monitor.MonitoredUserCount, 50);
    EXPECT_EQ(why.size(), 2u);
    EXPECT_EQ(why["zz"], SkipReason::NoBackupFolder);
    why.erase("zz");
    ASSERT_EQ(why.size(), 1u);
    EXPECT_EQ(why.begin()->second, SkipReason::TooManyUsers);
}

TEST_F(Discovery, stale_spool_files_are_deleted_after_the_watch_opens)
{
    tree_.file("Jane/backup/Quillmark Spool File.pdb");
    tree_.file("Jane/backup/Quillmark_Spool_File.pdb");
    tree_.file("Jane/backup/other.pdb");
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_FALSE(tree_.exists("Jane/backup/Quillmark Spool File.pdb"));
    EXPECT_FALSE(tree_.exists("Jane/backup/Quillmark_Spool_File.pdb"));
    EXPECT_TRUE(tree_.exists("Jane/backup/other.pdb"));
    const std::string w = watched("Jane", "backup");
    EXPECT_EQ(sim::calls_starting_with({"open_watch", "arm_watch", "delete"}),
              (std::vector<std::string>{"open_watch " + w, "arm_watch " + tree_.path("Jane/backup"),
                                        "delete " + w + "\\Quillmark_Spool_File.pdb",
                                        "delete " + w + "\\Quillmark Spool File.pdb"}));
    // The deletions fired the watch, so the first tick looks at this folder.
    EXPECT_TRUE(sim::watch_fired(Monitor.MonitoredUser[0].watch_handle.get()));
}

TEST_F(Discovery, stale_file_held_open_by_another_program_stays)
{
    tree_.file("Jane/backup/Quillmark Spool File.pdb");
    sim::hold_file(tree_.path("Jane/backup/Quillmark Spool File.pdb").c_str(), false);
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_TRUE(tree_.exists("Jane/backup/Quillmark Spool File.pdb"));
    EXPECT_FALSE(sim::watch_fired(Monitor.MonitoredUser[0].watch_handle.get()));
}

TEST_F(Discovery, no_usable_user_folder_is_reported_and_is_not_a_failure)
{
    tree_.folder("Jane/Nothing");
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_EQ(Monitor.MonitoredUserCount, 0);
    ASSERT_EQ(sim::message_boxes().size(), 1u);
    EXPECT_EQ(sim::message_boxes()[0].text, "Can't find any valid user folders");
    EXPECT_EQ(sim::message_boxes()[0].caption, "Quillmark Spooler");

    reset_all();
    set_install_folder(tree_.path("missing"));
    EXPECT_EQ(discover_user_folders(Monitor, App.MainWindow), 0);
    EXPECT_EQ(sim::message_boxes().size(), 1u);
}

} // namespace
} // namespace qm::test
