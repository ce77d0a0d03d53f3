// Writes the seed corpus for the spool fuzzer: small spool files that between them reach every
// record kind, both pixel encodings, every run code, text line endings, continued pages and the
// container's odd cases. Run by hand after changing it, and commit what it writes:
//   qm_make_corpus fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "spool/spool_record.h"
#include "spool/spool_writer.h"

namespace {

using qm::Bytes;

// A small image with something for each run operation: blank stretches, flat runs, rows that
// repeat the row above, and noise.
Bytes sample_image(int kind, std::uint16_t width, std::uint16_t height)
{
    const std::size_t stride = static_cast<std::size_t>(qm::row_bytes(kind, width));
    Bytes img(stride * height);
    std::uint32_t noise = 0x9E3779B9u;
    for (std::size_t r = 0; r < height; ++r) {
        std::uint8_t* row = img.data() + r * stride;
        for (std::size_t c = 0; c < stride; ++c) {
            noise = noise * 1664525u + 1013904223u;
            switch (r % 4) {
            case 0:
                row[c] = c < stride / 3 ? 0 : 0xC3;
                break;
            case 1:
                row[c] = row[c - stride];
                break;
            case 2:
                row[c] = static_cast<std::uint8_t>(noise >> 24);
                break;
            default:
                row[c] = c % 7 == 0 ? 0x11 : 0;
            }
        }
    }
    return img;
}

qm::BandHeader header(std::uint16_t width, std::uint16_t height, std::uint16_t top = 0)
{
    qm::BandHeader h;
    h.width = width;
    h.height = height;
    h.left = 3;
    h.top = top;
    h.dpi_x = 72;
    h.dpi_y = 72;
    return h;
}

Bytes band(int kind, std::uint8_t flags, std::uint16_t width, std::uint16_t height, bool compress)
{
    return qm::band_record(kind, flags, header(width, height), sample_image(kind, width, height),
                           compress);
}

Bytes spool_of(std::initializer_list<Bytes> records)
{
    qm::SpoolImage image;
    image.records.assign(records.begin(), records.end());
    return qm::build_spool(image);
}

// A band whose run-coded data is written by hand: every code, including 0 (no code), a
// copy-from-above in the first row and across a row's end, and a last run that passes the
// image's end with bytes left behind it.
Bytes hand_coded_band()
{
    Bytes r = {static_cast<std::uint8_t>(qm::KindBand8), qm::FlagCompressed};
    for (std::uint16_t v : {10, 4, 0, 0, 72, 72})
        r.insert(r.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    r.insert(r.end(), {0, 0, 0, 0});
    const std::uint8_t digits[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    r.push_back(0x00);
    qm::append_run(r, qm::RunOp::CopyAbove, 3); // first row: nothing above
    qm::append_run(r, qm::RunOp::Literal, 9, digits);
    r.push_back(0x00);
    qm::append_run(r, qm::RunOp::CopyAbove, 14); // crosses the end of row 2
    qm::append_run(r, qm::RunOp::Fill, 5, digits + 6);
    qm::append_run(r, qm::RunOp::Zero, 2);
    qm::append_run(r, qm::RunOp::CopyAbove, 64); // 7 bytes left: overshoots by 57
    r.insert(r.end(), {0xFD, 0xFC, 0xAA});       // never read: the image is full
    return r;
}

bool put(const std::string& dir, const char* name, const Bytes& bytes)
{
    const std::string path = dir + "/" + name;
    if (!qm::write_file(path.c_str(), bytes)) {
        std::fprintf(stderr, "qm_make_corpus: cannot write '%s'\n", path.c_str());
        return false;
    }
    std::printf("%s\t%zu bytes\n", path.c_str(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("Usage: qm_make_corpus DIRECTORY\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    ok &= put(dir, "band1_plain.pdb", spool_of({band(qm::KindBand1, 0, 37, 8, false)}));
    ok &= put(dir, "band1_runs.pdb", spool_of({band(qm::KindBand1, 0, 70, 12, true)}));
    ok &= put(dir, "band8_plain.pdb", spool_of({band(qm::KindBand8, 0, 24, 8, false)}));
    ok &= put(dir, "band8_runs.pdb", spool_of({band(qm::KindBand8, 0, 90, 12, true)}));
    ok &= put(dir, "band16_plain.pdb", spool_of({band(qm::KindBand16, 0, 12, 8, false)}));
    ok &= put(dir, "band16_runs.pdb", spool_of({band(qm::KindBand16, 0, 48, 12, true)}));
    ok &= put(dir, "band8_hand_coded.pdb", spool_of({hand_coded_band()}));

    // Line feeds, NULs, carriage returns and 0x0F, and a line longer than the line buffer.
    std::string text = "First line\r\nSecond\x0F line\0third\n\n";
    text.append(std::string_view("\0", 1));
    text.append(1100, 'W');
    text.append("\nlast line without an end");
    ok &= put(dir, "text.pdb", spool_of({qm::text_record(0, text)}));

    // Two pages: a band, text and a band joined by `continued`, then a page of its own.
    ok &= put(dir, "continued_pages.pdb",
              spool_of({band(qm::KindBand1, qm::FlagContinued, 40, 6, true),
                        qm::text_record(qm::FlagContinued, "caption under the band\n"),
                        band(qm::KindBand16, 0, 16, 4, true), qm::text_record(0, "second page")}));

    // The record list out of order: lengths come out negative and records overlap.
    {
        qm::SpoolImage image;
        image.records = {qm::text_record(qm::FlagContinued, "one\n"),
                         band(qm::KindBand8, qm::FlagContinued, 16, 4, true),
                         qm::text_record(0, "three")};
        const Bytes plain = qm::build_spool(image);
        const std::uint32_t first = 78 + 3 * 8 + 2;
        image.positions = {first + 8, first, std::uint32_t(plain.size() + 100)};
        ok &= put(dir, "out_of_order.pdb", qm::build_spool(image));
    }

    // A count of 32769 reads as negative: no records at all.
    {
        qm::SpoolImage image;
        image.records = {band(qm::KindBand8, 0, 8, 2, false)};
        image.count = 0x8001;
        ok &= put(dir, "negative_count.pdb", qm::build_spool(image));
    }

    // More records counted than listed, an unknown kind, and a last record at the end of file.
    {
        qm::SpoolImage image;
        image.records = {Bytes{0x07, 0x01, 0xFF, 0xFF}, qm::text_record(0, "x"), Bytes{}};
        image.count = 5;
        ok &= put(dir, "odd_records.pdb", qm::build_spool(image));
    }

    // Files cut short: inside run-coded pixel data, inside plain pixel data, inside the header.
    {
        Bytes coded = spool_of({band(qm::KindBand16, 0, 48, 12, true)});
        coded.resize(coded.size() / 2);
        ok &= put(dir, "truncated_runs.pdb", coded);
        Bytes plain = spool_of({band(qm::KindBand8, 0, 24, 8, false)});
        plain.resize(plain.size() - 50);
        ok &= put(dir, "truncated_plain.pdb", plain);
        Bytes head = spool_of({qm::text_record(0, "gone")});
        head.resize(77);
        ok &= put(dir, "truncated_header.pdb", head);
    }
    return ok ? 0 : 1;
}
