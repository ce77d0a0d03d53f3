// One contract of the files, watch, settings and instance ports, run with the same cases on every
// backend: the simulated one that the program's logic is tested on, the POSIX one of `qmspool
// watch`, and the Windows one (under Wine). What the logic's tests take for granted on the
// simulation is checked here against the backends the program really runs on.
//
// Each backend's test source defines an adapter and instantiates the suite with it. An adapter
// derives from ScratchFolder (a folder of the test's own, set up afresh for each test) and adds:
//   void folder(rel), void file(rel, text), void remove(rel)  changes made by another program,
//                                                             reported to the backend if it must be
//   bool fifo(rel)             a FIFO under the name, with a writer so that an open would not
//                              wait; false when the backend has no such thing
//   bool backslash_folder(rel) a folder whose last name holds backslashes; false when no name can
//   Hold hold(rel)             another process has the file open for writing, until Hold goes
//   Keys keys()                four key names of the test's own
//   void set_value(keys, name, bytes), void set_text(keys, name, text)
//                              a value stored by another program, under the names as spelt
//   static void pause()        a moment, for a backend whose changes arrive later (else nothing)
//   static void settle()       long enough for such changes to have arrived (else nothing)
//   static const char* NoFifo, NoBackslash   why fifo() or backslash_folder() is false
//   static const char* NoFolderAgain  null, or why a watched folder cannot go and come again
//   static bool HasInstance, const char* NoInstance   whether the backend has the instance port
// Relative paths use '/'; path() gives them as the program builds them, with backslashes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/files_port.h"
#include "platform/instance_port.h"
#include "platform/settings_port.h"
#include "platform/watch_port.h"

namespace qm::contract {

class ScratchFolder {
public:
    ScratchFolder()
    {
        static int serial = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = std::filesystem::temp_directory_path() /
                ("qm-contract-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        std::filesystem::create_directories(root_);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path fs_path(const std::string& relative = "") const
    {
        return relative.empty() ? root_ : root_ / std::filesystem::path(relative);
    }
    // As the program builds paths: the install folder and names joined with backslashes.
    std::string path(const std::string& relative = "") const
    {
        std::string p = fs_path(relative).string();
        std::replace(p.begin(), p.end(), '/', '\\');
        return p;
    }
    void folder(const std::string& relative) const
    {
        std::filesystem::create_directories(fs_path(relative));
    }
    void file(const std::string& relative, const std::string& text = "x") const
    {
        std::ofstream(fs_path(relative), std::ios::binary) << text;
    }
    void remove(const std::string& relative) const
    {
        std::filesystem::remove_all(fs_path(relative));
    }

private:
    std::filesystem::path root_;
};

// The same names in other letters.
inline std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}
inline std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Four key names with storage of their own.
struct Keys {
    std::array<std::string, 4> names;
    KeyPath path() const
    {
        return KeyPath{{names[0].c_str(), names[1].c_str(), names[2].c_str(), names[3].c_str()}};
    }
    template <typename Change> Keys spelt(Change change) const
    {
        return Keys{{change(names[0]), change(names[1]), change(names[2]), change(names[3])}};
    }
};

template <typename Backend> class PortContract : public ::testing::Test {
protected:
    // Polls until a watch fires or about five seconds pass (an upper bound: the Windows backend
    // hears of changes a little later; the others have them by the time the change is made).
    static int poll_until_fired(const WatchHandle* watches, int count)
    {
        int r = PollNothingFired;
        for (int i = 0; i < 100; ++i) {
            r = poll_change_watches(watches, count);
            if (r != PollNothingFired)
                return r;
            Backend::pause();
        }
        return r;
    }
    // A poll once every change made so far has had the time to arrive.
    static int poll_settled(const WatchHandle* watches, int count)
    {
        Backend::settle();
        return poll_change_watches(watches, count);
    }

    std::vector<std::string> listed(const std::string& relative)
    {
        std::vector<std::string> names;
        FolderEntry entry{};
        FolderListing listing(backend_.path(relative).c_str(), &entry);
        if (listing.started()) {
            do
                names.push_back(std::string(entry.name) + (entry.is_folder ? "/" : ""));
            while (listing.next(&entry));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    Backend backend_;
};

TYPED_TEST_SUITE_P(PortContract);

// ---- Change watches

TYPED_TEST_P(PortContract,
             a_watch_fires_stays_fired_until_armed_and_fires_again_for_a_change_made_while_fired)
{
    auto& b = this->backend_;
    b.folder("backup");
    ChangeWatch watch(open_change_watch(b.path("backup").c_str()));
    ASSERT_TRUE(watch);
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    const WatchHandle one[1] = {watch.get()};
    EXPECT_EQ(poll_change_watches(one, 1), PollNothingFired);

    b.file("backup/Quillmark Spool File.pdb", "first");
    EXPECT_EQ(this->poll_until_fired(one, 1), 0);
    EXPECT_EQ(this->poll_settled(one, 1), 0) << "fired until armed again";

    // Armed with nothing changed since: quiet.
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_settled(one, 1), PollNothingFired);

    // Fired and seen by a poll; a change then, while the folder is being looked at, is not lost:
    // the watch fires again once armed.
    b.file("backup/Quillmark Spool File.pdb", "second");
    EXPECT_EQ(this->poll_until_fired(one, 1), 0);
    TypeParam::settle();
    b.file("backup/Quillmark_Spool_File.pdb", "third");
    TypeParam::settle();
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_until_fired(one, 1), 0) << "the change made while fired";
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_settled(one, 1), PollNothingFired);

    // Armed again with no poll between (a folder looked at again on a quiet tick, whose job took
    // a while): a change made during the look is kept for the next poll, and once that poll has
    // reported it an arm clears it.
    b.file("backup/Quillmark Spool File.pdb", "fourth");
    TypeParam::settle();
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_until_fired(one, 1), 0) << "the change made during the look";
    TypeParam::settle();
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_settled(one, 1), PollNothingFired);
}

TYPED_TEST_P(PortContract, a_watch_sees_its_own_folder_and_a_poll_names_the_lowest_fired_slot)
{
    auto& b = this->backend_;
    b.folder("a/sub");
    b.folder("b");
    b.file("a/old.pdb");
    ChangeWatch wa(open_change_watch(b.path("a").c_str()));
    ChangeWatch wb(open_change_watch(b.path("b").c_str()));
    ChangeWatch wb2(open_change_watch(b.path("b").c_str())); // a second watch on one folder
    ASSERT_TRUE(wa && wb && wb2);
    for (const ChangeWatch* w : {&wa, &wb, &wb2})
        ASSERT_EQ(arm_change_watch(w->get()), 0);
    const WatchHandle slots[3] = {wb.get(), nullptr, wa.get()};
    EXPECT_EQ(poll_change_watches(slots, 3), PollNothingFired);

    // Not for a change in a subfolder; for a deletion by the program.
    b.file("a/sub/deep.pdb");
    EXPECT_EQ(this->poll_settled(slots, 3), PollNothingFired);
    EXPECT_EQ(delete_file(b.path("a/old.pdb").c_str()), 0);
    EXPECT_EQ(this->poll_until_fired(slots, 3), 2);

    // Both fired: the lowest slot first, then the other once the first is armed.
    b.file("b/x.pdb");
    EXPECT_EQ(this->poll_until_fired(slots, 3), 0);
    TypeParam::settle();
    ASSERT_EQ(arm_change_watch(wb.get()), 0);
    EXPECT_EQ(this->poll_settled(slots, 3), 2);

    // Each watch on one folder fires on its own, and one closed leaves the other watching.
    const WatchHandle second[1] = {wb2.get()};
    EXPECT_EQ(poll_change_watches(second, 1), 0);
    ASSERT_EQ(arm_change_watch(wb2.get()), 0);
    wb.reset();
    EXPECT_EQ(this->poll_settled(second, 1), PollNothingFired)
        << "the other's closing is no change";
    b.file("b/y.pdb");
    EXPECT_EQ(this->poll_until_fired(second, 1), 0);

    const WatchHandle none[2] = {nullptr, nullptr};
    EXPECT_EQ(poll_change_watches(none, 2), PollNothingFired);
    EXPECT_EQ(poll_change_watches(slots, 0), PollFailed);
    EXPECT_EQ(open_change_watch(b.path("a/old.pdb").c_str()), nullptr) << "a file";
    EXPECT_EQ(open_change_watch(b.path("missing").c_str()), nullptr);
    EXPECT_EQ(arm_change_watch(nullptr), -1);
}

TYPED_TEST_P(PortContract, a_watched_folder_that_goes_fires_and_is_watched_again_once_made_again)
{
    auto& b = this->backend_;
    if (TypeParam::NoFolderAgain)
        GTEST_SKIP() << TypeParam::NoFolderAgain;
    b.folder("Bob/backup");
    ChangeWatch watch(open_change_watch(b.path("Bob/backup").c_str()));
    ASSERT_TRUE(watch);
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    const WatchHandle one[1] = {watch.get()};
    b.remove("Bob/backup");
    EXPECT_EQ(this->poll_until_fired(one, 1), 0) << "a look at it finds what went";
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_settled(one, 1), PollNothingFired);

    // Made again with a job in it before anyone looked: fired; and watched from then on.
    b.folder("Bob/backup");
    b.file("Bob/backup/Quillmark Spool File.pdb");
    EXPECT_EQ(this->poll_until_fired(one, 1), 0);
    TypeParam::settle();
    ASSERT_EQ(arm_change_watch(watch.get()), 0);
    EXPECT_EQ(this->poll_settled(one, 1), PollNothingFired);
    b.file("Bob/backup/Quillmark_Spool_File.pdb");
    EXPECT_EQ(this->poll_until_fired(one, 1), 0);
}

// ---- Names and listings

TYPED_TEST_P(PortContract, a_listing_gives_every_entry_with_its_kind)
{
    auto& b = this->backend_;
    b.folder("Palm/Jane/backup");
    b.file("Palm/notes.txt");
    EXPECT_EQ(this->listed("Palm"), (std::vector<std::string>{"../", "./", "Jane/", "notes.txt"}));
    FolderEntry entry{};
    EXPECT_FALSE(FolderListing(b.path("missing").c_str(), &entry).started());
    EXPECT_FALSE(FolderListing(b.path("Palm/notes.txt").c_str(), &entry).started()) << "a file";
}

TYPED_TEST_P(PortContract, a_look_up_ignores_letter_case_and_gives_the_stored_name)
{
    auto& b = this->backend_;
    b.folder("Jane/BackUp");
    b.file("Jane/Saved_Preferences.prc");
    FolderEntry found{};
    ASSERT_TRUE(find_entry(b.path("Jane").c_str(), "backup", &found));
    EXPECT_STREQ(found.name, "BackUp");
    EXPECT_TRUE(found.is_folder);
    ASSERT_TRUE(find_entry(b.path("Jane").c_str(), "SAVED_PREFERENCES.PRC", &found));
    EXPECT_STREQ(found.name, "Saved_Preferences.prc");
    EXPECT_FALSE(found.is_folder);
    EXPECT_TRUE(find_entry(b.path("Jane").c_str(), "backup", nullptr));
    EXPECT_FALSE(find_entry(b.path("Jane").c_str(), "backup2", nullptr));
    EXPECT_FALSE(find_entry(b.path("Jane").c_str(), "backu", nullptr));
    EXPECT_FALSE(find_entry(b.path("missing").c_str(), "backup", nullptr));
}

TYPED_TEST_P(PortContract, an_exact_name_beats_a_case_blind_match)
{
    auto& b = this->backend_;
    b.folder("Jane/BackUp");
    b.folder("Jane/backup");
    b.folder("Jane/BACKUP");
    const std::vector<std::string> names = this->listed("Jane");
    FolderEntry found{};
    if (names.size() == 3) {
        // The file system folds letter case: the one folder answers to each spelling.
        for (const char* name : {"BackUp", "backup", "BACKUP", "bAcKuP"}) {
            ASSERT_TRUE(find_entry(b.path("Jane").c_str(), name, &found)) << name;
            EXPECT_STREQ(found.name, "BackUp") << name;
        }
        return;
    }
    ASSERT_EQ(names, (std::vector<std::string>{"../", "./", "BACKUP/", "BackUp/", "backup/"}));
    for (const char* name : {"BackUp", "backup", "BACKUP"}) {
        ASSERT_TRUE(find_entry(b.path("Jane").c_str(), name, &found)) << name;
        EXPECT_STREQ(found.name, name) << "spelt exactly so, whatever the listing's order";
    }
    ASSERT_TRUE(find_entry(b.path("Jane").c_str(), "bAcKuP", &found));
    EXPECT_TRUE(std::set<std::string>({"BackUp", "backup", "BACKUP"}).count(found.name));
}

TYPED_TEST_P(PortContract, a_name_with_a_backslash_is_never_listed_or_found)
{
    auto& b = this->backend_;
    b.folder("Palm/x");
    b.folder("outside/backup");
    if (!b.backslash_folder("Palm/x\\..\\..\\outside"))
        GTEST_SKIP() << TypeParam::NoBackslash;
    // Joined with backslashes and read back, the name would lead out of the folder listed.
    EXPECT_EQ(this->listed("Palm"), (std::vector<std::string>{"../", "./", "x/"}));
    EXPECT_FALSE(find_entry(b.path("Palm").c_str(), "x\\..\\..\\outside", nullptr));
}

// ---- Files

TYPED_TEST_P(PortContract, a_file_another_process_holds_open_gives_no_stamp)
{
    auto& b = this->backend_;
    b.folder("backup");
    b.file("backup/job.pdb", "being written");
    const std::string job = b.path("backup/job.pdb");
    std::uint64_t before = 0, held = 7, after = 0;
    ASSERT_EQ(read_last_write_time(job.c_str(), &before), 0);
    {
        // The synchronisation still writing it: the file is left for a later look.
        auto writer = b.hold("backup/job.pdb");
        EXPECT_EQ(read_last_write_time(job.c_str(), &held), -1);
        EXPECT_EQ(held, 7u) << "no stamp given";
    }
    ASSERT_EQ(read_last_write_time(job.c_str(), &after), 0);
    EXPECT_EQ(after, before);
}

TYPED_TEST_P(PortContract, a_stamp_counts_100_ns_units_of_the_last_write_time)
{
    auto& b = this->backend_;
    b.file("job.pdb");
    const std::string job = b.path("job.pdb");
    // Whole seconds, which every file system keeps.
    const auto now = std::filesystem::file_time_type::clock::now();
    const auto base =
        std::chrono::time_point_cast<std::chrono::seconds>(now) - std::chrono::hours(48);
    std::filesystem::last_write_time(b.fs_path("job.pdb"), base);
    std::uint64_t first = 0, second = 0;
    ASSERT_EQ(read_last_write_time(job.c_str(), &first), 0);
    std::filesystem::last_write_time(b.fs_path("job.pdb"), base + std::chrono::hours(1));
    ASSERT_EQ(read_last_write_time(job.c_str(), &second), 0);
    EXPECT_EQ(second - first, 3600ull * 10000000ull);
}

TYPED_TEST_P(PortContract, a_missing_file_or_a_folder_under_a_files_name_is_no_file)
{
    auto& b = this->backend_;
    b.folder("backup/Quillmark Spool File.pdb");
    b.file("backup/Quillmark_Spool_File.pdb");
    for (const char* name : {"backup/Quillmark Spool File.pdb", "backup/missing.pdb"}) {
        SCOPED_TRACE(name);
        const std::string p = b.path(name);
        std::uint64_t stamp = 0;
        EXPECT_FALSE(can_open_for_reading(p.c_str()));
        EXPECT_EQ(read_last_write_time(p.c_str(), &stamp), -1);
        std::FILE* f = open_file(p.c_str(), "rb");
        EXPECT_EQ(f, nullptr);
        if (f)
            std::fclose(f);
        EXPECT_EQ(delete_file(p.c_str()), -1);
    }
    EXPECT_TRUE(std::filesystem::is_directory(b.fs_path("backup/Quillmark Spool File.pdb")))
        << "a folder is not deleted as a file";

    // The file beside them is one, and goes once.
    const std::string file = b.path("backup/Quillmark_Spool_File.pdb");
    EXPECT_TRUE(can_open_for_reading(file.c_str()));
    std::FILE* f = open_file(file.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), 'x');
    std::fclose(f);
    EXPECT_EQ(delete_file(file.c_str()), 0);
    EXPECT_EQ(delete_file(file.c_str()), -1);
}

TYPED_TEST_P(PortContract, a_fifo_under_a_files_name_is_never_read)
{
    auto& b = this->backend_;
    b.folder("backup");
    if (!b.fifo("backup/Quillmark Spool File.pdb"))
        GTEST_SKIP() << TypeParam::NoFifo;
    const std::string p = b.path("backup/Quillmark Spool File.pdb");
    std::uint64_t stamp = 0;
    EXPECT_FALSE(can_open_for_reading(p.c_str()));
    EXPECT_EQ(read_last_write_time(p.c_str(), &stamp), -1);
    std::FILE* f = open_file(p.c_str(), "rb");
    EXPECT_EQ(f, nullptr);
    if (f)
        std::fclose(f);
}

TYPED_TEST_P(PortContract, a_full_path_names_the_same_file_from_any_current_folder)
{
    auto& b = this->backend_;
    b.folder("Jane");
    b.file("Jane/job.pdb", "job");
    char absolute[1024];
    {
        struct Back {
            std::filesystem::path was = std::filesystem::current_path();
            ~Back() { std::filesystem::current_path(was); }
        } back;
        std::filesystem::current_path(b.fs_path());
        ASSERT_EQ(full_path("Jane\\job.pdb", absolute, sizeof absolute), 0);
        char tiny[8];
        EXPECT_EQ(full_path("Jane\\job.pdb", tiny, sizeof tiny), -1);
    }
    EXPECT_TRUE(can_open_for_reading(absolute)) << absolute;
    char again[1024];
    ASSERT_EQ(full_path(absolute, again, sizeof again), 0);
    EXPECT_STREQ(again, absolute) << "an absolute path is its own full path";
}

// ---- Settings

TYPED_TEST_P(PortContract, settings_keys_and_names_match_without_regard_to_letter_case)
{
    auto& b = this->backend_;
    const Keys keys = b.keys();
    b.set_value(keys.path(), "ShowDialog", {1, 0, 0, 0});
    b.set_text(keys.spelt(upper).path(), "Path", "C:\\Palm");
    for (const Keys& spelt : {keys, keys.spelt(upper), keys.spelt(lower)}) {
        SCOPED_TRACE(spelt.names[3]);
        unsigned char bytes[4] = {9, 9, 9, 9};
        for (const char* name : {"ShowDialog", "SHOWDIALOG", "showdialog"}) {
            EXPECT_EQ(read_binary_value(spelt.path(), name, bytes, sizeof bytes), 4) << name;
            EXPECT_EQ(bytes[0], 1);
            EXPECT_EQ(bytes[3], 0);
        }
        char path[16] = "";
        EXPECT_EQ(read_binary_value(spelt.path(), "path", path, sizeof path), 8);
        EXPECT_EQ(std::string(path, 8), std::string("C:\\Palm\0", 8)) << "text with its zero";
    }
}

TYPED_TEST_P(PortContract, a_settings_value_is_read_whole_into_room_enough_or_not_at_all)
{
    auto& b = this->backend_;
    const Keys keys = b.keys();
    b.set_value(keys.path(), "six", {1, 2, 3, 4, 5, 6});
    unsigned char room[8] = {0xee, 0xee, 0xee, 0xee, 0xee, 0xee, 0xee, 0xee};
    EXPECT_EQ(read_binary_value(keys.path(), "six", room, sizeof room), 6);
    EXPECT_EQ(std::vector<unsigned char>(room, room + 8),
              (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 0xee, 0xee}))
        << "the bytes after the value's stay";

    unsigned char small[4] = {9, 9, 9, 9};
    EXPECT_EQ(read_binary_value(keys.path(), "six", small, sizeof small), -1);
    EXPECT_EQ(read_binary_value(keys.path(), "seven", small, sizeof small), -1);
    Keys other = keys;
    other.names[3] = "v9.9";
    EXPECT_EQ(read_binary_value(other.path(), "six", room, sizeof room), -1);
    EXPECT_EQ(std::vector<unsigned char>(small, small + 4),
              (std::vector<unsigned char>{9, 9, 9, 9}))
        << "a value not read leaves the room as it was";
}

// ---- The session's one spooler

TYPED_TEST_P(PortContract, the_session_instance_is_held_by_one_claim_at_a_time)
{
    if constexpr (!TypeParam::HasInstance) {
        GTEST_SKIP() << TypeParam::NoInstance;
    } else {
        const std::string name = this->backend_.fs_path().filename().string();
        EXPECT_FALSE(instance_claimed(name.c_str()));
        InstanceClaim first = nullptr;
        ASSERT_EQ(claim_instance(name.c_str(), &first), ClaimOutcome::Claimed);
        InstanceClaimHandle held(first);
        EXPECT_TRUE(instance_claimed(name.c_str()));
        InstanceClaim second = nullptr;
        EXPECT_EQ(claim_instance(name.c_str(), &second), ClaimOutcome::HeldElsewhere);
        EXPECT_EQ(second, nullptr);
        EXPECT_TRUE(instance_claimed(name.c_str())) << "a refused claim leaves the first held";
        held.reset();
        EXPECT_FALSE(instance_claimed(name.c_str()));
        InstanceClaim again = nullptr;
        EXPECT_EQ(claim_instance(name.c_str(), &again), ClaimOutcome::Claimed);
        release_instance(again);
        EXPECT_FALSE(bring_window_forward(("NoSuchClass-" + name).c_str()));
    }
}

REGISTER_TYPED_TEST_SUITE_P(
    PortContract,
    a_watch_fires_stays_fired_until_armed_and_fires_again_for_a_change_made_while_fired,
    a_watch_sees_its_own_folder_and_a_poll_names_the_lowest_fired_slot,
    a_watched_folder_that_goes_fires_and_is_watched_again_once_made_again,
    a_listing_gives_every_entry_with_its_kind,
    a_look_up_ignores_letter_case_and_gives_the_stored_name, an_exact_name_beats_a_case_blind_match,
    a_name_with_a_backslash_is_never_listed_or_found,
    a_file_another_process_holds_open_gives_no_stamp,
    a_stamp_counts_100_ns_units_of_the_last_write_time,
    a_missing_file_or_a_folder_under_a_files_name_is_no_file,
    a_fifo_under_a_files_name_is_never_read,
    a_full_path_names_the_same_file_from_any_current_folder,
    settings_keys_and_names_match_without_regard_to_letter_case,
    a_settings_value_is_read_whole_into_room_enough_or_not_at_all,
    the_session_instance_is_held_by_one_claim_at_a_time);

} // namespace qm::contract
