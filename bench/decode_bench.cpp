// Band decoding throughput against peers measured in the same run.
//
// Three kinds of 1700 x 1000 band of 16-bit pixels (3.4 MB decoded): a photograph page (text, a
// noisy photograph, flat boxes), a text page (no photograph) and a boxes page (flat boxes on
// white), each written to a spool file run-coded; the photograph page also plain. Each decode
// benchmark opens the file, finds the record, reads the band header and decodes the pixel data,
// as the page renderer does. The peer of a run-coded band is LZ4 (when this build has it): the
// same decoded band compressed with LZ4 into a file of its own, which its benchmark opens, reads
// whole and decompresses into the same kind of buffer. The baseline of the plain band reads the
// file with fread and copies the decoded size with memcpy. Throughput is decoded image bytes per
// second; the closing lines give each decode's speed against its peer's, beside the goal.
//
//   qm_decode_bench [--benchmark_repetitions=5] [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#if QM_BENCH_HAVE_LZ4
#include <lz4.h>
#endif

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
    qm::Bytes bytes; // the file's bytes, for decoding from memory
    BandFile(const qm::Bytes& img, bool coded, const char* stem)
        : image(img), compress(coded), file(stem)
    {
    }
};

// The decoded band compressed by LZ4 in a file of its own.
struct Lz4File {
    const qm::Bytes& image;
    TempPath file;
    std::size_t file_size = 0;
    qm::Bytes bytes;
    Lz4File(const qm::Bytes& img, const char* stem) : image(img), file(stem) {}
};

struct Fixture {
    qm::Bytes image = qm::bench::page_pixels(BandWidth, BandHeight);
    qm::Bytes text_image = qm::bench::page_pixels(BandWidth, BandHeight, false);
    qm::Bytes boxes_image = qm::bench::page_pixels(BandWidth, BandHeight, false, false);
    BandFile plain{image, false, "qm-bench-plain"};
    BandFile coded{image, true, "qm-bench-coded"};
    BandFile coded_text{text_image, true, "qm-bench-coded-text"};
    BandFile coded_boxes{boxes_image, true, "qm-bench-coded-boxes"};
    Lz4File lz4{image, "qm-bench-lz4"};
    Lz4File lz4_text{text_image, "qm-bench-lz4-text"};
    Lz4File lz4_boxes{boxes_image, "qm-bench-lz4-boxes"};
    bool ok = true;

    Fixture()
    {
        qm::BandHeader h;
        h.width = BandWidth;
        h.height = BandHeight;
        h.dpi_x = h.dpi_y = 300;
        for (BandFile* f : {&plain, &coded, &coded_text, &coded_boxes}) {
            qm::SpoolImage spool;
            spool.records.push_back(qm::band_record(qm::KindBand16, 0, h, f->image, f->compress));
            f->bytes = qm::build_spool(spool);
            f->file_size = f->bytes.size();
            ok = ok && qm::write_file(f->file.c_str(), f->bytes);
        }
#if QM_BENCH_HAVE_LZ4
        for (Lz4File* f : {&lz4, &lz4_text, &lz4_boxes}) {
            const int size = static_cast<int>(f->image.size());
            qm::Bytes bytes(static_cast<std::size_t>(LZ4_compressBound(size)));
            const int n = LZ4_compress_default(reinterpret_cast<const char*>(f->image.data()),
                                               reinterpret_cast<char*>(bytes.data()), size,
                                               static_cast<int>(bytes.size()));
            bytes.resize(static_cast<std::size_t>(n > 0 ? n : 0));
            f->file_size = bytes.size();
            ok = ok && n > 0 && qm::write_file(f->file.c_str(), bytes);
            f->bytes = std::move(bytes);
        }
#endif
    }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void decode_band_of(benchmark::State& state, const BandFile* band, bool in_memory)
{
    const BandFile& f = *band;
    const std::size_t image_size = f.image.size();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[image_size + qm::BandSpareBytes]);
    for (auto _ : state) {
        qm::SpoolStream s = in_memory ? qm::SpoolStream::from_memory(f.bytes.data(), f.bytes.size())
                                      : qm::SpoolStream::open_file(f.file.c_str());
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

#if QM_BENCH_HAVE_LZ4
// The peer: what a program that kept its bands LZ4-compressed would do to get the band back.
void lz4_band_of(benchmark::State& state, const Lz4File* lz4, bool in_memory)
{
    const Lz4File& f = *lz4;
    const std::size_t image_size = f.image.size();
    std::vector<std::uint8_t> file_bytes(f.file_size);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[image_size + qm::BandSpareBytes]);
    for (auto _ : state) {
        const std::uint8_t* compressed = f.bytes.data();
        if (!in_memory) {
            std::unique_ptr<std::FILE, FileCloser> file(std::fopen(f.file.c_str(), "rb"));
            if (!file || std::fread(file_bytes.data(), 1, f.file_size, file.get()) != f.file_size) {
                state.SkipWithError("cannot read the LZ4 file");
                break;
            }
            compressed = file_bytes.data();
        }
        const int n = LZ4_decompress_safe(
            reinterpret_cast<const char*>(compressed), reinterpret_cast<char*>(buffer.get()),
            static_cast<int>(f.file_size), static_cast<int>(image_size));
        if (n != static_cast<int>(image_size)) {
            state.SkipWithError("the LZ4 file does not decompress");
            break;
        }
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
    }
    if (std::memcmp(buffer.get(), f.image.data(), image_size) != 0)
        state.SkipWithError("decompressed image differs from the original");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image_size));
}
#endif

} // namespace

int main(int argc, char** argv)
{
    Fixture fixture;
    if (!fixture.ok) {
        std::fputs("qm_decode_bench: cannot write the band files\n", stderr);
        return 1;
    }
    std::printf("band: %u x %u, 16-bit, %zu bytes decoded; files of %zu bytes (plain), run-coded "
                "%zu (photograph), %zu (text), %zu (boxes)",
                BandWidth, BandHeight, fixture.image.size(), fixture.plain.file_size,
                fixture.coded.file_size, fixture.coded_text.file_size,
                fixture.coded_boxes.file_size);
#if QM_BENCH_HAVE_LZ4
    std::printf("; LZ4 %zu, %zu, %zu\n", fixture.lz4.file_size, fixture.lz4_text.file_size,
                fixture.lz4_boxes.file_size);
#else
    std::printf("\nLZ4 is not in this build (Debian liblz4-dev): the run-coded bands have no "
                "peer to be measured against\n");
#endif

    benchmark::RegisterBenchmark("decode_plain", decode_band_of, &fixture.plain, false);
    benchmark::RegisterBenchmark("baseline_plain", read_and_copy, &fixture.plain);
    const struct {
        const char* name;
        const BandFile* coded;
        const Lz4File* lz4;
    } kinds[] = {{"photograph", &fixture.coded, &fixture.lz4},
                 {"text", &fixture.coded_text, &fixture.lz4_text},
                 {"boxes", &fixture.coded_boxes, &fixture.lz4_boxes}};
    // From the file, as the renderer reads a band; and from memory, the decoding alone.
    for (const bool in_memory : {false, true}) {
        for (const auto& k : kinds) {
            const std::string name = std::string(in_memory ? "_in_memory_" : "_") + k.name;
            benchmark::RegisterBenchmark(("decode" + name).c_str(), decode_band_of, k.coded,
                                         in_memory);
#if QM_BENCH_HAVE_LZ4
            benchmark::RegisterBenchmark(("lz4" + name).c_str(), lz4_band_of, k.lz4, in_memory);
#endif
        }
    }

    qm::bench::RatioReporter reporter;
    if (!qm::bench::run_benchmarks(argc, argv, reporter))
        return 1;
    reporter.print_ratio("decode_plain", "decode_plain", "baseline_plain");
    std::printf("(goal: plain data at fread + memcpy's speed or better, 100%% or more)\n");
#if QM_BENCH_HAVE_LZ4
    for (const bool in_memory : {false, true}) {
        for (const auto& k : kinds) {
            const std::string name = std::string(in_memory ? "_in_memory_" : "_") + k.name;
            reporter.print_ratio(("decode" + name).c_str(), ("decode" + name).c_str(),
                                 ("lz4" + name).c_str());
        }
    }
    std::printf("(goal: run-coded bands at LZ4's speed or better, 100%% or more, every kind)\n");
#endif
    return 0;
}
