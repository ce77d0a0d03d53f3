// Folder listings, file tests and change watches against real folders.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "platform/files_port.h"
#include "platform/watch_port.h"
#include "win32_fixture.h"

namespace qm::test {
namespace {

// Polls until a watch fires or about two seconds pass: Windows reports changes asynchronously.
int poll_until_fired(const WatchHandle* watches, int count)
{
    int r = PollNothingFired;
    for (int i = 0; i < 40; ++i) {
        r = poll_change_watches(watches, count);
        if (r >= 0)
            return r;
        Sleep(50);
    }
    return r;
}

// Gives a change that should not fire a watch the time it would take to fire it.
int poll_after_settling(const WatchHandle* watches, int count)
{
    Sleep(500);
    return poll_change_watches(watches, count);
}

class Files : public ::testing::Test {
protected:
    WinTempFolder tree_;
};

TEST_F(Files, listing_gives_every_entry_with_its_kind)
{
    tree_.folder("Jane");
    tree_.file("notes.txt");
    std::set<std::string> folders, files;
    FolderEntry entry{};
    FolderListing listing(tree_.root().c_str(), &entry);
    ASSERT_TRUE(listing.started());
    do {
        (entry.is_folder ? folders : files).insert(entry.name);
    } while (listing.next(&entry));
    EXPECT_EQ(folders, (std::set<std::string>{".", "..", "Jane"}));
    EXPECT_EQ(files, std::set<std::string>{"notes.txt"});

    FolderEntry none{};
    FolderListing missing(tree_.path("missing").c_str(), &none);
    EXPECT_FALSE(missing.started());
}

TEST_F(Files, entry_lookup_ignores_letter_case_and_gives_the_stored_name)
{
    tree_.folder("Jane\\BackUp");
    FolderEntry found{};
    ASSERT_TRUE(find_entry(tree_.path("Jane").c_str(), "backup", &found));
    EXPECT_STREQ(found.name, "BackUp");
    EXPECT_TRUE(found.is_folder);
    EXPECT_FALSE(find_entry(tree_.path("Jane").c_str(), "Saved_Preferences.PRC", nullptr));
}

TEST_F(Files, open_tests_respect_other_programs_sharing)
{
    tree_.file("job.pdb");
    const std::string path = tree_.path("job.pdb");
    std::uint64_t time = 0;
    EXPECT_TRUE(can_open_for_reading(path.c_str()));
    EXPECT_EQ(read_last_write_time(path.c_str(), &time), 0);
    EXPECT_NE(time, 0u);

    {
        // Another reader that lets others read: a shared open works, an exclusive one does not.
        HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(can_open_for_reading(path.c_str()));
        EXPECT_EQ(read_last_write_time(path.c_str(), &time), -1);
        CloseHandle(reader);
    }
    {
        HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(can_open_for_reading(path.c_str()));
        CloseHandle(writer);
    }
    EXPECT_FALSE(can_open_for_reading(tree_.path("missing.pdb").c_str()));
    EXPECT_EQ(delete_file(path.c_str()), 0);
    EXPECT_FALSE(tree_.exists("job.pdb"));
    EXPECT_EQ(delete_file(path.c_str()), -1);
}

TEST_F(Files, full_path_resolves_against_the_current_folder_and_respects_the_room)
{
    char out[512];
    ASSERT_EQ(full_path("job.pdb", out, sizeof out), 0);
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string expected = cwd;
    if (expected.back() != '\\')
        expected += '\\';
    EXPECT_EQ(std::string(out), expected + "job.pdb");
    char tiny[4];
    EXPECT_EQ(full_path("job.pdb", tiny, sizeof tiny), -1);
}

TEST_F(Files, watch_fires_for_a_file_in_its_folder_and_not_in_a_subfolder)
{
    tree_.folder("backup\\sub");
    ChangeWatch watch(open_change_watch(tree_.path("backup").c_str()));
    ASSERT_TRUE(watch);
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    const WatchHandle handles[1] = {watch.get()};
    EXPECT_EQ(poll_change_watches(handles, 1), PollNothingFired);

    tree_.file("backup\\sub\\deep.pdb");
    EXPECT_EQ(poll_after_settling(handles, 1), PollNothingFired);

    tree_.file("backup\\Quillmark Spool File.pdb");
    EXPECT_EQ(poll_until_fired(handles, 1), 0);
    // A fired watch stays fired until it is armed again.
    EXPECT_EQ(poll_change_watches(handles, 1), 0);

    Sleep(200); // let the burst of notifications of that one file end
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(poll_after_settling(handles, 1), PollNothingFired);

    // Rewriting the file (a new last-write time) fires it again, and so does a deletion.
    tree_.file("backup\\Quillmark Spool File.pdb", "longer content");
    EXPECT_EQ(poll_until_fired(handles, 1), 0);
    Sleep(200);
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    ASSERT_EQ(delete_file(tree_.path("backup\\Quillmark Spool File.pdb").c_str()), 0);
    EXPECT_EQ(poll_until_fired(handles, 1), 0);
}

TEST_F(Files, poll_reports_the_lowest_fired_slot_and_skips_missing_watches)
{
    tree_.folder("a");
    tree_.folder("b");
    ChangeWatch a(open_change_watch(tree_.path("a").c_str()));
    ChangeWatch b(open_change_watch(tree_.path("b").c_str()));
    ASSERT_TRUE(a && b);
    arm_change_watch(a.get());
    arm_change_watch(b.get());
    const WatchHandle handles[3] = {nullptr, a.get(), b.get()};

    tree_.file("b\\x.pdb");
    EXPECT_EQ(poll_until_fired(handles, 3), 2);
    tree_.file("a\\x.pdb");
    EXPECT_EQ(poll_until_fired(handles, 2), 1);
    EXPECT_EQ(poll_change_watches(handles, 3), 1);

    const WatchHandle none[1] = {nullptr};
    EXPECT_EQ(poll_change_watches(none, 1), PollNothingFired);
    EXPECT_EQ(poll_change_watches(handles, 0), PollFailed);
}

TEST_F(Files, watch_cannot_be_opened_on_a_file_or_a_missing_folder)
{
    tree_.file("backup");
    EXPECT_EQ(open_change_watch(tree_.path("backup").c_str()), nullptr);
    EXPECT_EQ(open_change_watch(tree_.path("missing").c_str()), nullptr);
}

} // namespace
} // namespace qm::test
