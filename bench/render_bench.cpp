// Page rendering time against a baseline measured in the same run.
//
// A Letter page at 300 dpi (2550 x 3300 pixels of 16-bit colour: text, a noisy photograph, flat
// boxes) is cut into run-coded bands of 100 to 300 rows, each flagged continued but the last, and
// written to a spool file. Each render benchmark is the printer pass of a 600 dpi colour or
// monochrome (NUMCOLORS 2, dithered) printer: open the file, read the record count, and draw the
// page with render_page on a 5100 x 6600 raster canvas (origin 0, 0, scales 600, fit off). The
// baseline copies a page raster of that size with memcpy: the least any renderer could do to
// hand over that page. The closing lines give each render's time over the baseline's (the goal
// is 2 or less), and the peak memory of one render beside the page raster plus one band.
//
//   qm_render_bench [--benchmark_repetitions=5] [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>

#include "bench_pages.h"
#include "bench_ratio.h"
#include "render/raster_canvas.h"

// ---------------------------------------------------------------------------------------------
// Heap accounting: every operator new and delete of the program goes through here, so that the
// peak of the bytes live at once can be read for one render.

namespace {

std::atomic<std::int64_t> LiveBytes{0};
std::atomic<std::int64_t> PeakBytes{0};

void* counted_alloc(std::size_t n) noexcept
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        return nullptr;
    const std::int64_t live =
        LiveBytes.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p))) +
        static_cast<std::int64_t>(malloc_usable_size(p));
    std::int64_t peak = PeakBytes.load();
    while (live > peak && !PeakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void counted_free(void* p) noexcept
{
    if (!p)
        return;
    LiveBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)));
    std::free(p);
}

void* counted_new(std::size_t n)
{
    void* p = counted_alloc(n);
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* operator new(std::size_t n)
{
    return counted_new(n);
}
void* operator new[](std::size_t n)
{
    return counted_new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return counted_alloc(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return counted_alloc(n);
}
void operator delete(void* p) noexcept
{
    counted_free(p);
}
void operator delete[](void* p) noexcept
{
    counted_free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    counted_free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    counted_free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    counted_free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    counted_free(p);
}

namespace {

using namespace qm::bench; // the page, its printer pass and the spool file helpers

qm::DeviceCaps printer_caps(bool monochrome)
{
    qm::DeviceCaps caps;
    caps.horzres = PrinterWidth;
    caps.vertres = PrinterHeight;
    caps.logpixelsx = caps.logpixelsy = PrinterDpi;
    caps.numcolors = monochrome ? 2 : -1;
    return caps;
}

struct SpoolFile {
    TempPath path;
    std::size_t size = 0;
    explicit SpoolFile(const char* stem) : path(stem) {}
};

struct Fixture {
    qm::Bytes image = qm::bench::page_pixels(PageWidth, PageHeight);
    SpoolFile coded{"qm-render-bench-coded"};
    SpoolFile plain{"qm-render-bench-plain"}; // for the memory figure: a larger file, same page
    bool ok = true;

    Fixture()
    {
        for (SpoolFile* f : {&coded, &plain}) {
            const qm::Bytes bytes =
                qm::bench::page_spool(image, PageWidth, PageHeight, f == &coded);
            f->size = bytes.size();
            ok = ok && qm::write_file(f->path.c_str(), bytes);
        }
    }
};

Fixture* TheFixture = nullptr;

constexpr std::size_t PageRasterBytes = std::size_t{PrinterWidth} * PrinterHeight * 3;

// Every pixel of the colour page is the band pixel it was enlarged from, widened from 5-6-5 bits
// to 8 as the renderer widens them.
bool colour_page_matches(const qm::RasterCanvas& page, const qm::Bytes& image)
{
    for (std::int32_t y = 0; y < PrinterHeight; ++y) {
        const std::uint8_t* src = image.data() + static_cast<std::size_t>(y / 2) * PageWidth * 2;
        const std::uint8_t* out = page.row(y);
        for (std::int32_t x = 0; x < PrinterWidth; ++x, out += 3) {
            const unsigned v = src[x / 2 * 2] | src[x / 2 * 2 + 1] << 8;
            if (out[0] != (v & 0x1F) * 8 || out[1] != (v >> 5 & 0x3F) * 4 ||
                out[2] != (v >> 11) * 8)
                return false;
        }
    }
    return true;
}

// A dithered page holds black and white only, and some of each.
bool mono_page_plausible(const qm::RasterCanvas& page)
{
    std::size_t black = 0, white = 0;
    for (std::int32_t y = 0; y < PrinterHeight; ++y) {
        const std::uint8_t* out = page.row(y);
        for (std::int32_t x = 0; x < 3 * PrinterWidth; ++x) {
            if (out[x] == 0)
                ++black;
            else if (out[x] == 0xFF)
                ++white;
            else
                return false;
        }
    }
    return black > 0 && white > 0;
}

void render(benchmark::State& state, bool monochrome)
{
    std::unique_ptr<qm::RasterCanvas> page = qm::RasterCanvas::create(printer_caps(monochrome));
    if (!page) {
        state.SkipWithError("no memory for the page raster");
        return;
    }
    for (auto _ : state) {
        if (qm::bench::render_first_page(*page, printer_pass(), TheFixture->coded.path.c_str()) !=
            0) {
            state.SkipWithError("the page does not render");
            break;
        }
        benchmark::DoNotOptimize(page->row(0));
        benchmark::ClobberMemory();
    }
    if (!(monochrome ? mono_page_plausible(*page) : colour_page_matches(*page, TheFixture->image)))
        state.SkipWithError("the rendered page is not the page in the file");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PageRasterBytes));
}

void copy_page_raster(benchmark::State& state)
{
    std::unique_ptr<std::uint8_t[]> from(new std::uint8_t[PageRasterBytes]);
    std::unique_ptr<std::uint8_t[]> to(new std::uint8_t[PageRasterBytes]);
    std::memset(from.get(), 0xFF, PageRasterBytes);
    std::memset(to.get(), 0, PageRasterBytes);
    for (auto _ : state) {
        std::memcpy(to.get(), from.get(), PageRasterBytes);
        benchmark::DoNotOptimize(to.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PageRasterBytes));
}

// The most heap one colour render of a file holds at once, the page raster included, and how
// far the resident set's high-water mark rose above what was resident before it.
struct RenderMemory {
    std::int64_t peak_heap = -1;
    long peak_resident_growth_kib = 0;
};

long peak_resident_kib()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

long resident_kib()
{
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

RenderMemory measure_render_memory(const char* path)
{
    RenderMemory m;
    malloc_trim(0); // what the fixture freed goes back, so that the figure is the render's own
    const long resident_before = resident_kib();
    const std::int64_t live_before = LiveBytes.load();
    PeakBytes.store(live_before);
    {
        std::unique_ptr<qm::RasterCanvas> page = qm::RasterCanvas::create(printer_caps(false));
        if (!page || qm::bench::render_first_page(*page, printer_pass(), path) != 0)
            return m;
    }
    m.peak_heap = PeakBytes.load() - live_before;
    m.peak_resident_growth_kib = peak_resident_kib() - resident_before;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    Fixture fixture;
    TheFixture = &fixture;
    if (!TheFixture->ok) {
        std::fputs("qm_render_bench: cannot write the spool files\n", stderr);
        return 1;
    }
    std::printf("page: %u x %u, 16-bit, bands of 100 to 300 rows, run-coded file %zu bytes; drawn "
                "at %d dpi on %d x %d (%zu bytes)\n",
                PageWidth, PageHeight, fixture.coded.size, PrinterDpi, PrinterWidth, PrinterHeight,
                PageRasterBytes);

    // Memory first, while the process is fresh, so that the resident set's high-water mark says
    // something; the run-coded file and the plain one (several times its size) must need the same.
    const RenderMemory coded = measure_render_memory(fixture.coded.path.c_str());
    const RenderMemory plain = measure_render_memory(fixture.plain.path.c_str());
    const std::size_t band_rows = qm::bench::tallest_band(PageHeight);
    const std::size_t one_band = ((std::size_t{PageWidth} * 3 + 3) & ~std::size_t{3}) * band_rows +
                                 std::size_t{PageWidth} * 2 * band_rows + qm::BandSpareBytes;

    benchmark::RegisterBenchmark("render_colour", render, false)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("render_mono", render, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("baseline_memcpy", copy_page_raster)
        ->Unit(benchmark::kMillisecond);

    qm::bench::RatioReporter reporter;
    if (!qm::bench::run_benchmarks(argc, argv, reporter))
        return 1;
    reporter.print_time_ratio("render_colour", "render_colour", "baseline_memcpy");
    reporter.print_time_ratio("render_mono", "render_mono", "baseline_memcpy");
    std::printf("(goal: a page in at most 2 x baseline_memcpy)\n");

    std::printf("\npeak memory of one render (heap, page raster included):\n");
    std::printf("  page raster + one band       %10.2f MB (%zu + %zu bytes, band of %zu rows)\n",
                static_cast<double>(PageRasterBytes + one_band) / 1e6, PageRasterBytes, one_band,
                band_rows);
    for (const auto& [name, size, m] : {std::tuple{"run-coded file", fixture.coded.size, coded},
                                        std::tuple{"plain file", fixture.plain.size, plain}}) {
        if (m.peak_heap < 0) {
            std::printf("  %-28s did not render\n", name);
            continue;
        }
        std::printf("  %-28s %10.2f MB (%lld bytes over raster + band; file %zu bytes; peak "
                    "resident set %.2f MB over the resident set before)\n",
                    name, static_cast<double>(m.peak_heap) / 1e6,
                    static_cast<long long>(m.peak_heap) -
                        static_cast<long long>(PageRasterBytes + one_band),
                    size, static_cast<double>(m.peak_resident_growth_kib) * 1024 / 1e6);
    }
    return 0;
}
