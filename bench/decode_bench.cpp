// Band decoding throughput against a baseline measured in the same run.
//
// A 1700 x 1000 band of 16-bit pixels (3.4 MB decoded) is written to a spool file plain and
// run-coded, and a text page of the same size (the band without its photograph) run-coded. Each decode benchmark opens the file, finds the record, reads the band header
// and decodes the pixel data, as the page renderer does. Each baseline reads the same file into
// memory with fread and copies the decoded size with memcpy: the least any reader of that file
// could do to hand over that image. Throughput is decoded image bytes per second; the closing
// lines give each decode's share of its baseline (the goal for run-coded data is 50% or more).
//
//   qm_decode_bench [--benchmark_repetitions=5] [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "spool/spool_container.h"
#include "spool/spool_record.h"
#include "spool/spool_stream.h"
#include "spool/spool_writer.h"

namespace {

constexpr std::uint16_t BandWidth = 1700;
constexpr std::uint16_t BandHeight = 1000;

std::uint16_t rgb565(int r, int g, int b)
{
    return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// A page strip as the handheld prints it at 300 dpi: white margins; lines of text in a small
// made-up font whose glyphs are 3-pixel strokes, so that rows repeat for a stretch and then
// change; a photograph (a gradient under sensor noise, which only literals hold), or white where
// a text page has none; and flat coloured boxes.
qm::Bytes page_strip(bool photograph)
{
    std::uint32_t noise = 12345;
    auto next = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return noise >> 16;
    };

    // 24 glyphs of 14 x 24 pixels: a few vertical strokes over part of the height, a few
    // horizontal bars.
    constexpr int GlyphW = 14, GlyphH = 24, Glyphs = 24;
    static bool font[Glyphs][GlyphH][GlyphW];
    for (auto& g : font) {
        for (int k = 0; k < 1 + static_cast<int>(next() % 3); ++k) {
            const int x0 = static_cast<int>(next() % (GlyphW - 3));
            const int y0 = static_cast<int>(next() % 8), y1 = 14 + static_cast<int>(next() % 10);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x0 + 3; ++x)
                    g[y][x] = true;
        }
        for (int k = 0; k < 1 + static_cast<int>(next() % 2); ++k) {
            const int y0 = static_cast<int>(next() % (GlyphH - 3));
            for (int y = y0; y < y0 + 3; ++y)
                for (int x = 1; x < GlyphW - 1; ++x)
                    g[y][x] = true;
        }
    }
    constexpr int LineTop = 60, LinePitch = 40, Lines = 8, Left = 120, Right = 1580;
    constexpr int CellW = GlyphW + 3;
    std::vector<int> text[Lines]; // glyph per cell, -1 for a space
    for (auto& line : text)
        for (int c = 0; c < (Right - Left) / CellW; ++c)
            line.push_back(next() % 6 == 0 ? -1 : static_cast<int>(next() % Glyphs));

    const std::uint16_t white = 0xFFFF;
    const std::uint16_t ink = rgb565(20, 20, 40);
    const std::uint16_t boxes[4] = {rgb565(200, 30, 30), rgb565(30, 160, 60), rgb565(40, 60, 200),
                                    rgb565(230, 200, 20)};
    qm::Bytes img(static_cast<std::size_t>(BandWidth) * 2 * BandHeight);
    for (int y = 0; y < BandHeight; ++y) {
        std::uint8_t* row = img.data() + static_cast<std::size_t>(y) * BandWidth * 2;
        const int line = (y - LineTop) / LinePitch, gy = (y - LineTop) % LinePitch;
        const bool in_text = y >= LineTop && line < Lines && gy < GlyphH;
        for (int x = 0; x < BandWidth; ++x) {
            std::uint16_t px = white;
            if (in_text && x >= Left && x < Left + CellW * static_cast<int>(text[line].size())) {
                const int glyph = text[line][(x - Left) / CellW], gx = (x - Left) % CellW;
                if (glyph >= 0 && gx < GlyphW && font[glyph][gy][gx])
                    px = ink;
            } else if (photograph && y >= 420 && y < 800 && x >= 150 && x < 1450) {
                const int r = 60 + (x - 150) * 150 / 1300 + static_cast<int>(next() % 9);
                const int g = 90 + (y - 420) * 120 / 380 + static_cast<int>(next() % 9);
                const int b = 120 + static_cast<int>(next() % 9);
                px = rgb565(r, g, b);
            } else if (y >= 840 && y < 960 && x >= 150 && x < 1450 && (x - 150) % 340 < 300) {
                px = boxes[(x - 150) / 340];
            }
            row[2 * x] = static_cast<std::uint8_t>(px);
            row[2 * x + 1] = static_cast<std::uint8_t>(px >> 8);
        }
    }
    return img;
}

struct TempPath {
    std::string path;
    explicit TempPath(const char* stem)
    {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path = (std::filesystem::temp_directory_path() /
                (std::string(stem) + "-" + std::to_string(stamp) + ".pdb"))
                   .string();
    }
    ~TempPath()
    {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    TempPath(const TempPath&) = delete;
    TempPath& operator=(const TempPath&) = delete;
};

struct BandFile {
    const qm::Bytes& image;
    bool compress;
    TempPath file;
    std::size_t file_size = 0;
    BandFile(const qm::Bytes& img, bool coded, const char* stem)
        : image(img), compress(coded), file(stem)
    {
    }
};

struct Fixture {
    qm::Bytes image = page_strip(true);
    qm::Bytes text_image = page_strip(false);
    BandFile plain{image, false, "qm-bench-plain"};
    BandFile coded{image, true, "qm-bench-coded"};
    BandFile coded_text{text_image, true, "qm-bench-coded-text"};
    bool ok = true;

    Fixture()
    {
        qm::BandHeader h;
        h.width = BandWidth;
        h.height = BandHeight;
        h.dpi_x = h.dpi_y = 300;
        for (BandFile* f : {&plain, &coded, &coded_text}) {
            qm::SpoolImage spool;
            spool.records.push_back(qm::band_record(qm::KindBand16, 0, h, f->image, f->compress));
            const qm::Bytes bytes = qm::build_spool(spool);
            f->file_size = bytes.size();
            ok = ok && qm::write_file(f->file.path.c_str(), bytes);
        }
    }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void decode_from_file(benchmark::State& state, const BandFile* band)
{
    const BandFile& f = *band;
    const std::size_t image_size = f.image.size();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[image_size + qm::BandSpareBytes]);
    for (auto _ : state) {
        qm::SpoolStream s = qm::SpoolStream::open_file(f.file.path.c_str());
        std::int32_t count = 0;
        qm::read_spool_header(s, &count, nullptr, nullptr);
        std::uint32_t position = 0;
        qm::get_record_extent(s, 0, &position, nullptr);
        s.seek(position);
        const int kind = qm::read_u8(s);
        const std::uint8_t flags = qm::read_u8(s);
        const qm::BandHeader h = qm::read_band_header(s);
        if (count != 1 || qm::band_image_size(kind, h) != image_size) {
            state.SkipWithError("the band file does not read back");
            break;
        }
        qm::decode_band(s, flags, kind, h, buffer.get());
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
    }
    if (std::memcmp(buffer.get(), f.image.data(), image_size) != 0)
        state.SkipWithError("decoded image differs from the original");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image_size));
}

void read_and_copy(benchmark::State& state, const BandFile* band)
{
    const BandFile& f = *band;
    const std::size_t image_size = f.image.size();
    std::vector<std::uint8_t> file_bytes(f.file_size);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[image_size + qm::BandSpareBytes]);
    for (auto _ : state) {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(f.file.path.c_str(), "rb"));
        if (!file || std::fread(file_bytes.data(), 1, f.file_size, file.get()) != f.file_size) {
            state.SkipWithError("cannot read the band file");
            break;
        }
        benchmark::DoNotOptimize(file_bytes.data());
        std::memcpy(buffer.get(), f.image.data(), image_size);
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image_size));
}

// The console output, plus the mean throughput of every benchmark for the closing ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports) {
            // Each repetition, or only their mean when the runs themselves are not reported.
            const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !mean))
                continue;
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end())
                continue;
            Mean& m = (mean ? aggregated_ : rates_)[run.run_name.function_name];
            m.sum += it->second.value;
            ++m.n;
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // "decode_NAME / baseline_NAME: R%", with both rates.
    void print_ratio(const char* name) const
    {
        const double r = rate("decode_" + std::string(name));
        const double b = rate("baseline_" + std::string(name));
        if (r > 0 && b > 0)
            std::printf("decode_%-15s %6.1f%% of baseline_%s (%.0f vs %.0f MB/s)\n", name,
                        100.0 * r / b, name, r / 1e6, b / 1e6);
    }

private:
    struct Mean {
        double sum = 0;
        int n = 0;
    };
    double rate(const std::string& name) const
    {
        for (const auto* rates : {&rates_, &aggregated_}) {
            const auto it = rates->find(name);
            if (it != rates->end() && it->second.n > 0)
                return it->second.sum / it->second.n;
        }
        return 0;
    }
    std::map<std::string, Mean> rates_;
    std::map<std::string, Mean> aggregated_;
};

} // namespace

int main(int argc, char** argv)
{
    Fixture fixture;
    if (!fixture.ok) {
        std::fputs("qm_decode_bench: cannot write the band files\n", stderr);
        return 1;
    }
    std::printf("band: %u x %u, 16-bit, %zu bytes decoded; files of %zu bytes (plain), %zu bytes "
                "(run-coded), %zu bytes (run-coded, text page without the photograph)\n",
                BandWidth, BandHeight, fixture.image.size(), fixture.plain.file_size,
                fixture.coded.file_size, fixture.coded_text.file_size);

    const struct {
        const char* name;
        const BandFile* file;
    } files[] = {{"plain", &fixture.plain},
                 {"run_coded", &fixture.coded},
                 {"run_coded_text", &fixture.coded_text}};
    for (const auto& f : files) {
        benchmark::RegisterBenchmark((std::string("decode_") + f.name).c_str(), decode_from_file,
                                     f.file);
        benchmark::RegisterBenchmark((std::string("baseline_") + f.name).c_str(), read_and_copy,
                                     f.file);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter; // plain text: the ratios below are read by people and scripts
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    std::printf("\n");
    for (const auto& f : files)
        reporter.print_ratio(f.name);
    return 0;
}
