// qmspool pdf: pages, page size, placement and colour of bands against the renderer's own
// printer pass (through poppler's tools, as any viewer would read the file), searchable text, and
// a file that is written whole or not at all.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/job_pdf.h"
#include "render/pdf_deflate.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

// cairo sets up fontconfig, which keeps what it parsed in caches of its own for the life of the
// process; LeakSanitizer sees those as leaks. And cairo 1.16's PDF
// surface copies each raster-source pattern it writes (the bands' images) and never frees the
// copy, 192 bytes an image; later cairo frees it with the page.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}

namespace qm {
namespace {

namespace fs = std::filesystem;

bool have_poppler()
{
    return std::system("command -v pdftoppm >/dev/null && command -v pdftotext >/dev/null && "
                       "command -v pdfinfo >/dev/null") == 0;
}

// Standard output of a shell command.
std::string run(const std::string& command)
{
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

class TempDir : public test::TempFolder {
public:
    TempDir() : TempFolder("qm-pdf") {}
    std::size_t entries() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(root()), {}));
    }
};

struct Ppm {
    int width = 0, height = 0;
    Bytes rgb;
    const std::uint8_t* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
};

Ppm read_ppm(const std::string& path)
{
    const Bytes all = test::read_all(path.c_str());
    Ppm p;
    int maxval = 0, used = 0;
    if (std::sscanf(reinterpret_cast<const char*>(all.data()), "P6 %d %d %d%n", &p.width,
                    &p.height, &maxval, &used) != 3)
        return {};
    p.rgb.assign(all.begin() + used + 1, all.end());
    return p;
}

std::FILE* null_err()
{
    static std::FILE* f = std::fopen("/dev/null", "w");
    return f;
}

int pdf(const std::string& job, const std::string& out, cli::PageRange range = {})
{
    return cli::run_pdf(job.c_str(), out.c_str(), range, nullptr, null_err());
}

void put565(Bytes& out, int r, int g, int b)
{
    const unsigned v = static_cast<unsigned>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// One page: a 16-bit band of 3 x 2 flat half-inch blocks at 50 dpi half an inch in from the
// corner, an 8-bit band of palette blocks under it, and a 1-bit checkerboard of 0.1-inch squares.
Bytes placement_job()
{
    const int colours[6][3] = {{200, 30, 30}, {30, 160, 60}, {40, 60, 200},
                               {230, 200, 20}, {0, 0, 0}, {120, 40, 160}};
    Bytes blocks;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 75; ++x) {
            const int* c = colours[(y / 25) * 3 + x / 25];
            put565(blocks, c[0], c[1], c[2]);
        }
    Bytes palette;
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 100; ++x)
            palette.push_back(static_cast<std::uint8_t>(x / 25 * 40 + 5));
    Bytes checker;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x)
            checker.push_back(y % 2 ? 0x55 : 0xAA);
    SpoolImage img;
    img.records = {
        band_record(KindBand16, FlagContinued, band_header(75, 50, 50, 25, 25), blocks, true),
        band_record(KindBand8, FlagContinued, band_header(100, 25, 50, 25, 25), palette, true),
        band_record(KindBand1, 0, band_header(16, 4, 10, 5, 5), checker, false),
    };
    return build_spool(img);
}

TEST(QmspoolPdf, a_page_per_spool_page_on_letter_paper_with_text_a_viewer_can_search)
{
    if (!have_poppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    TempDir dir;
    ASSERT_EQ(cli::run_testpage((dir / "job.pdb").c_str(), null_err()), 0);
    ASSERT_EQ(pdf(dir / "job.pdb", dir / "all.pdf"), 0);
    const std::string info = run("pdfinfo '" + (dir / "all.pdf") + "'");
    EXPECT_NE(info.find("Pages:           3\n"), std::string::npos) << info;
    EXPECT_NE(info.find("612 x 792 pts (letter)"), std::string::npos) << info;

    const std::string text = run("pdftotext -layout '" + (dir / "all.pdf") + "' -");
    EXPECT_NE(text.find("Quillmark PC Print Spooler - test page"), std::string::npos) << text;
    EXPECT_NE(text.find("Page 3: plain text."), std::string::npos);
    // Windows-1252 bytes come out as the letters they stand for.
    EXPECT_NE(text.find("Accented letters: caf\u00e9, na\u00efve, \u00a3 5."), std::string::npos);

    // Every compressed stream is deflated at zlib's fastest level (header 78 01), which cairo
    // would not choose by itself: large pages are written four times as fast.
    std::ifstream in(dir / "all.pdf", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const auto count = [&bytes](std::string_view what) {
        std::size_t n = 0;
        for (auto at = bytes.find(what); at != std::string::npos; at = bytes.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_GT(count("/FlateDecode"), 0u);
    EXPECT_EQ(count("stream\n\x78\x01"), count("/FlateDecode"));

    // Pages 2 to the end only.
    ASSERT_EQ(pdf(dir / "job.pdb", dir / "tail.pdf", cli::PageRange{2, INT32_MAX}), 0);
    const std::string tail = run("pdftotext '" + (dir / "tail.pdf") + "' -");
    EXPECT_NE(run("pdfinfo '" + (dir / "tail.pdf") + "'").find("Pages:           2\n"),
              std::string::npos);
    EXPECT_EQ(tail.find("Page 1:"), std::string::npos);
    EXPECT_NE(tail.find("Page 2: grey ramps"), std::string::npos);
}

TEST(QmspoolPdf, bands_land_where_and_in_the_colours_the_printer_pass_draws_them_and_stay_sharp)
{
    if (!have_poppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    TempDir dir;
    ASSERT_TRUE(write_file((dir / "job.pdb").c_str(), placement_job()));
    ASSERT_EQ(pdf(dir / "job.pdb", dir / "job.pdf"), 0);
    run("pdftoppm -r 100 -singlefile '" + (dir / "job.pdf") + "' '" + (dir / "printed") + "'");
    cli::RenderRequest r;
    const std::string job = dir / "job.pdb", reference_path = dir / "reference.ppm";
    r.path = job.c_str();
    r.out_path = reference_path.c_str();
    r.page = 1;
    r.dpi = 100;
    ASSERT_EQ(cli::run_render(r, null_err()), 0);
    const Ppm printed = read_ppm(dir / "printed.ppm");
    const Ppm reference = read_ppm(reference_path);
    ASSERT_EQ(printed.width, 850);
    ASSERT_EQ(printed.height, 1100);
    ASSERT_EQ(reference.width, printed.width);
    ASSERT_EQ(reference.height, printed.height);

    // Quarter-inch cells: every block edge lies on one, so a band out of place or of another
    // colour moves whole cells' means.
    constexpr int Cell = 25;
    int coloured = 0;
    for (int cy = 0; cy < printed.height / Cell; ++cy)
        for (int cx = 0; cx < printed.width / Cell; ++cx) {
            long a[3] = {}, b[3] = {};
            for (int y = cy * Cell; y < (cy + 1) * Cell; ++y)
                for (int x = cx * Cell; x < (cx + 1) * Cell; ++x)
                    for (int k = 0; k < 3; ++k) {
                        a[k] += printed.at(x, y)[k];
                        b[k] += reference.at(x, y)[k];
                    }
            for (int k = 0; k < 3; ++k)
                ASSERT_LE(std::labs(a[k] - b[k]) / (Cell * Cell), 8)
                    << "cell " << cx << "," << cy << " channel " << k;
            coloured += b[0] + b[1] + b[2] < 3L * 240 * Cell * Cell;
        }
    EXPECT_GE(coloured, 6 * 4 + 4 * 2 + 16); // the blocks, the palette band, the checkerboard

    // The checkerboard: 10 dpi, so 10 x 10 printed pixels a square, 0.5 in across and 3 in
    // down (each band starts half an inch below the one before). Enlarged without smoothing,
    // it is black and white pixels only; smoothed, every square's edges would be grey.
    int black = 0, grey = 0;
    for (int y = 300; y < 340; ++y)
        for (int x = 50; x < 210; ++x) {
            const int v = printed.at(x, y)[0];
            black += v < 40;
            grey += v >= 40 && v <= 215;
        }
    EXPECT_NEAR(black, 40 * 160 / 2, 200);
    EXPECT_LT(grey, 64);
}

// A run-coded band record whose rows all repeat `row`.
Bytes repeated_band(int kind, std::uint8_t flags, const BandHeader& h, const Bytes& row)
{
    Bytes image;
    image.reserve(row.size() * h.height);
    for (int y = 0; y < h.height; ++y)
        image.insert(image.end(), row.begin(), row.end());
    return band_record(kind, flags, h, image, true);
}

TEST(QmspoolPdf, bands_go_to_cairo_as_masks_or_in_tiles_within_a_budget_a_page)
{
    if (!have_poppler())
        GTEST_SKIP() << "poppler-utils is not installed";
    TempDir dir;
    // One page: a black 1-bit bar 32768 pixels wide (8 x 1 in), one 32768 pixels tall under it
    // (1 x 8 in), then a palette band of red and white (2 x 1 in, red on the left) and a 16-bit
    // band of two colours (1 x 0.5 in).
    Bytes two;
    put565(two, 30, 160, 60);
    put565(two, 40, 60, 200);
    SpoolImage img;
    img.records = {
        repeated_band(KindBand1, FlagContinued, BandHeader{32768, 8, 0, 0, 4096, 8},
                      Bytes(4096, 0xFF)),
        repeated_band(KindBand1, FlagContinued, BandHeader{8, 32768, 0, 0, 8, 4096}, {0xFF}),
        band_record(KindBand8, FlagContinued, band_header(2, 1, 1), Bytes{125, 0}, false),
        band_record(KindBand16, 0, band_header(2, 1, 2), two, false),
    };
    ASSERT_TRUE(write_file((dir / "job.pdb").c_str(), build_spool(img)));
    ASSERT_EQ(pdf(dir / "job.pdb", dir / "job.pdf"), 0);

    // The bands of ink and white are stencil masks of a bit a pixel; the other is an image.
    const std::string images = run("pdfimages -list '" + (dir / "job.pdf") + "'");
    const auto count = [&images](const std::string& what) {
        std::size_t n = 0;
        for (auto at = images.find(what); at != std::string::npos; at = images.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(" stencil "), 5u) << images; // the long bars in two tiles each
    EXPECT_EQ(count(" rgb "), 1u) << images;

    run("pdftoppm -r 20 -singlefile '" + (dir / "job.pdf") + "' '" + (dir / "page") + "'");
    const Ppm page = read_ppm(dir / "page.ppm");
    ASSERT_EQ(page.width, 170);
    const auto mean = [&page](int x0, int y0, int x1, int y1, int k) {
        long sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                sum += page.at(x, y)[k];
        return sum / ((x1 - x0) * (y1 - y0));
    };
    EXPECT_LT(mean(2, 2, 158, 18, 0), 20);    // the wide bar, 20 printed pixels an inch
    EXPECT_LT(mean(2, 22, 18, 178, 0), 20);   // the tall one
    EXPECT_GT(mean(22, 22, 60, 178, 0), 235); // white beside it
    EXPECT_GT(mean(2, 182, 18, 198, 0), 235); // the red half, in its colour
    EXPECT_LT(mean(2, 182, 18, 198, 1), 20);
    EXPECT_GT(mean(22, 182, 38, 198, 1), 235); // its white half

    // Pages of bands in many colours, 54 MB each in cairo's pixels: two fit a page, again on
    // the next page, three do not. The refused page fails the file, in one line naming it.
    Bytes stripes;
    for (int x = 0; x < 5000; ++x)
        put565(stripes, x % 2 ? 200 : 30, 60, x % 2 ? 30 : 200);
    Bytes band = repeated_band(KindBand16, FlagContinued, band_header(5000, 2700, 1200), stripes);
    Bytes last = band;
    last[1] &= static_cast<std::uint8_t>(~FlagContinued);
    SpoolImage heavy;
    heavy.records = {band, last, band, last, band, band, last};
    ASSERT_TRUE(write_file((dir / "heavy.pdb").c_str(), build_spool(heavy)));
    const std::string out = dir / "heavy.pdf";
    test::TempFile err_file("pdf-err");
    std::FILE* err = std::fopen(err_file.path(), "w+");
    EXPECT_EQ(
        cli::run_pdf((dir / "heavy.pdb").c_str(), out.c_str(), cli::PageRange{}, nullptr, err), 1);
    std::fclose(err);
    const Bytes message = test::read_all(err_file.path());
    EXPECT_EQ(std::string(message.begin(), message.end()),
              "qmspool: cannot write '" + out + "': page 3: its images need more than the 134 "
              "MB a page may hold\n");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(dir.entries(), 4u); // the two jobs, the first's PDF and page: no half-written file
    ASSERT_EQ(pdf(dir / "heavy.pdb", out, cli::PageRange{1, 2}), 0);
}

// cairo's streams are compressed at the fastest level by a definition of deflateInit_ that binds
// every caller in the process: anything but cairo that starts to call it is counted, and keeps
// the level it asked for.
TEST(QmspoolPdf, only_cairo_begins_its_streams_through_the_fast_level)
{
    TempDir dir;
    ASSERT_EQ(cli::run_testpage((dir / "job.pdb").c_str(), null_err()), 0);
    const DeflateInitCalls before = deflate_init_calls();
    ASSERT_EQ(pdf(dir / "job.pdb", dir / "out.pdf"), 0);
    const DeflateInitCalls after = deflate_init_calls();
    EXPECT_GT(after.from_cairo, before.from_cairo);
    EXPECT_EQ(after.from_elsewhere, before.from_elsewhere) << "a caller besides cairo";

    // A caller of our own is told apart, and its level is its own.
    const std::string text(4096, 'a');
    Bytes packed(compressBound(static_cast<uLong>(text.size())));
    auto packed_size = [&](int level) {
        z_stream z{};
        EXPECT_EQ(deflateInit(&z, level), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z.avail_in = static_cast<uInt>(text.size());
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        deflateEnd(&z);
        return z.total_out;
    };
    EXPECT_LT(packed_size(9), packed_size(1));
    EXPECT_EQ(deflate_init_calls().from_elsewhere, after.from_elsewhere + 2);
}

TEST(QmspoolPdf, the_output_is_written_whole_or_not_at_all)
{
    TempDir dir;
    ASSERT_EQ(cli::run_testpage((dir / "job.pdb").c_str(), null_err()), 0);
    const std::string out = dir / "out.pdf";
    ASSERT_TRUE(write_file(out.c_str(), Bytes{'o', 'l', 'd'}));

    // A job that is not there, and a page the job does not have, alone or at the end of a
    // range (the three-page job is refused, not cut short): the old file stays as it was and
    // nothing else is left in the folder.
    EXPECT_EQ(pdf(dir / "missing.pdb", out), 1);
    for (const char* pages : {"4", "4-", "2-9", "3-4"}) {
        cli::PageRange range;
        ASSERT_TRUE(cli::parse_page_range(pages, range));
        EXPECT_EQ(pdf(dir / "job.pdb", out, range), 1) << pages;
    }
    EXPECT_EQ(test::read_all(out.c_str()), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.entries(), 2u);
    // To the end, and up to the last page: written.
    for (const char* pages : {"2-", "2-3"}) {
        cli::PageRange range;
        ASSERT_TRUE(cli::parse_page_range(pages, range));
        EXPECT_EQ(pdf(dir / "job.pdb", dir / "part.pdf", range), 0) << pages;
        fs::remove(dir / "part.pdf");
    }

    // A folder that does not exist: the message names the file.
    test::TempFile err_file("pdf-err");
    std::FILE* err = std::fopen(err_file.path(), "w+");
    const std::string nowhere = dir / "no/such/folder/out.pdf";
    EXPECT_EQ(cli::run_pdf((dir / "job.pdb").c_str(), nowhere.c_str(), cli::PageRange{}, nullptr, err),
              1);
    std::fclose(err);
    const Bytes message = test::read_all(err_file.path());
    EXPECT_EQ(std::string(message.begin(), message.end()),
              "qmspool: cannot write '" + nowhere + "': No such file or directory\n");

    // A good run replaces the old file with a whole PDF, readable as any new file.
    ASSERT_EQ(pdf(dir / "job.pdb", out), 0);
    const Bytes written = test::read_all(out.c_str());
    ASSERT_GT(written.size(), 1000u);
    EXPECT_EQ(std::string(written.begin(), written.begin() + 5), "%PDF-");
    EXPECT_EQ(std::string(written.end() - 6, written.end()), "%%EOF\n");
    EXPECT_EQ(dir.entries(), 2u);
    EXPECT_NE(fs::status(out).permissions() & fs::perms::owner_read, fs::perms::none);
}

// Whether the test job's PDF passes for whole when the sink refuses every byte from `limit` on,
// as a file system that fills up does; `total`, the bytes the sink took.
bool document_through_sink(const std::string& job_path, std::size_t limit, std::size_t& total)
{
    cli::SpoolJob job;
    if (!cli::open_spool_job(job_path.c_str(), job, null_err()))
        return false;
    total = 0;
    std::unique_ptr<PdfDocument> doc =
        PdfDocument::create([&](const unsigned char*, std::size_t length) {
            if (total + length > limit)
                return false;
            total += length;
            return true;
        });
    if (!doc)
        return false;
    const cli::PagesWritten w = cli::write_job_pages(job, *doc, cli::PageRange{}, "job", nullptr);
    return !w.failed && doc->finish();
}

TEST(QmspoolPdf, a_write_refused_anywhere_fails_the_document_even_while_it_is_finished)
{
    TempDir dir;
    const std::string job = dir / "job.pdb";
    ASSERT_EQ(cli::run_testpage(job.c_str(), null_err()), 0);
    std::size_t total = 0;
    ASSERT_TRUE(document_through_sink(job, SIZE_MAX, total));
    ASSERT_GT(total, 10000u);
    // cairo writes the fonts, the cross-reference table and the trailer only as the document is
    // finished: a refusal among those fails it as one among the pages does.
    for (const std::size_t limit :
         {total - 1, total - 100, total - 2000, total / 2, std::size_t{0}}) {
        std::size_t taken = 0;
        EXPECT_FALSE(document_through_sink(job, limit, taken)) << limit << " of " << total;
    }
}

TEST(QmspoolPdf, page_ranges_read_as_a_user_writes_them)
{
    cli::PageRange r;
    ASSERT_TRUE(cli::parse_page_range("3", r));
    EXPECT_EQ(r.first, 3);
    EXPECT_EQ(r.last, 3);
    ASSERT_TRUE(cli::parse_page_range("2-5", r));
    EXPECT_EQ(r.first, 2);
    EXPECT_EQ(r.last, 5);
    ASSERT_TRUE(cli::parse_page_range("4-", r));
    EXPECT_EQ(r.first, 4);
    EXPECT_EQ(r.last, INT32_MAX);
    for (const char* bad : {"", "-3", "0", "5-2", "a", "2-x", "1-2-3"})
        EXPECT_FALSE(cli::parse_page_range(bad, r)) << bad;
}

} // namespace
} // namespace qm
