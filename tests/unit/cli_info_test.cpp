#include <gtest/gtest.h>

#include <string>

#include "cli/commands.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

namespace qm {
namespace {

struct Captured {
    int status = 0;
    std::string out, err;
};

std::string slurp(std::FILE* f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

Captured info(const char* path)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Captured c;
    c.status = cli::run_info(path, out, err);
    c.out = slurp(out);
    c.err = slurp(err);
    return c;
}

BandHeader header(std::uint16_t w, std::uint16_t h, std::uint16_t left, std::uint16_t top,
                  std::uint16_t dx, std::uint16_t dy)
{
    BandHeader b;
    b.width = w;
    b.height = h;
    b.left = left;
    b.top = top;
    b.dpi_x = dx;
    b.dpi_y = dy;
    return b;
}

TEST(QmspoolInfo, lists_every_record_with_band_fields_for_bands_only)
{
    SpoolImage img;
    img.records = {
        band_record(KindBand1, FlagContinued, header(9, 2, 1, 2, 300, 150), Bytes(4, 0xF0), true),
        text_record(0, "hello"),
        band_record(KindBand16, 0, header(2, 1, 0, 0, 72, 72), Bytes(4, 0x11), false),
        Bytes{7, 0x41, 0, 0},
    };
    test::TempFile f("info", build_spool(img));
    const Captured c = info(f.path());
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
    const Captured c = info(f.path());
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
    EXPECT_EQ(info(g.path()).out, "records\t-32768\npages\n");
}

TEST(QmspoolInfo, a_file_that_cannot_be_opened_is_one_line_on_stderr_and_status_1)
{
    const Captured c = info("/nonexistent/missing.pdb");
    EXPECT_EQ(c.status, 1);
    EXPECT_EQ(c.out, "");
    EXPECT_NE(c.err.find("/nonexistent/missing.pdb"), std::string::npos);
    EXPECT_EQ(std::count(c.err.begin(), c.err.end(), '\n'), 1);
}

} // namespace
} // namespace qm
