// Band decoding throughput against a baseline measured in the same run.
//
// A 1700 x 1000 band of 16-bit pixels (3.4 MB decoded) is written to a spool file plain and
// run-coded, and a text page of the same size (the band without its photograph) run-coded. Each
// decode benchmark opens the file, finds the record, reads the band header and decodes the pixel
// data, as the page renderer does. Each baseline reads the same file into memory with fread and
// copies the decoded size with memcpy: the least any reader of that file could do to hand over that
// image. Throughput is decoded image bytes per second; the closing lines give each decode's share
// of its baseline (the goal for run-coded data is 50% or more).
//
//   qm_decode_bench [--benchmark_repetitions=5] [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_pages.h"
#include "bench_ratio.h"

namespace {

using qm::bench::TempPath;

constexpr std::uint16_t BandWidth = 1700;
constexpr std::uint16_t BandHeight = 1000;

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
    qm::Bytes image = qm::bench::page_pixels(BandWidth, BandHeight);
    qm::Bytes text_image = qm::bench::page_pixels(BandWidth, BandHeight, false);
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
            ok = ok && qm::write_file(f->file.c_str(), bytes);
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
        qm::SpoolStream s = qm::SpoolStream::open_file(f.file.c_str());
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
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(f.file.c_str(), "rb"));
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

    qm::bench::RatioReporter reporter;
    if (!qm::bench::run_benchmarks(argc, argv, reporter))
        return 1;
    for (const auto& f : files) {
        const std::string decode = std::string("decode_") + f.name;
        const std::string baseline = std::string("baseline_") + f.name;
        reporter.print_ratio(decode.c_str(), decode.c_str(), baseline.c_str());
    }
    return 0;
}
