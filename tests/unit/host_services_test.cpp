// The native host's services on real folders, in the test's process: the lock one watch holds
// per install folder, `config`'s store and show, the reading of a command line against a row,
// the start of a watch (what it refuses, what it logs) and the journal's lines.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "temp_file.h"
#include "host/host_commands.h"
#include "host/services/journal_wording.h"
#include "host/services/watch_lock.h"
#include "platform/posix/posix.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Outcome = host::WatchLock::Outcome;

// A scratch folder that is the user's runtime folder (where the locks go) and holds the config
// folder (where the settings file goes) while it lives.
class HostScratch : public test::TempFolder {
public:
    HostScratch() : TempFolder("qm-host")
    {
        setenv("XDG_RUNTIME_DIR", root().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (*this / "config").c_str(), 1);
    }
    ~HostScratch()
    {
        posix::configure(posix::Options{});
    }
    std::string dir(const std::string& name) const
    {
        fs::create_directories(root() / name);
        return *this / name;
    }
    std::vector<std::string> lock_files() const
    {
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(root()))
            if (e.path().filename().string().rfind("qmspool-watch-", 0) == 0)
                files.push_back(e.path().string());
        return files;
    }
};

std::string text_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(HostWatchLock, one_holder_per_folder_named_to_the_next_and_its_file_emptied_when_it_goes)
{
    HostScratch s;
    std::string detail;
    std::vector<std::string> files;
    {
        host::WatchLock first, second, other;
        ASSERT_EQ(first.take("/srv/a", detail), Outcome::Held);
        EXPECT_EQ(first.take("/srv/a", detail), Outcome::Held); // a holder asking again
        EXPECT_EQ(second.take("/srv/a", detail), Outcome::HeldByOther);
        EXPECT_EQ(detail, std::to_string(getpid()));
        EXPECT_EQ(other.take("/srv/a/", detail), Outcome::Held); // another path, another lock
        files = s.lock_files();
        ASSERT_EQ(files.size(), 2u);
        for (const std::string& f : files) {
            EXPECT_TRUE(std::regex_match(fs::path(f).filename().string(),
                                         std::regex("qmspool-watch-[0-9a-f]{16}\\.lock")));
            EXPECT_EQ(fs::status(f).permissions(), fs::perms::owner_read | fs::perms::owner_write);
            EXPECT_EQ(text_of(f), std::to_string(getpid()) + "\n");
        }
    }
    for (const std::string& f : files)
        EXPECT_EQ(text_of(f), "") << f;
    {
        host::WatchLock again;
        EXPECT_EQ(again.take("/srv/a", detail), Outcome::Held);
    }
    // A holder that has not (yet) written its PID is named as unknown.
    std::vector<int> held;
    for (const std::string& f : files) {
        held.push_back(open(f.c_str(), O_RDWR | O_CLOEXEC));
        EXPECT_EQ(write(held.back(), "\n", 1), 1); // a line, but no PID on it
        EXPECT_EQ(flock(held.back(), LOCK_EX | LOCK_NB), 0);
    }
    host::WatchLock refused;
    EXPECT_EQ(refused.take("/srv/a", detail), Outcome::HeldByOther);
    EXPECT_EQ(detail, "unknown");
    for (int fd : held)
        close(fd);
}

TEST(HostWatchLock, a_lock_file_that_is_not_this_users_plain_file_is_no_lock_and_nothing_is_held)
{
    HostScratch s;
    std::string name;
    {
        host::WatchLock lock;
        ASSERT_EQ(lock.take("/srv/a", name), Outcome::Held);
        name = s.lock_files().at(0);
    }
    const std::vector<void (*)(const std::string&)> in_its_place = {
        [](const std::string& f) { fs::create_symlink(f + ".target", f); },
        [](const std::string& f) { fs::create_directory(f); },
        [](const std::string& f) { mkfifo(f.c_str(), 0600); },
    };
    for (auto make : in_its_place) {
        fs::remove_all(name);
        make(name);
        std::string detail;
        host::WatchLock lock;
        EXPECT_EQ(lock.take("/srv/a", detail), Outcome::Unavailable);
        EXPECT_NE(detail.find(fs::path(name).filename().string()), std::string::npos) << detail;
        EXPECT_EQ(lock.take("/srv/a", detail), Outcome::Unavailable) << "held after all";
    }
    fs::remove_all(name);
    // No runtime folder of the user's: a private one of /tmp.
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    const std::string fallback = "/tmp/qmspool-" + std::to_string(geteuid());
    const std::string folder = s / "fallback";
    std::set<std::string> before;
    std::error_code none;
    for (const auto& e : fs::directory_iterator(fallback, none))
        before.insert(e.path().string());
    std::string detail;
    {
        host::WatchLock lock, second;
        EXPECT_EQ(lock.take(folder, detail), Outcome::Held) << detail;
        EXPECT_EQ(second.take(folder, detail), Outcome::HeldByOther) << detail;
        EXPECT_EQ(fs::status(fallback).permissions(), fs::perms::owner_all);
    }
    EXPECT_EQ(s.lock_files().size(), 0u);
    // Its file is this test's to remove: it is in no scratch folder.
    for (const auto& e : fs::directory_iterator(fallback))
        if (!before.count(e.path().string()))
            fs::remove(e.path());
}

struct HostRun {
    int status;
    std::string err;
};

HostRun config(const std::vector<std::string>& args)
{
    std::vector<std::string> line = {"config"};
    line.insert(line.end(), args.begin(), args.end());
    const CliRun r = qmspool(line);
    return {r.status, r.out + r.err};
}

TEST(HostConfig, stores_the_install_folder_as_one_absolute_path_that_watch_reads_and_shows_it)
{
    HostScratch s;
    const std::string settings = s / "config/quillmark/settings";
    const std::string head = "settings file: " + settings + "\ninstall-folder: ";
    EXPECT_EQ(config({}).err, head + "not set (qmspool config install-folder DIR)\n");
    s.dir("Palm Desktop/x");
    fs::create_directory_symlink(s / "Palm Desktop", s / "link");
    const HostRun stored = config({"install-folder", s / "link/x/../"});
    EXPECT_EQ(stored.status, 0);
    EXPECT_EQ(stored.err, head + s / "Palm Desktop\n");
    EXPECT_EQ(config({}).err, head + s / "Palm Desktop\n");
    EXPECT_NE(text_of(settings).find("Pilot Desktop\\Core]\nPath=" + s / "Palm Desktop\n"),
              std::string::npos)
        << text_of(settings);
}

TEST(HostConfig, refuses_a_folder_watch_could_not_read_back_and_keeps_the_setting_as_it_was)
{
    HostScratch s;
    std::ofstream(s / "file") << "x";
    // The longest path the monitor holds, and one past it.
    const std::string deep = s.dir(std::string(200, 'd') + "/" + std::string(200, 'e'));
    const std::string fits = s.dir(deep + "/" + std::string(511 - deep.size() - 1, 'f'));
    const std::string too_long = s.dir(deep + "/" + std::string(512 - deep.size() - 1, 'f'));
    ASSERT_EQ(config({"install-folder", fits}).status, 0);
    const std::string stored = config({}).err;
    const std::string usage = "qmspool: config takes nothing, or install-folder DIR (see qmspool "
                              "--help)\n";
    const struct {
        std::vector<std::string> args;
        std::string says; // the end of its one line
    } refused[] = {
        {{"install-folder", s / "file"}, "not stored: not a folder\n"},
        {{"install-folder", s / "missing"}, "missing': No such file or directory\n"},
        {{"install-folder", s.dir("back\\slash")}, "would be read as a folder separator\n"},
        {{"install-folder", s.dir("trailing ")}, "a space at the end of its name would be lost\n"},
        {{"install-folder", s.dir("line\nend")}, "would end the settings file's line\n"},
        {{"install-folder", too_long}, "not stored: its name is too long\n"},
        {{"install-folder"}, usage},
        {{"install-folder", ""}, usage},
        {{"folder", s / "file"}, usage},
    };
    for (const auto& r : refused) {
        const HostRun run = config(r.args);
        EXPECT_EQ(run.status, 1) << r.says;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.err.ends_with(r.says)) << run.err;
        EXPECT_EQ(config({}).err, stored);
    }
    // A settings file that cannot be read is said so, and not written over.
    fs::remove(s / "config/quillmark/settings");
    s.dir("config/quillmark/settings");
    for (const HostRun& run : {config({}), config({"install-folder", fits})}) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("qmspool config: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(s / "config/quillmark/settings"), std::string::npos) << run.err;
    }
}

// A row of its own: what the reading of a command line hands its handler.
int probe(const cli::Invocation& call, std::FILE* out, std::FILE*)
{
    for (const char* operand : call.operands)
        std::fprintf(out, "%s,", operand);
    for (const char* option : {"--flag", "--name"})
        std::fprintf(out, " %s", call.value(option) ? call.value(option) : "-");
    return 0;
}
const cli::CommandForm ProbeForms[] = {{"probe A [B] [--flag] [--name N]", "One.\nTwo."}};
const cli::CommandOption ProbeOptions[] = {{"--flag", false}, {"--name", true}};
const cli::Command ProbeRows[] = {
    {"probe", ProbeForms, ProbeOptions, 1, 2, "probe takes A", probe},
};

TEST(HostCommandLine, options_follow_the_operands_in_any_order_and_the_last_of_a_repeat_counts)
{
    const std::string usage = "Usage:\n  qmspool probe A [B] [--flag] [--name N]\n      One.\n"
                              "      Two.\n";
    const auto refusal = [](const std::string& what) {
        return "qmspool: " + what + " (see qmspool --help)\n";
    };
    const struct {
        std::vector<std::string> args;
        std::string says;
    } lines[] = {
        {{"probe", "a"}, "a, - -"},
        {{"probe", "a", "b", "--flag"}, "a,b, --flag -"},
        {{"probe", "a", "--name", "x", "--flag", "--name", "-y"}, "a, --flag -y"},
        {{"probe", "a", "b", "c"}, refusal("probe: unknown option 'c'")},
        {{"probe", "a", "-b"}, refusal("probe: unknown option '-b'")},
        {{"probe", "a", "--name"}, refusal("probe: --name needs a value")},
        {{"probe"}, refusal("probe takes A")},
        {{"probe", "--flag", "a"}, refusal("probe takes A")},
        {{"probe", "a", "--flag", "-h"}, usage},
        {{"help", "probe"}, usage},
        {{"probe", "-h"}, usage},
    };
    for (const auto& l : lines) {
        std::vector<const char*> argv = {"qmspool"};
        for (const std::string& a : l.args)
            argv.push_back(a.c_str());
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status =
            cli::qmspool_main(static_cast<int>(argv.size()), argv.data(), out, err, ProbeRows);
        EXPECT_EQ(slurp(out) + slurp(err), l.says) << l.args.back();
        EXPECT_EQ(status, l.says.rfind("qmspool: ", 0) == 0 ? 1 : 0) << l.args.back();
    }
}

// `qmspool watch ARGS` in a thread until it has said which printer it prints on (then it is
// stopped) or it has ended: its status and its lines.
HostRun watch(std::vector<std::string> args, const std::string& log)
{
    args.insert(args.begin(), "watch");
    std::FILE* err = std::fopen(log.c_str(), "w");
    std::atomic<int> status = -1;
    std::thread run([&] {
        std::vector<const char*> argv = {"qmspool"};
        for (const std::string& a : args)
            argv.push_back(a.c_str());
        status = cli::qmspool_main(static_cast<int>(argv.size()), argv.data(), stdout, err,
                                   host::commands());
    });
    for (int i = 0;
         i < 1000 && status == -1 && text_of(log).find("printing on") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    host::stop_watch();
    run.join();
    std::fclose(err);
    return {status, text_of(log)};
}

TEST(HostWatch, a_watch_with_nothing_to_watch_or_already_watched_ends_at_once_saying_why)
{
    HostScratch s;
    const std::string palm = s.dir("Palm");
    ASSERT_EQ(chdir(palm.c_str()), 0); // "." and "../Palm/" are Palm too
    host::WatchLock held;
    std::string detail;
    ASSERT_EQ(held.take(palm, detail), Outcome::Held);
    const std::string busy = "qmspool watch: '" + palm + "' is already watched by qmspool " +
                             "watch (PID " + std::to_string(getpid()) + ")\n";
    const std::string backslash = s.dir("back\\slash");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } starts[] = {
        {{}, host::WatchNotConfigured, "qmspool watch: no install folder set: name it with "},
        {{"--install-folder", "../Palm/"}, 1, busy},
        {{"--printer", "P", "--install-folder", "x", "--install-folder", "."}, 1, busy},
        {{"--install-folder", backslash}, 1, "not used: a backslash in its name would be read"},
        {{"--install-folder", s.dir("Empty")},
         host::WatchNotConfigured,
         "no user folder in install folder '" + s / "Empty'"},
        {{"job.pdb"}, 1, "qmspool: watch: unknown option 'job.pdb' (see qmspool --help)\n"},
    };
    for (const auto& start : starts) {
        const HostRun r = watch(start.args, s / "log");
        EXPECT_EQ(r.status, start.status) << r.err;
        EXPECT_NE(r.err.find(start.says), std::string::npos) << r.err;
    }
    ASSERT_EQ(chdir("/"), 0);
}

TEST(HostWatch, logs_each_user_folder_watched_or_skipped_and_why_then_stops_when_asked)
{
    HostScratch s;
    const std::string palm = s.dir("Palm");
    const std::string longest(49, 'N'); // the longest user name the monitor holds
    for (const char* folder : {"Alice/backup", "Bob/notes", "Carol/prefs"})
        s.dir("Palm/" + std::string(folder));
    std::ofstream(palm + "/Carol/prefs/Saved_Preferences.PRC") << "";
    s.dir("Palm/" + longest + "/backup");
    s.dir("Palm/" + longest + "N/backup");
    ASSERT_EQ(config({"install-folder", palm}).status, 0);
    const std::string skipped = "qmspool watch: skipped user folder '" + palm + "/";
    const std::set<std::string> expected = {
        "qmspool watch: watching " + palm + "/Alice/backup",
        "qmspool watch: watching " + palm + "/Carol/prefs",
        "qmspool watch: watching " + palm + "/" + longest + "/backup",
        skipped +
            "Bob': it holds no 'backup' folder and no folder with Saved_Preferences.PRC in it",
        skipped + longest + "N': its name is longer than the 49 characters a user's name may have",
    };
    const HostRun r = watch({}, s / "log");
    EXPECT_EQ(r.status, 0);
    std::set<std::string> lines;
    std::istringstream in(r.err);
    for (std::string line; std::getline(in, line);)
        if (line.find("watching") != std::string::npos || line.find("skipped") != std::string::npos)
            lines.insert(line);
    EXPECT_EQ(lines, expected) << r.err;
    EXPECT_TRUE(r.err.ends_with("qmspool watch: stopped\n")) << r.err;

    // One past the users the monitor holds: the last is skipped, and said to be.
    for (int i = 0; i < 48; ++i)
        s.dir("Palm/user" + std::to_string(i) + "/backup");
    const std::string full = watch({}, s / "log").err;
    int watched = 0;
    for (std::size_t at = 0; (at = full.find(": watching ", at)) != std::string::npos; ++at)
        ++watched;
    EXPECT_EQ(watched, 50) << full;
    EXPECT_NE(full.find("': 50 user folders are watched at most\n"), std::string::npos) << full;
}

// The journal's lines for what stops a job or a watch: the file or folder and why.
TEST(HostJournal, a_notice_names_the_file_folder_or_user_and_why_it_could_not_be_used)
{
    HostScratch s;
    const std::string palm = s.dir("Palm");
    s.dir("Palm/Alice/backup");
    const std::string job = palm + "/Alice/backup/Job.pdb";
    std::ofstream(s / "file") << "x";
    const std::string given = " (given by --install-folder)";
    const struct {
        std::string install_folder;
        NoticeKind kind;
        std::string path;
        std::string line;
    } notices[] = {
        {palm + "//", NoticeKind::JobFileGone, job,
         "job file '" + job + "' not printed: it is no longer there"},
        {palm, NoticeKind::JobFileGone, palm + "/Alice/backup",
         "job file '" + palm + "/Alice/backup' not printed: it is not a regular file"},
        {palm, NoticeKind::JobFound, palm + "/Alice.pdb", "found job '" + palm + "/Alice.pdb'"},
        {palm, NoticeKind::JobFound, palm + "2/Alice/Job.pdb",
         "found job '" + palm + "2/Alice/Job.pdb'"},
        {palm + "//", NoticeKind::NoPrinterFromDialog, job,
         "no printer for the job of user 'Alice': name one with --printer NAME"},
        {palm, NoticeKind::PageRefused, job,
         "page 2 of the job of user 'Alice' could not be started on the printer: the rest of "
         "the job is not printed"},
        {s / "file", NoticeKind::NoUserFolders, "",
         "install folder '" + s / "file" + "' is not a folder" + given},
        {s / "file/x", NoticeKind::NoUserFolders, "",
         "install folder '" + s / "file/x" + "' not found" + given},
        {"", NoticeKind::NoUserFolders, "",
         "no user folder with a backup folder in the install folder"},
    };
    for (const auto& n : notices) {
        std::string windows = n.path;
        std::replace(windows.begin(), windows.end(), '/', '\\');
        const Notice notice{n.kind, windows.c_str(), 2};
        EXPECT_EQ(host::journal_line(notice, posix::notice_facts(notice),
                                     host::journal_context(n.install_folder, true)),
                  n.line);
    }
}

} // namespace
} // namespace qm
