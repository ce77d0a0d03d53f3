// The POSIX backend of the ports on real folders: inotify watches that fire, stay fired and fire
// again when armed after a change, all on one inotify instance, and that come back when their
// folder is made again; stamps that wait while someone else holds the file; no read that waits
// on a FIFO; the settings file in place of the registry; folder look-ups with the program's
// backslash paths and no names that would not survive them; message boxes as log lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/services/journal_wording.h"
#include "host/services/settings_file.h"
#include "platform/files_port.h"
#include "platform/posix/posix.h"
#include "platform/print_port.h"
#include "platform/settings_port.h"
#include "platform/ui_port.h"
#include "platform/watch_port.h"
#include "temp_file.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class TempDir : public test::TempFolder {
public:
    TempDir() : TempFolder("qm-posix") {}
    // The path as the monitor builds it, with backslashes.
    std::string windows(const std::string& name = "") const
    {
        std::string p = name.empty() ? root().string() : (root() / name).string();
        for (char& c : p)
            if (c == '/')
                c = '\\';
        return p;
    }
};

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The backend set up with its log in memory.
struct Log {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);
    explicit Log(const std::string& settings_file = "")
    {
        posix::Options options;
        options.settings_file = settings_file;
        options.log = file;
        posix::configure(options);
    }
    ~Log()
    {
        posix::configure(posix::Options{});
        std::fclose(file);
        std::free(data);
    }
    std::string text()
    {
        std::fflush(file);
        return std::string(data, size);
    }
};

int inotify_instances()
{
    int n = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        n += fs::read_symlink(fd.path(), ec).string() == "anon_inode:inotify";
    }
    return n;
}

// `body`'s exit status in a child process, or -1 when it has not ended within 20 s (an upper
// bound: it is then killed), so that what would wait for ever fails instead of hanging.
int in_child(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    for (int i = 0; i < 2000 && waitpid(child, &status, WNOHANG) == 0; ++i)
        usleep(10000);
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
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

TEST(PosixWatch,
     shares_one_inotify_instance_says_why_a_watch_failed_and_watches_a_folder_made_again)
{
    TempDir d;
    Log log;
    for (const char* user : {"Alice", "Bob", "Carol"})
        fs::create_directories(d / (std::string(user) + "/backup"));
    const int before = inotify_instances();
    ChangeWatch alice(open_change_watch(d.windows("Alice\\backup").c_str()));
    ChangeWatch bob(open_change_watch(d.windows("Bob\\backup").c_str()));
    ChangeWatch carol(open_change_watch(d.windows("Carol\\backup").c_str()));
    ASSERT_TRUE(alice && bob && carol);
    // A user may have 128 instances, shared with everything the user runs: one per process.
    EXPECT_EQ(inotify_instances(), before + 1);
    EXPECT_EQ(open_change_watch(d.windows("Dave\\backup").c_str()), nullptr);
    EXPECT_EQ(log.text(), "qmspool watch: not watching '" + (d / "Dave/backup") +
                              "': No such file or directory\n");
    const WatchHandle all[3] = {alice.get(), bob.get(), carol.get()};

    // Bob's folder deleted fires; made again with a job in it before the watch is back, it
    // fires again, and its changes fire from then on.
    fs::remove_all(d / "Bob");
    EXPECT_EQ(poll_change_watches(all, 3), 1);
    EXPECT_EQ(arm_change_watch(bob.get()), 0);
    EXPECT_EQ(poll_change_watches(all, 3), PollNothingFired);
    fs::create_directories(d / "Bob/backup");
    write_text(d / "Bob/backup/Quillmark Spool File.pdb", "job");
    EXPECT_EQ(poll_change_watches(all, 3), 1);
    EXPECT_EQ(arm_change_watch(bob.get()), 0);
    EXPECT_EQ(poll_change_watches(all, 3), PollNothingFired);
    write_text(d / "Bob/backup/Quillmark_Spool_File.pdb", "job");
    EXPECT_EQ(poll_change_watches(all, 3), 1);

    // Carol's folder moved away: the watch stays with the name, not with the folder.
    fs::rename(d / "Carol/backup", d / "Carol/old");
    EXPECT_EQ(poll_change_watches(all, 3), 1); // the lowest fired first
    EXPECT_EQ(arm_change_watch(bob.get()), 0);
    EXPECT_EQ(poll_change_watches(all, 3), 2);
    EXPECT_EQ(arm_change_watch(carol.get()), 0);
    write_text(d / "Carol/old/Quillmark Spool File.pdb", "job");
    EXPECT_EQ(poll_change_watches(all, 3), PollNothingFired);
    fs::create_directories(d / "Carol/backup");
    EXPECT_EQ(poll_change_watches(all, 3), 2);
    EXPECT_NE(log.text().find("watching '" + (d / "Carol/backup") + "' again\n"), std::string::npos)
        << log.text();

    alice.reset();
    bob.reset();
    carol.reset();
    EXPECT_EQ(inotify_instances(), before);
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

TEST(PosixFiles, a_fifo_under_a_spool_files_name_is_never_read_and_backslash_names_never_listed)
{
    TempDir d;
    Log log;
    // A user folder whose name, joined with backslashes and read back, names "outside".
    fs::create_directories(d / "Palm/x\\..\\..\\outside");
    fs::create_directories(d / "Palm/x");
    fs::create_directories(d / "Palm/Alice/backup");
    fs::create_directories(d / "outside/backup");

    // Listed twice (a look-up lists too): not there, and said once.
    EXPECT_FALSE(find_entry(d.windows("Palm").c_str(), "x\\..\\..\\outside", nullptr));
    std::vector<std::string> names;
    FolderEntry entry{};
    FolderListing listing(d.windows("Palm").c_str(), &entry);
    do
        names.push_back(entry.name);
    while (listing.next(&entry));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Alice", "x"}));
    EXPECT_EQ(log.text(), "qmspool watch: skipped '" + (d / "Palm/x") +
                              "\\\\..\\\\..\\\\outside': a backslash in its name would be read "
                              "as a folder separator\n");

    // A FIFO where a spool file is looked for, with a writer so that an open would not wait:
    // not a file to read, stamp or delete.
    const std::string fifo = d / "Palm/Alice/backup/Quillmark Spool File.pdb";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    const std::string job = d.windows("Palm\\Alice\\backup\\Quillmark Spool File.pdb");
    std::FILE* f = open_file(job.c_str(), "rb");
    EXPECT_EQ(f, nullptr);
    if (f)
        std::fclose(f);
    std::uint64_t stamp = 0;
    EXPECT_EQ(read_last_write_time(job.c_str(), &stamp), -1);
    EXPECT_FALSE(can_open_for_reading(job.c_str()));
    close(writer);
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
    options.notice_wording = [](const Notice& n, const posix::NoticeFacts& facts) {
        return host::journal_line(n, facts, host::JournalContext{});
    };
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

    // "~/" starts in the home folder; a "~" elsewhere, or another user's "~name", is a name.
    const char* home = std::getenv("HOME");
    const std::string old_home = home ? home : "";
    setenv("HOME", "/home/me/", 1);
    for (const auto& [stored, read] : std::vector<std::pair<std::string, std::string>>{
             {"~/Palm Desktop", "/home/me/Palm Desktop"},
             {"~", "/home/me"},
             {"~bob/Palm", "~bob/Palm"},
             {"/srv/~/Palm", "/srv/~/Palm"}}) {
        write_text(d / "home-settings", "[Software\\U.S. Robotics\\Pilot Desktop\\Core]\nPath=" +
                                            stored + "\n");
        posix::Options at_home;
        at_home.settings_file = d / "home-settings";
        at_home.log = log;
        at_home.notice_wording = options.notice_wording;
        posix::configure(at_home);
        ASSERT_EQ(read_registry_value("Software", "U.S. Robotics", "Pilot Desktop", "Core",
                                      "Path", path, sizeof path),
                  0);
        EXPECT_EQ(std::string(path), read) << stored;
    }
    if (home)
        setenv("HOME", old_home.c_str(), 1);
    else
        unsetenv("HOME");

    posix::set_value("Software\\U.S. Robotics\\Pilot Desktop\\Core", "Path", "/srv/palm");
    ASSERT_EQ(read_registry_value("Software", "U.S. Robotics", "Pilot Desktop", "Core", "Path",
                                  path, sizeof path),
              0);
    EXPECT_STREQ(path, "/srv/palm");

    // A message box is a line on the log; a path in it is shown as this system names it, and
    // what a name holds cannot break the line or speak to the terminal.
    EXPECT_EQ(message_box("Some other\ntext\n", "\\home\\caption"), AnswerOk);
    show_notice(Notice{NoticeKind::JobFileGone,
                       "\\home\\x\ny\x1b[2J\xc2\x9b\xff\\Quillmark Spool File.pdb"});
    posix::log_line("caf\xc3\xa9\tok");
    std::fclose(log);
    std::ifstream in(log_path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "qmspool watch: /home/caption: Some other text");
    std::getline(in, line);
    EXPECT_EQ(line, "qmspool watch: job file '/home/x\\ny\\x1b[2J\\xc2\\x9b\\xff/Quillmark Spool "
                    "File.pdb' not printed: it is no longer there");
    std::getline(in, line);
    EXPECT_EQ(line, "qmspool watch: caf\xc3\xa9\\tok");
    posix::configure(posix::Options{});
}

TEST(PosixNotices, every_notice_of_the_monitor_and_the_job_driver_is_a_linux_line_naming_its_object)
{
    TempDir d;
    fs::create_directories(d / "Palm/Alice/backup");
    const std::string job = d / "Palm/Alice/backup/Quillmark Spool File.pdb";
    const std::string job_windows = d.windows("Palm\\Alice\\backup\\Quillmark Spool File.pdb");
    write_text(job, "job");
    write_text(d / "settings", "");
    Log log(d / "settings");
    host::JournalContext context = host::journal_context(d.windows("Palm"), false);
    auto notice_line = [&context](const Notice& n) {
        return host::journal_line(n, posix::notice_facts(n), context);
    };
    posix::set_notice_wording(
        [&notice_line](const Notice& n, const posix::NoticeFacts&) { return notice_line(n); });
    DrawContext printer = create_printer_dc("Office");

    // Every notice but a job's end and a page whose document never closed says something: one
    // line, in this system's terms.
    for (int i = 0; i < NoticeKindCount; ++i) {
        const Notice n{static_cast<NoticeKind>(i), job_windows.c_str(), 2, printer};
        const std::string line = notice_line(n);
        const bool silent = n.kind == NoticeKind::JobEnded || n.kind == NoticeKind::PageDone;
        EXPECT_EQ(line.empty(), silent) << i << ": " << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << i;
        EXPECT_EQ(line.find("Windows"), std::string::npos) << i << ": " << line;
    }

    // What they name: the settings file and key, the install folder and where it was named, the
    // job's file, the user, the printer and the page.
    auto line_of = [&notice_line](NoticeKind kind, const std::string& path = "") {
        return notice_line(Notice{kind, path.c_str()});
    };
    // The monitor names the key it read, with backslashes; the line writes it with slashes.
    const std::string key = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
    EXPECT_EQ(line_of(NoticeKind::NoInstallFolder, key),
              "no install folder: set Path under [Software/U.S. Robotics/Pilot Desktop/Core] in " +
                  (d / "settings") +
                  " (qmspool config install-folder DIR does), or give --install-folder DIR");
    EXPECT_EQ(line_of(NoticeKind::NoUserFolders, key),
              "no user folder in install folder '" + (d / "Palm") +
                  "' has a backup folder (named 'backup', or one that holds "
                  "Saved_Preferences.PRC)");
    EXPECT_EQ(line_of(NoticeKind::JobFound, job_windows),
              "found the job of user 'Alice': '" + job + "'");
    EXPECT_EQ(line_of(NoticeKind::JobFound, d.windows("elsewhere.pdb")),
              "found job '" + (d / "elsewhere.pdb") + "'");
    context = host::journal_context(d / "Palm Desktop", false);
    EXPECT_EQ(line_of(NoticeKind::NoUserFolders, key),
              "install folder '" + (d / "Palm Desktop") +
                  "' not found (the Path under [Software/U.S. Robotics/Pilot Desktop/Core] in " +
                  (d / "settings") + ")");
    context = host::journal_context(d.windows("Palm\\"), true);

    // A job whose file is cut short: which record lacks what, as the job driver found it.
    const std::string cut = d.windows("cut.pdb");
    EXPECT_EQ(notice_line(Notice{NoticeKind::JobFileCutShort, cut.c_str(), 0, nullptr,
                                 "record 1 of 1 starts past its end (82 bytes)"}),
              "job file '" + (d / "cut.pdb") +
                  "' not printed: it is cut short: record 1 of 1 starts past its end (82 bytes)");

    // A page refused by the printer, shown through the port: the page, the user and the printer.
    show_notice(Notice{NoticeKind::DocumentRefused, job_windows.c_str(), 3, printer});
    delete_printer_dc(printer);
    EXPECT_EQ(log.text(), "qmspool watch: page 3 of the job of user 'Alice' could not be sent to "
                          "printer 'Office': the rest of the job is not printed\n");
}

TEST(PosixSettings, only_a_regular_settings_file_of_at_most_64_KiB_is_read_and_a_line_says_why_not)
{
    TempDir d;
    auto install_folder_read = [] {
        char path[512] = "";
        return read_registry_value("Software", "U.S. Robotics", "Pilot Desktop", "Core", "Path",
                                   path, sizeof path) == 0;
    };
    // A valid file but for the NULs that make it a byte over 64 KiB.
    std::string text = "[Software\\U.S. Robotics\\Pilot Desktop\\Core]\nPath=/srv/palm\n";
    text.resize(64 * 1024 + 1, '\0');
    write_text(d / "settings", text);
    {
        Log log(d / "settings");
        EXPECT_FALSE(install_folder_read());
        EXPECT_EQ(log.text(), "qmspool watch: settings file '" + (d / "settings") +
                                  "' not read: larger than 64 KiB\n");
    }
    // A FIFO is never waited on.
    fs::remove(d / "settings");
    ASSERT_EQ(mkfifo((d / "settings").c_str(), 0600), 0);
    Log log(d / "settings");
    EXPECT_EQ(in_child([&] {
                  const bool said = !install_folder_read() &&
                                    log.text() == "qmspool watch: settings file '" +
                                                      (d / "settings") +
                                                      "' not read: not a regular file\n";
                  return said ? 0 : 1;
              }),
              0);
}

TEST(PosixSettings, a_stored_value_replaces_its_one_line_or_is_added_and_every_other_line_stays)
{
    TempDir d;
    const std::string key = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
    auto stored_path = [] {
        char path[512] = "";
        return read_registry_value("Software", "U.S. Robotics", "Pilot Desktop", "Core", "Path",
                                   path, sizeof path) == 0
                   ? std::string(path)
                   : std::string("(none)");
    };
    auto read_text = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string why;

    // No file and no folder for it: both are made, the folder private to the user.
    const std::string fresh = d / "config/quillmark/settings";
    {
        Log log(fresh);
        EXPECT_EQ(stored_path(), "(none)");
        ASSERT_TRUE(host::store_setting(key, "Path", "/srv/palm", why)) << why;
        EXPECT_EQ(stored_path(), "/srv/palm"); // read again, not the cached absence
        EXPECT_EQ(read_text(fresh), "[" + key + "]\nPath=/srv/palm\n");
        EXPECT_EQ(fs::status(d / "config/quillmark").permissions() & fs::perms::all,
                  fs::perms::owner_all);
        EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }

    // The key written another way with two Path lines (the reader takes the last): the first is
    // replaced, the second goes, and every other line stays as it was.
    const std::string kept = "# mine\r\n[Software\\3Com\\Palm Desktop\\Core]\nPath=/old\n\n"
                             "[software/u.s. robotics/pilot desktop/core/]\n";
    write_text(d / "settings", kept + "  path = /one\nOther=x\nPATH=/two\n[Next]\nPath=/n\n");
    fs::permissions(d / "settings", fs::perms::owner_read | fs::perms::owner_write |
                                        fs::perms::group_read);
    {
        Log log(d / "settings");
        ASSERT_TRUE(host::store_setting(key, "Path", "/srv/palm 2", why)) << why;
        EXPECT_EQ(read_text(d / "settings"),
                  kept + "Path=/srv/palm 2\nOther=x\n[Next]\nPath=/n\n");
        EXPECT_EQ(stored_path(), "/srv/palm 2");
        // Stored a second time: the same one line.
        ASSERT_TRUE(host::store_setting(key, "Path", "/srv/palm", why)) << why;
        EXPECT_EQ(read_text(d / "settings"), kept + "Path=/srv/palm\nOther=x\n[Next]\nPath=/n\n");
        EXPECT_EQ(fs::status(d / "settings").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        EXPECT_EQ(log.text(), "");
    }

    // A key without the value gets it at its end; a file without the key, a section of its own.
    write_text(d / "settings", "[" + key + "]\nOther=x\n# note\n[Next]\nA=1");
    {
        Log log(d / "settings");
        ASSERT_TRUE(host::store_setting(key, "Path", "/p", why)) << why;
        EXPECT_EQ(read_text(d / "settings"), "[" + key + "]\nOther=x\nPath=/p\n# note\n[Next]\nA=1\n");
    }
    write_text(d / "settings", "[Next]\nA=1\n");
    {
        Log log(d / "settings");
        ASSERT_TRUE(host::store_setting(key, "Path", "/p", why)) << why;
        EXPECT_EQ(read_text(d / "settings"), "[Next]\nA=1\n\n[" + key + "]\nPath=/p\n");
    }

    // A settings file that is a link is written where it leads, and stays a link.
    fs::create_directory(d / "dotfiles");
    write_text(d / "dotfiles/settings", "[Next]\nA=1\n");
    fs::create_symlink(d / "dotfiles/settings", d / "link");
    {
        Log log(d / "link");
        ASSERT_TRUE(host::store_setting(key, "Path", "/p", why)) << why;
        EXPECT_TRUE(fs::is_symlink(d / "link"));
        EXPECT_EQ(read_text(d / "dotfiles/settings"), "[Next]\nA=1\n\n[" + key + "]\nPath=/p\n");
    }

    // One that cannot be read is not replaced: what it holds is not lost.
    std::string big = "[Next]\nA=1\n";
    big.resize(64 * 1024 + 1, '#');
    write_text(d / "settings", big);
    {
        Log log(d / "settings");
        EXPECT_FALSE(host::store_setting(key, "Path", "/p", why));
        EXPECT_EQ(why, "settings file '" + (d / "settings") + "' not changed: larger than 64 KiB");
        EXPECT_EQ(read_text(d / "settings"), big);
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(d / ""))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"config", "dotfiles", "link", "settings"}));
}

} // namespace
} // namespace qm
