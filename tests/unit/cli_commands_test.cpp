#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/commands.h"
#include "cli_run.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

namespace qm {
namespace {

// Pixel (x, y) of a binary PPM as 0xRRGGBB.
std::uint32_t ppm_pixel(const Bytes& ppm, int width, int x, int y)
{
    // Header "P6\n<w> <h>\n255\n".
    std::size_t at = 0;
    for (int lines = 0; lines < 3; ++at)
        lines += ppm[at] == '\n';
    const std::size_t p = at + 3 * (static_cast<std::size_t>(y) * width + x);
    return (std::uint32_t{ppm[p]} << 16) | (ppm[p + 1] << 8) | ppm[p + 2];
}

TEST(QmspoolInfo, lists_every_record_with_band_fields_for_bands_only)
{
    SpoolImage img;
    img.records = {
        band_record(KindBand1, FlagContinued, BandHeader{9, 2, 1, 2, 300, 150}, Bytes(4, 0xF0),
                    true),
        text_record(0, "hello"),
        band_record(KindBand16, 0, BandHeader{2, 1, 0, 0, 72, 72}, Bytes(4, 0x11), false),
        Bytes{7, 0x41, 0, 0},
    };
    test::TempFile f("info", build_spool(img));
    const CliRun c = qmspool({"info", f.path()});
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.err, "");
    EXPECT_EQ(c.out, "records\t4\n"
                     "record\t0\t112\t20\t0\t129\t9\t2\t1\t2\t300\t150\n"
                     "record\t1\t132\t7\t1\t0\n"
                     "record\t2\t139\t22\t3\t0\t2\t1\t0\t0\t72\t72\n"
                     "record\t3\t161\t4\t7\t65\n"
                     "pages\t0\t2\t3\n");
}

TEST(QmspoolInfo, prints_malformed_files_as_they_read)
{
    SpoolImage img;
    img.records = {text_record(0, "a"), text_record(0, "b")};
    img.positions = {0xFFFFFFF0u, 50};
    img.count = 3; // one more than listed
    test::TempFile f("info-bad", build_spool(img));
    const CliRun c = qmspool({"info", f.path()});
    EXPECT_EQ(c.status, 0);
    // Record 0 lies past the end: its bytes read as 0, a band of nothing. Record 1 lies in the
    // header, its resolution read from the type field. Record 2's entry is the pad bytes and
    // record 0's first bytes, 256, past the 102-byte file.
    EXPECT_EQ(c.out, "records\t3\n"
                     "record\t0\t4294967280\t66\t0\t0\t0\t0\t0\t0\t0\t0\n"
                     "record\t1\t50\t206\t0\t0\t0\t0\t0\t0\t21360\t28524\n"
                     "record\t2\t256\t-154\t0\t0\t0\t0\t0\t0\t0\t0\n"
                     "pages\t0\t1\t2\n");

    img.count = 0x8000;
    test::TempFile g("info-neg", build_spool(img));
    EXPECT_EQ(qmspool({"info", g.path()}).out, "records\t-32768\npages\n");
}

TEST(QmspoolInfo, a_header_that_does_not_name_a_spool_file_is_said_on_stderr_and_read_as_before)
{
    SpoolImage img;
    img.records = {text_record(0, "hello")};
    Bytes bytes = build_spool(img);
    test::TempFile spool("kind", bytes);
    const CliRun as_spool = qmspool({"info", spool.path()});
    EXPECT_EQ(as_spool.err, "");

    // Another database's type and creator (one byte unprintable): one line names both, and the
    // listing is the spool file's.
    const char other[8] = {'D', 'A', 'T', 'A', 'a', 'd', 'd', '\x01'};
    std::copy(other, other + 8, bytes.begin() + 60);
    test::TempFile data("kind-data", bytes);
    const CliRun as_data = qmspool({"info", data.path()});
    EXPECT_EQ(as_data.status, 0);
    EXPECT_EQ(as_data.out, as_spool.out);
    EXPECT_EQ(as_data.err, "qmspool: warning: '" + std::string(data.path()) +
                               "' is not a spool file by its header (type 'DATA', creator "
                               "'add\\x01', where a spool file has 'Spol', 'Qmrk'); listed as "
                               "one all the same\n");
}

TEST(QmspoolInfo, a_file_that_cannot_be_opened_is_one_line_on_stderr_and_status_1)
{
    // A name with a line end and a terminal's clear-screen in it is shown escaped.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"/nonexistent/missing.pdb", "/nonexistent/missing.pdb"},
        {"/nonexistent/a\nb\x1b[2J.pdb", "/nonexistent/a\\nb\\x1b[2J.pdb"},
    };
    for (const auto& [name, shown] : names) {
        const CliRun c = qmspool({"info", name});
        EXPECT_EQ(c.status, 1);
        EXPECT_EQ(c.out, "");
        EXPECT_NE(c.err.find("'" + shown + "'"), std::string::npos) << c.err;
        EXPECT_EQ(std::count(c.err.begin(), c.err.end(), '\n'), 1) << c.err;
    }
#ifndef _WIN32
    // So is one that can be opened, in the warning about its header.
    SpoolImage img;
    img.records = {text_record(0, "hello")};
    Bytes bytes = build_spool(img);
    bytes[60] = 'X'; // not a spool file's type
    test::TempFile f("info\nx\x1b[2J", bytes);
    const CliRun c = qmspool({"info", f.path()});
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.err.find('\x1b'), std::string::npos) << c.err;
    EXPECT_EQ(std::count(c.err.begin(), c.err.end(), '\n'), 1) << c.err;
#endif
}

TEST(QmspoolCommands, the_test_job_has_three_pages_and_renders_each)
{
    test::TempFile job("testpage");
    ASSERT_EQ(qmspool({"testpage", job.path()}).status, 0);
    const CliRun info = qmspool({"info", job.path()});
    ASSERT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("\npages\t0\t5\t9\n"), std::string::npos) << info.out;
    test::TempFile out("page.ppm");
    for (const char* page : {"1", "2", "3"})
        EXPECT_EQ(qmspool({"render", job.path(), "--page", page, "--dpi", "30", "--out",
                           std::string(out.path()) + ".ppm"})
                      .status,
                  0);
    std::remove((std::string(out.path()) + ".ppm").c_str());
    const CliRun past =
        qmspool({"render", job.path(), "--page", "4", "--dpi", "30", "--out", "x.ppm"});
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("page 4 is out of range"), std::string::npos) << past.err;
    EXPECT_NE(past.err.find("3 pages"), std::string::npos);
}

TEST(QmspoolCommands, render_prints_a_page_at_the_requested_resolution)
{
    // A 2 x 1 red band at 10 dpi, 1 inch in and 1 inch down, on a 20-dpi printer.
    SpoolImage img;
    img.records = {band_record(KindBand16, 0, band_header(2, 1, 10, 10, 10),
                               Bytes{0x00, 0xF8, 0x00, 0xF8}, false)};
    test::TempFile job("render", build_spool(img));
    const std::string out = std::string(job.path()) + ".ppm";
    ASSERT_EQ(qmspool({"render", job.path(), "--page", "1", "--dpi", "20", "--out", out}).status,
              0);
    const Bytes ppm = test::read_all(out.c_str());
    std::remove(out.c_str());
    ASSERT_EQ(std::string(ppm.begin(), ppm.begin() + 14), "P6\n170 220\n255");
    EXPECT_EQ(ppm_pixel(ppm, 170, 20, 20), 0xF80000u);
    EXPECT_EQ(ppm_pixel(ppm, 170, 23, 21), 0xF80000u);
    EXPECT_EQ(ppm_pixel(ppm, 170, 24, 20), 0xFFFFFFu);
    EXPECT_EQ(ppm_pixel(ppm, 170, 19, 20), 0xFFFFFFu);
    EXPECT_EQ(ppm_pixel(ppm, 170, 20, 22), 0xFFFFFFu);

    // Monochrome: pure red has level 48, the pattern with white at columns 0 and 2 of row 0.
    ASSERT_EQ(qmspool({"render", job.path(), "--page", "1", "--dpi", "10", "--mono", "--out", out})
                  .status,
              0);
    const Bytes mono = test::read_all(out.c_str());
    std::remove(out.c_str());
    // At 10 dpi the band is 2 x 1 at (10, 10): band pixel j = 0 white, j = 1 black.
    EXPECT_EQ(ppm_pixel(mono, 85, 10, 10), 0xFFFFFFu);
    EXPECT_EQ(ppm_pixel(mono, 85, 11, 10), 0x000000u);
}

TEST(QmspoolCommands, render_window_writes_the_preview_with_five_bit_channels_expanded)
{
    SpoolImage img;
    img.records = {band_record(KindBand16, 0, band_header(8, 8, 8), Bytes(128, 0x00), false)};
    img.records[0][18] = 0x1F; // first pixel pure blue
    test::TempFile job("window", build_spool(img));
    const std::string out = std::string(job.path()) + ".ppm";
    // Window 63 wide: scale 8, so the band maps 1:1 onto a 40 x 30 screen.
    ASSERT_EQ(qmspool({"render", job.path(), "--page", "1", "--window", "63", "--screen", "40x30",
                       "--out", out})
                  .status,
              0);
    const Bytes ppm = test::read_all(out.c_str());
    std::remove(out.c_str());
    ASSERT_EQ(std::string(ppm.begin(), ppm.begin() + 12), "P6\n40 30\n255");
    EXPECT_EQ(ppm_pixel(ppm, 40, 0, 0), 0x0000FFu) << "blue 31 written as (31 << 3) | (31 >> 2)";
    EXPECT_EQ(ppm_pixel(ppm, 40, 1, 0), 0x000000u);
    EXPECT_EQ(ppm_pixel(ppm, 40, 8, 0), 0xFFFFFFu);
}

TEST(QmspoolCommands, bmp_saves_the_first_page_to_a_file_or_standard_output_and_refuses_no_graphic)
{
    SpoolImage img;
    img.records = {
        band_record(KindBand1, 0, band_header(9, 2, 72), Bytes{0xC1, 0x80, 0x3E, 0}, true),
        band_record(KindBand8, 0, band_header(5, 5, 72), Bytes(25, 3), false)};
    test::TempFile job("bmp", build_spool(img));
    test::TempFile out("bmp-out");
    ASSERT_EQ(qmspool({"bmp", job.path(), out.path()}).status, 0);
    const Bytes b = test::read_all(out.path());
    ASSERT_EQ(b.size(), 70u) << "the first page's one band, 1-bit";
    const CliRun piped = qmspool({"bmp", job.path(), "-"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, std::string(b.begin(), b.end()));
    EXPECT_FALSE(std::filesystem::exists("-"));

    // A first page of text alone, and a job of no pages: refused, the earlier file kept, and
    // nothing on standard output.
    SpoolImage text_only;
    text_only.records = {text_record(0, "only text"), img.records[0]};
    for (const SpoolImage& refused : {text_only, SpoolImage{}}) {
        test::TempFile none("bmp-none", build_spool(refused));
        for (const char* to : {out.path(), "-"}) {
            const CliRun c = qmspool({"bmp", none.path(), to});
            EXPECT_EQ(c.status, 1);
            EXPECT_EQ(c.out, "");
            EXPECT_EQ(std::count(c.err.begin(), c.err.end(), '\n'), 1) << c.err;
        }
    }
    EXPECT_EQ(test::read_all(out.path()), b);
}

// Files that lack bytes their records promise, and files that only look as if they might: the
// first are refused by every command that makes pages before anything is written, the second
// read as the page walk always read them.
TEST(QmspoolCommands, a_file_cut_short_is_named_and_nothing_is_made_of_it)
{
    test::TempFile whole("cut-whole");
    ASSERT_EQ(qmspool({"testpage", whole.path()}).status, 0);
    const Bytes job = test::read_all(whole.path());
    auto first = [&](std::size_t n) { return Bytes(job.begin(), job.begin() + n); };

    const Bytes plain = band_record(KindBand8, 0, band_header(10, 4, 72), Bytes(40, 7), false);
    const Bytes coded = band_record(KindBand8, 0, band_header(10, 4, 72), Bytes(40, 7), true);
    Bytes distinct(40);
    for (std::size_t i = 0; i < distinct.size(); ++i)
        distinct[i] = static_cast<std::uint8_t>(i * 37 + 1); // no run: literal codes
    const Bytes literal = band_record(KindBand8, 0, band_header(10, 4, 72), distinct, true);
    auto spool = [](std::vector<Bytes> records, std::optional<std::uint16_t> count = {}) {
        SpoolImage img;
        img.records = std::move(records);
        img.count = count;
        return build_spool(img);
    };
    // Record 0 (continued) reads on into record 1 of its own page; record 1 listed first.
    SpoolImage own_page;
    own_page.records = {Bytes(plain.begin(), plain.end() - 10), text_record(0, "0123456789"),
                        text_record(0, "next page")};
    own_page.records[0][1] = FlagContinued;
    SpoolImage out_of_order;
    out_of_order.records = {text_record(0, "b"), text_record(0, "a")};
    out_of_order.positions = {96 + 3, 96}; // after a list of two and its pad
    SpoolImage negative;
    negative.records = {plain, plain};
    negative.positions = {0x80000000u, std::nullopt};
    const Bytes cut_plain = Bytes(plain.begin(), plain.end() - 1);
    Bytes not_spool = spool({plain});
    std::fill(not_spool.begin() + 60, not_spool.begin() + 68, 'x');

    const struct {
        const char* name;
        Bytes file;
        std::string said; // after "'FILE' is cut short: "; empty: whole
    } cases[] = {
        {"the first 1000 bytes of a job", first(1000),
         "record 3 of 10 starts past its end (1000 bytes)"},
        {"a job cut inside its list", first(100), "record 4 of 10 is listed past its end (100 bytes)"},
        {"a header that claims 32767 records", spool({plain}, 32767),
         "record 10 of 32767 is listed past its end (146 bytes)"},
        {"text", Bytes(300, 'a'), "record 29 of 24929 is listed past its end (300 bytes)"},
        {"a record at the very end", spool({plain, Bytes{}}),
         "record 2 of 2 starts past its end (154 bytes)"},
        {"a plain band cut at the end", spool({cut_plain}),
         "record 1 of 1 holds 57 bytes where its header needs 58"},
        {"a run-coded band cut at the end", spool({Bytes(coded.begin(), coded.end() - 1)}),
         "record 1 of 1's run-coded pixels go on past its end (" +
             std::to_string(88 + coded.size() - 1) + " bytes)"},
        {"a run-coded band cut inside a literal run",
         spool({Bytes(literal.begin(), literal.end() - 1)}),
         "record 1 of 1's run-coded pixels go on past its end (" +
             std::to_string(88 + literal.size() - 1) + " bytes)"},
        {"a band that swallows the next page", spool({cut_plain, text_record(0, "page 2")}),
         "record 1 of 2 holds 57 bytes where its header needs 58"},
        {"a band header cut short", spool({Bytes(plain.begin(), plain.begin() + 17)}),
         "record 1 of 1 holds 17 bytes where its header needs 18"},
        {"a whole job", job, ""},
        {"a band reading into its own page", build_spool(own_page), ""},
        {"a list out of order", build_spool(out_of_order), ""},
        {"a position that reads as negative", build_spool(negative), ""},
        {"another database's header", not_spool, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFile f("cut", c.file);
        const std::string image = std::string(f.path()) + ".ppm";
        const CliRun r =
            qmspool({"render", f.path(), "--page", "1", "--dpi", "10", "--out", image});
        const bool made = std::filesystem::exists(image);
        std::remove(image.c_str());
        if (c.said.empty()) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_TRUE(made);
            continue;
        }
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "qmspool: '" + std::string(f.path()) + "' is cut short: " + c.said + "\n");
        EXPECT_FALSE(made);
        const CliRun listed = qmspool({"info", f.path()});
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(listed.err.substr(0, listed.err.find('\n') + 1),
                  "qmspool: warning: '" + std::string(f.path()) + "' is cut short: " + c.said +
                      "; listed as it reads\n");
    }
}

TEST(QmspoolCommands, an_output_that_is_the_input_is_refused_and_the_input_kept)
{
    SpoolImage img;
    img.records = {band_record(KindBand8, 0, band_header(5, 5, 72), Bytes(25, 3), false)};
    const Bytes job = build_spool(img);
    test::TempFile dir("same");
    const std::string path = std::string(dir.path()) + ".ppm"; // a name render also takes
    ASSERT_TRUE(write_file(path.c_str(), job));
    const std::vector<std::vector<std::string>> onto_input = {
        {"bmp", path, path},
        {"render", path, "--page", "1", "--dpi", "30", "--out", path},
    };
    for (const auto& args : onto_input) {
        const CliRun r = qmspool(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(test::read_all(path.c_str()), job) << args[0] << " must not touch its input";
    }
    std::remove(path.c_str());
}

TEST(QmspoolCommands, only_a_regular_file_is_read_as_a_job)
{
    const std::string folder = std::filesystem::temp_directory_path().string();
    std::vector<std::string> not_jobs = {folder};
#ifndef _WIN32
    test::TempFile fifo("fifo");
    ASSERT_EQ(mkfifo(fifo.path(), 0600), 0);
    not_jobs.push_back(fifo.path()); // no writer: opening it would wait for ever
#endif
    for (const std::string& path : not_jobs) {
        const CliRun r = qmspool({"info", path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(QmspoolCommands, output_that_cannot_be_written_is_a_failure)
{
    // A stream open for reading only refuses every write, as a full disk or a closed pipe does.
    SpoolImage img;
    img.records = {text_record(0, "a")};
    test::TempFile job("unwritable", build_spool(img));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", job.path()}, std::vector<std::string>{"--help"},
          std::vector<std::string>{"--version"}}) {
        const CliRun r = qmspool(args, std::fopen(job.path(), "rb"));
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args[0] << ": " << r.err;
    }
}

#ifndef _WIN32
namespace fs = std::filesystem;

// A folder of its own, removed with all it holds.
struct TempFolder {
    test::TempFile name{"outdir"};
    fs::path path{name.path()};
    TempFolder() { fs::create_directories(path); }
    ~TempFolder()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::vector<std::string> hidden() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(path))
            if (e.path().filename().string()[0] == '.')
                names.push_back(e.path().filename().string());
        return names;
    }
};

TEST(QmspoolOutput, a_name_as_long_as_the_folder_takes_is_written_in_the_format_its_ending_names)
{
    SpoolImage img;
    img.records = {band_record(KindBand8, 0, band_header(5, 5, 72), Bytes(25, 3), false)};
    test::TempFile job("longname", build_spool(img));
    TempFolder dir;
    // 250 bytes: the temporary name cannot hold all of it, and is cut inside no character.
    std::string name;
    while (name.size() < 246)
        name += "\xc3\xa9";
    const fs::path out = dir.path / (name + ".ppm");
    const CliRun r = qmspool({"render", job.path(), "--page", "1", "--dpi", "30", "--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    const Bytes ppm = test::read_all(out.c_str());
    ASSERT_GT(ppm.size(), 2u);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + 2), "P6");
    EXPECT_TRUE(dir.hidden().empty());
}

TEST(QmspoolOutput, a_symbolic_link_stays_and_the_file_at_the_end_of_its_chain_is_written)
{
    TempFolder dir;
    const fs::path& d = dir.path;
    fs::create_directories(d / "sub");
    fs::create_directories(d / "real");
    ASSERT_TRUE(write_file((d / "real/c.pdb").c_str(), Bytes{'o', 'l', 'd'}));
    fs::create_symlink("sub/b.pdb", d / "a.pdb");         // relative, to another link
    fs::create_symlink("../real/c.pdb", d / "sub/b.pdb"); // relative to its own folder
    fs::create_symlink("sub/e.pdb", d / "d.pdb");
    fs::create_symlink("new.pdb", d / "sub/e.pdb"); // nothing there yet: created, as cp does
    fs::create_symlink("loop.pdb", d / "loop.pdb");

    for (const char* link : {"a.pdb", "d.pdb"}) {
        const CliRun r = qmspool({"testpage", (d / link).string()});
        EXPECT_EQ(r.status, 0) << link << ": " << r.err;
    }
    const auto link_of = [](const fs::path& p) {
        std::error_code ec;
        return fs::read_symlink(p, ec);
    };
    EXPECT_EQ(link_of(d / "a.pdb"), "sub/b.pdb");
    EXPECT_EQ(link_of(d / "sub/b.pdb"), "../real/c.pdb");
    EXPECT_EQ(link_of(d / "d.pdb"), "sub/e.pdb");
    EXPECT_EQ(link_of(d / "sub/e.pdb"), "new.pdb");
    const Bytes job = test::read_all((d / "real/c.pdb").c_str());
    EXPECT_GT(job.size(), 1000u);
    EXPECT_EQ(test::read_all((d / "sub/new.pdb").c_str()), job);

    // A link to itself names no file: refused, and the link kept.
    const CliRun loop = qmspool({"testpage", (d / "loop.pdb").string()});
    EXPECT_EQ(loop.status, 1);
    EXPECT_EQ(std::count(loop.err.begin(), loop.err.end(), '\n'), 1) << loop.err;
    EXPECT_TRUE(fs::is_symlink(d / "loop.pdb"));
    EXPECT_TRUE(dir.hidden().empty());
}

TEST(QmspoolOutput, a_killed_runs_temporary_file_is_removed_and_nothing_that_may_not_be_its)
{
    // The id of a process that has ended.
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child);

    TempFolder dir;
    const auto put = [&](const std::string& name) {
        EXPECT_TRUE(write_file((dir.path / name).c_str(), Bytes{'x'}));
        return name;
    };
    const std::string leftover = put(".qmspool-" + dead + "-0-out.pdb");
    std::vector<std::string> kept = {
        put(".qmspool-" + dead + "-1-other.pdb"), // another output's
        put(".qmspool-1-0-out.pdb"),              // a running process's
        put(".qmspool-" + dead + "-02-out.pdb"),  // not a name this program makes
        put(".qmspool-" + dead + "-3-out.pdb"),   // locked: still written by someone
    };
    const int locked = open((dir.path / kept.back()).c_str(), O_RDONLY);
    ASSERT_EQ(flock(locked, LOCK_EX), 0);
    kept.push_back(".qmspool-" + dead + "-4-out.pdb"); // a link, not a file
    fs::create_symlink(kept[0], dir.path / kept.back());
    if (geteuid() == 0) { // another user's
        kept.push_back(put(".qmspool-" + dead + "-5-out.pdb"));
        EXPECT_EQ(chown((dir.path / kept.back()).c_str(), 65534, 65534), 0);
    }

    const CliRun r = qmspool({"testpage", (dir.path / "out.pdb").string()});
    close(locked);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir.path / leftover));
    std::vector<std::string> left = dir.hidden();
    std::sort(left.begin(), left.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(left, kept);
}
#endif

TEST(QmspoolCommands, render_writes_to_standard_output_in_the_format_named)
{
    SpoolImage img;
    img.records = {band_record(KindBand16, 0, band_header(2, 1, 10, 10, 10),
                               Bytes{0x00, 0xF8, 0x00, 0xF8}, false)};
    test::TempFile job("stdout", build_spool(img));
    const std::string file = std::string(job.path()) + ".ppm";
    ASSERT_EQ(qmspool({"render", job.path(), "--page", "1", "--dpi", "20", "--out", file}).status,
              0);
    const Bytes ppm = test::read_all(file.c_str());
    std::remove(file.c_str());
    const CliRun piped = qmspool(
        {"render", job.path(), "--page", "1", "--dpi", "20", "--out", "-", "--format", "ppm"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out, std::string(ppm.begin(), ppm.end()));
    EXPECT_FALSE(std::filesystem::exists("-"));

    const CliRun preview = qmspool({"render", job.path(), "--page", "1", "--window", "63",
                                    "--screen", "40x30", "--out", "-", "--format", "ppm"});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out.rfind("P6\n40 30\n255\n", 0), 0u);
    EXPECT_EQ(preview.out.size(), 13u + 40 * 30 * 3);
#if QM_TEST_HAVE_PNG
    const CliRun png = qmspool(
        {"render", job.path(), "--page", "1", "--dpi", "20", "--out", "-", "--format", "png"});
    EXPECT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(png.out.substr(0, 8), "\x89PNG\r\n\x1a\n");
#endif
}

} // namespace
} // namespace qm
