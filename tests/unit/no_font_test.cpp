// qmspool when its text face cannot be loaded. This program links a stand-in for the built-in
// font file that holds no bytes, the one way to take away a face the program carries: a page
// with text then fails in one line and status 1 and leaves no file, rather than go out without
// its text, while a page without text is written as ever.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "render/text_font.h"
#include "spool/spool_writer.h"
#include "temp_file.h"

// cairo 1.16's PDF surface copies each raster-source pattern it writes (the band's image) and
// never frees the copy; later cairo frees it with the page.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libcairo.so\n";
}

namespace qm {

// Found before the library's member that holds the font, which is then never linked in.
EmbeddedFile text_font_file()
{
    return {};
}

namespace {

struct Outcome {
    int status = 0;
    std::string err;
};

Outcome qmspool(std::vector<const char*> args)
{
    args.insert(args.begin(), "qmspool");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome o;
    o.status = cli::qmspool_main(static_cast<int>(args.size()), args.data(), out, err);
    std::rewind(err);
    char buf[512];
    while (std::fgets(buf, sizeof buf, err))
        o.err += buf;
    std::fclose(out);
    std::fclose(err);
    return o;
}

// One page: a line of text when `with_text`, then a 1-bit band, which ends the page.
Bytes one_page(bool with_text)
{
    SpoolImage img;
    if (with_text)
        img.records.push_back(text_record(0, "not without its text"));
    img.records.push_back(band_record(KindBand1, 0, band_header(16, 2, 10), Bytes(4, 0xF0), false));
    return build_spool(img);
}

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

TEST(WithoutItsFont, a_page_with_text_fails_in_one_line_and_one_without_text_is_written)
{
    test::TempFile text_job("qm-nofont-text", one_page(true));
    test::TempFile plain_job("qm-nofont-plain", one_page(false));
    test::TempFile image("qm-nofont-out");
    const std::string ppm = std::string(image.path()) + ".ppm";
    const std::string why = std::string(": ") + NoTextFontReason + "\n";

    for (const char* pass : {"--dpi", "--window"}) {
        const Outcome o = qmspool(
            {"render", text_job.path(), "--page", "1", pass, "300", "--out", ppm.c_str()});
        EXPECT_EQ(o.status, 1) << pass;
        EXPECT_EQ(o.err, "qmspool: cannot render page 1 of '" + std::string(text_job.path()) +
                             "'" + why)
            << pass;
        EXPECT_FALSE(exists(ppm)) << pass;
    }
    EXPECT_EQ(qmspool({"render", plain_job.path(), "--page", "1", "--dpi", "300", "--out",
                       ppm.c_str()})
                  .status,
              0);
    EXPECT_TRUE(exists(ppm));
    std::filesystem::remove(ppm);

#if QM_HAVE_PDF
    // The same for the PDF, whose face comes from the same bytes; print and watch write their
    // pages through it.
    const std::string pdf = std::string(image.path()) + ".pdf";
    const Outcome o = qmspool({"pdf", text_job.path(), pdf.c_str()});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "qmspool: cannot write '" + pdf + "': page 1" + why);
    EXPECT_FALSE(exists(pdf));
    EXPECT_EQ(qmspool({"pdf", plain_job.path(), pdf.c_str()}).status, 0);
    EXPECT_TRUE(exists(pdf));
    std::filesystem::remove(pdf);
#endif
}

} // namespace
} // namespace qm
