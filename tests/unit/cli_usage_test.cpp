// qmspool's front door: how every command, portable or native, is refused and helped, and the
// manual page's synopsis held to the command table.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli_run.h"

namespace qm {
namespace {

TEST(QmspoolCommands, usage_errors_are_one_line_and_status_one)
{
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"info"},
        {"bmp", "only-one"},
        {"render", "f.pdb", "--page", "0", "--dpi", "300", "--out", "a.png"},
        {"render", "f.pdb", "--page", "1", "--out", "a.png"},
        {"render", "f.pdb", "--page", "1", "--dpi", "300", "--window", "600", "--out", "a.png"},
        {"render", "f.pdb", "--page", "1", "--dpi", "300"},
        {"render", "f.pdb", "--page", "1", "--window", "600", "--screen", "12", "--out", "a.ppm"},
        {"render", "f.pdb", "--page", "1", "--dpi", "abc", "--out", "a.png"},
        {"render", "f.pdb", "--page"},
        {"render", "f.pdb", "--bogus", "1"},
        {"render", "/nonexistent/f.pdb", "--page", "1", "--dpi", "30", "--out", "a.ppm"},
        {"bmp", "/nonexistent/f.pdb", "out.bmp"},
        {"render", "f.pdb", "--page", "1", "--dpi", "30", "--out", "-"},
        {"render", "f.pdb", "--page", "1", "--dpi", "30", "--out", "a.ppm", "--format", "ppm"},
        {"render", "f.pdb", "--page", "1", "--dpi", "30", "--out", "-", "--format", "gif"},
        {"frobnicate", "--help"},
    };
    for (const auto& args : bad) {
        const CliRun r = qmspool(args);
        EXPECT_EQ(r.status, 1) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // A screen larger than render takes: the limit is named, whichever side passes it.
    const std::string limit =
        std::to_string(cli::MaxScreenSide) + "x" + std::to_string(cli::MaxScreenSide);
    for (const std::string& screen :
         {std::string("20000x20000"), "1x" + std::to_string(cli::MaxScreenSide + 1)}) {
        const CliRun r = qmspool({"render", "f.pdb", "--page", "1", "--window", "600", "--screen",
                                  screen, "--out", "a.ppm"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("--screen " + screen + " is too large: at most " + limit),
                  std::string::npos)
            << r.err;
    }
    const CliRun help = qmspool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("qmspool render FILE --page K --dpi D"), std::string::npos);
}

TEST(QmspoolCommands, each_command_shows_its_own_usage_with_help_wherever_it_is_asked)
{
    std::vector<std::string> commands = {"info", "bmp", "render", "testpage"};
#if QM_HAVE_PDF
    commands.push_back("pdf");
#endif
#if QM_HAVE_HOST
    commands.push_back("print");
    commands.push_back("watch");
    commands.push_back("config");
#endif
    for (const std::string& command : commands) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{command, "--help"},
              std::vector<std::string>{command, "job.pdb", "-h"},
              std::vector<std::string>{"help", command}}) {
            const CliRun r = qmspool(args);
            EXPECT_EQ(r.status, 0) << args[0] << " " << args[1] << ": " << r.err;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out.rfind("Usage:\n  qmspool " + command + " ", 0), 0u) << r.out;
            // That command's usage only.
            for (const std::string& other : commands) {
                if (other != command) {
                    EXPECT_EQ(r.out.find("\n  qmspool " + other + " "), std::string::npos)
                        << command << " shows " << other;
                }
            }
        }
    }
    // The page rule is in the help of each command that takes pages.
    EXPECT_NE(qmspool({"render", "--help"}).out.find("past the job's last page is refused"),
              std::string::npos);
#if QM_HAVE_PDF
    EXPECT_NE(qmspool({"pdf", "--help"}).out.find("past the job's last page is refused"),
              std::string::npos);
#endif
}

// Every row of the command table, portable or native, is refused and helped the same way: one
// line naming the command and pointing to --help with status 1, its own forms with status 0.
TEST(QmspoolCommands, every_command_refuses_a_usage_and_shows_its_help_alike)
{
    const auto refusal = [](const std::string& what) {
        return "qmspool: " + what + " (see qmspool --help)\n";
    };
    const std::vector<const cli::Command*> rows = every_row();
    const CliRun all = qmspool({"--help"});
    std::size_t listed_at = 0;
    for (const cli::Command* c : rows) {
        const std::string name = c->name;
        EXPECT_LE(c->options.size(), cli::MaxCommandOptions) << name;
        std::vector<std::string> synopses;
        for (const cli::CommandForm& form : c->forms) {
            synopses.push_back("  qmspool " + std::string(form.synopsis) + "\n");
            // --help lists the rows in the table's order.
            const std::size_t at = all.out.find(synopses.back(), listed_at);
            EXPECT_NE(at, std::string::npos) << synopses.back();
            listed_at = at == std::string::npos ? listed_at : at;
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{name, "--help"}, std::vector<std::string>{"help", name}}) {
            const CliRun r = qmspool(args);
            EXPECT_EQ(r.status, 0) << name;
            EXPECT_EQ(r.out.rfind("Usage:\n" + synopses[0], 0), 0u) << r.out;
            for (const std::string& synopsis : synopses)
                EXPECT_NE(r.out.find(synopsis), std::string::npos) << r.out;
            // Word for word what --help lists for it.
            EXPECT_NE(all.out.find(r.out.substr(7)), std::string::npos) << name;
        }
        std::vector<std::string> args = {name};
        std::vector<std::pair<std::vector<std::string>, std::string>> bad;
        if (c->min_operands > 0)
            bad.push_back({args, c->operands_error});
        args.insert(args.end(), static_cast<std::size_t>(c->min_operands), "job.pdb");
        for (const cli::CommandOption& option : c->options) {
            bad.push_back({args, name + ": unknown option '--no-such'"});
            bad.back().first.push_back("--no-such");
            if (option.takes_value) {
                bad.push_back({args, name + ": " + option.name + " needs a value"});
                bad.back().first.push_back(option.name);
                bad.push_back({bad.back().first, name + ": " + option.name + " needs a value"});
                bad.back().first.push_back("");
            }
        }
        if (c->options.empty()) {
            bad.push_back({args, c->operands_error});
            bad.back().first.resize(static_cast<std::size_t>(c->max_operands) + 2, "extra");
        }
        for (const auto& [line, message] : bad) {
            const CliRun r = qmspool(line);
            EXPECT_EQ(r.status, 1) << message;
            EXPECT_EQ(r.err, refusal(message));
            EXPECT_EQ(r.out, "");
        }
    }
}

#if QM_HAVE_HOST
// The manual page's synopsis is the table's, line for line, and qmspool's own two options.
TEST(QmspoolCommands, the_manual_pages_synopsis_is_the_command_tables)
{
    std::ifstream page(QM_PROJECT_DIR "/packaging/qmspool.1");
    ASSERT_TRUE(page);
    std::vector<std::string> manual;
    bool in_synopsis = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0)
            in_synopsis = line == ".SH SYNOPSIS";
        else if (in_synopsis && line.rfind(".B ", 0) == 0)
            manual.push_back(std::regex_replace(
                std::regex_replace(line.substr(3), std::regex(R"(\\f[BIRP])"), ""),
                std::regex(R"(\\-)"), "-"));
    }
    std::vector<std::string> table;
    for (const cli::Command* c : every_row())
        for (const cli::CommandForm& form : c->forms)
            table.push_back("qmspool " + std::string(form.synopsis));
    table.push_back("qmspool --help");
    table.push_back("qmspool --version");
    EXPECT_EQ(manual, table);
}
#endif

} // namespace
} // namespace qm
