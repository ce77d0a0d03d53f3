// The POSIX backend of the ports on real folders: inotify watches that fire, stay fired and fire
// again when armed after a change; stamps that wait while someone else holds the file; the
// settings file in place of the registry; folder look-ups with the program's backslash paths;
// message boxes as log lines.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/files_port.h"
#include "platform/posix/posix.h"
#include "platform/settings_port.h"
#include "platform/ui_port.h"
#include "platform/watch_port.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
    {
        static int serial = 0;
        path_ = fs::temp_directory_path() /
                ("qm-posix-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        fs::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // The path as the monitor builds it, with backslashes.
    std::string windows(const std::string& name = "") const
    {
        std::string p = name.empty() ? path_.string() : (path_ / name).string();
        for (char& c : p)
            if (c == '/')
                c = '\\';
        return p;
    }

private:
    fs::path path_;
};

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

TEST(PosixWatch, fires_on_a_change_in_its_folder_stays_fired_and_fires_again_when_armed_after_one)
{
    TempDir a, b;
    fs::create_directories(a / "sub");
    ChangeWatch wa(open_change_watch(a.windows().c_str()));
    ChangeWatch wb(open_change_watch(b.windows().c_str()));
    ASSERT_TRUE(wa);
    ASSERT_TRUE(wb);
    const WatchHandle both[3] = {wb.get(), nullptr, wa.get()};
    EXPECT_EQ(poll_change_watches(both, 3), PollNothingFired);

    // A new file in a's folder fires a's watch (reported by its slot), and it stays fired.
    write_text(a / "job.pdb", "one");
    EXPECT_EQ(poll_change_watches(both, 3), 2);
    EXPECT_EQ(poll_change_watches(both, 3), 2);

    // Armed with nothing changed since: quiet. Reading the file and its stamp changes nothing.
    EXPECT_EQ(arm_change_watch(wa.get()), 0);
    std::uint64_t stamp = 0;
    EXPECT_EQ(read_last_write_time(a.windows("job.pdb").c_str(), &stamp), 0);
    if (std::FILE* f = open_file(a.windows("job.pdb").c_str(), "rb"))
        std::fclose(f);
    EXPECT_EQ(poll_change_watches(both, 3), PollNothingFired);

    // A change while fired fires it again as soon as it is armed.
    write_text(a / "job.pdb", "two");
    EXPECT_EQ(poll_change_watches(both, 3), 2);
    write_text(a / "job.pdb", "three");
    EXPECT_EQ(arm_change_watch(wa.get()), 0);
    EXPECT_EQ(poll_change_watches(both, 3), 2);
    EXPECT_EQ(arm_change_watch(wa.get()), 0);
    EXPECT_EQ(poll_change_watches(both, 3), PollNothingFired);

    // Subfolders are not watched; a deletion is a change; the lowest fired slot comes first.
    write_text(a / "sub/other", "x");
    EXPECT_EQ(poll_change_watches(both, 3), PollNothingFired);
    write_text(b / "x", "x");
    EXPECT_EQ(delete_file(a.windows("job.pdb").c_str()), 0);
    EXPECT_EQ(poll_change_watches(both, 3), 0);
    EXPECT_EQ(arm_change_watch(wb.get()), 0);
    EXPECT_EQ(poll_change_watches(both, 3), 2);

    EXPECT_EQ(open_change_watch((a / "missing").c_str()), nullptr);
    EXPECT_EQ(poll_change_watches(both, 0), PollFailed);
}

TEST(PosixFiles, stamps_wait_while_another_holds_the_file_and_look_ups_take_backslash_paths)
{
    TempDir d;
    fs::create_directories(d / "Alice/backup");
    fs::create_directories(d / "Alice/BACKUP");
    fs::create_directories(d / "Bob/Backup");
    const std::string job = d.windows("Alice\\backup\\Quillmark Spool File.pdb");
    write_text(d / "Alice/backup/Quillmark Spool File.pdb", "job");

    std::uint64_t first = 0, again = 0;
    ASSERT_EQ(read_last_write_time(job.c_str(), &first), 0);
    {
        // The synchronisation still writing it: no stamp yet.
        std::FILE* held = std::fopen((d / "Alice/backup/Quillmark Spool File.pdb").c_str(), "ab");
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(read_last_write_time(job.c_str(), &again), -1);
        std::fclose(held);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    write_text(d / "Alice/backup/Quillmark Spool File.pdb", "job, again");
    ASSERT_EQ(read_last_write_time(job.c_str(), &again), 0);
    EXPECT_NE(again, first);
    EXPECT_EQ(read_last_write_time(d.windows("Alice\\backup").c_str(), &again), -1);
    EXPECT_TRUE(can_open_for_reading(job.c_str()));
    EXPECT_FALSE(can_open_for_reading(d.windows("Alice\\backup").c_str()));

    // An exact match wins over one in other letters; a match in other letters keeps its own.
    FolderEntry found{};
    ASSERT_TRUE(find_entry(d.windows("Alice").c_str(), "backup", &found));
    EXPECT_STREQ(found.name, "backup");
    EXPECT_TRUE(found.is_folder);
    ASSERT_TRUE(find_entry(d.windows("Bob").c_str(), "backup", &found));
    EXPECT_STREQ(found.name, "Backup");
    EXPECT_FALSE(find_entry(d.windows("Bob").c_str(), "Saved_Preferences.PRC", nullptr));

    char absolute[512];
    ASSERT_EQ(full_path("Alice\\backup", absolute, sizeof absolute), 0);
    EXPECT_EQ(std::string(absolute), fs::current_path().string() + "/Alice/backup");
    EXPECT_EQ(full_path("x", absolute, 3), -1);
}

TEST(PosixSettings, the_settings_file_stands_in_for_the_registry_and_a_run_value_wins)
{
    TempDir d;
    write_text(d / "settings", "# the desktop sync's install folder\n"
                               "[software/u.s. robotics/Pilot Desktop/core]\n"
                               "  path = /home/me/Palm Desktop \n"
                               "[Software\\Brackwater Software\\Quillmark\\v2.0]\n"
                               "ShowDialog=hex:01 00 00 00\n"
                               "Broken=hex:0g\n");
    std::string log_path = d / "log";
    std::FILE* log = std::fopen(log_path.c_str(), "w");
    posix::Options options;
    options.settings_file = d / "settings";
    options.log = log;
    posix::configure(options);

    char path[512] = "";
    ASSERT_EQ(read_registry_value("Software", "U.S. Robotics", "Pilot Desktop", "Core", "Path",
                                  path, sizeof path),
              0);
    EXPECT_STREQ(path, "/home/me/Palm Desktop");
    EXPECT_EQ(read_registry_value("Software", "3Com", "Palm Desktop", "Core", "Path", path,
                                  sizeof path),
              -1);
    const KeyPath ours{{"Software", "Brackwater Software", "Quillmark", "v2.0"}};
    unsigned char bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(read_binary_value(ours, "ShowDialog", bytes, sizeof bytes), 4);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[3], 0);
    EXPECT_EQ(read_binary_value(ours, "ShowDialog", bytes, 3), -1); // does not fit
    EXPECT_EQ(read_binary_value(ours, "Broken", bytes, sizeof bytes), -1);

    posix::set_value("Software\\U.S. Robotics\\Pilot Desktop\\Core", "Path", "/srv/palm");
    ASSERT_EQ(read_registry_value("Software", "U.S. Robotics", "Pilot Desktop", "Core", "Path",
                                  path, sizeof path),
              0);
    EXPECT_STREQ(path, "/srv/palm");

    // A message box is a line on the log.
    EXPECT_EQ(message_box("Can't find any valid\nuser folders\n", "Quillmark Spooler"), AnswerOk);
    std::fclose(log);
    std::ifstream in(log_path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "qmspool watch: Quillmark Spooler: Can't find any valid user folders");
    posix::configure(posix::Options{});
}

} // namespace
} // namespace qm
