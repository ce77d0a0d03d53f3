// qmspool pdf of a 20-page job of run-coded 16-bit bands (the benchmarks' Letter page at 300
// dpi: text, a photograph, flat boxes), against `cat` of the spool file into a file in the same
// run: both are a process's worth of work on the same bytes, measured on the wall clock (cat
// runs in a process of its own, whose time the CPU clock of this one would not see). Keeps the
// best of RUNS runs of each (3 by default). Also prints the PDF's size against the spool file's.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_pages.h"
#include "cli/commands.h"

namespace {

constexpr int Pages = 20;

// The job: Pages copies of the page, each page's bands continued but its last.
qm::Bytes twenty_page_job()
{
    using namespace qm::bench;
    const qm::Bytes image = page_pixels(PageWidth, PageHeight);
    qm::SpoolImage spool;
    const std::size_t row = std::size_t{PageWidth} * 2;
    for (int page = 0; page < Pages; ++page) {
        std::size_t k = 0;
        for (std::uint16_t top = 0; top < PageHeight; ++k) {
            qm::BandHeader h;
            h.width = PageWidth;
            h.height = std::min<std::uint16_t>(BandRowCycle[k % std::size(BandRowCycle)],
                                               static_cast<std::uint16_t>(PageHeight - top));
            h.dpi_x = h.dpi_y = 300;
            const auto first = image.begin() + static_cast<std::ptrdiff_t>(top * row);
            const qm::Bytes pixels(first, first + static_cast<std::ptrdiff_t>(h.height * row));
            top = static_cast<std::uint16_t>(top + h.height);
            spool.records.push_back(qm::band_record(qm::KindBand16,
                                                    top < PageHeight ? qm::FlagContinued : 0, h,
                                                    pixels, true));
        }
    }
    return qm::build_spool(spool);
}

template <typename Work>
double best_seconds(int runs, Work&& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!work())
            return -1;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0)
                                  .count());
    }
    return best;
}

long long file_size(const char* path)
{
    struct stat st{};
    return stat(path, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    qm::bench::TempPath job("qm-pdf-bench-job"), pdf("qm-pdf-bench-out"), copy("qm-pdf-bench-cat");
    if (!qm::write_file(job.c_str(), twenty_page_job())) {
        std::fputs("qm_pdf_bench: cannot write the spool file\n", stderr);
        return 1;
    }
    const double pdf_s = best_seconds(runs, [&] {
        return qm::cli::run_pdf(job.c_str(), pdf.c_str(), qm::cli::PageRange{}, nullptr, stderr) ==
               0;
    });
    const std::string cat = std::string("cat '") + job.c_str() + "' > '" + copy.c_str() + "'";
    const double cat_s = best_seconds(runs, [&] { return std::system(cat.c_str()) == 0; });
    if (pdf_s < 0 || cat_s < 0) {
        std::fputs("qm_pdf_bench: a run failed\n", stderr);
        return 1;
    }
    const long long spool_bytes = file_size(job.c_str()), pdf_bytes = file_size(pdf.c_str());
    std::printf("job: %d pages of %u x %u 16-bit run-coded bands at 300 dpi, %lld bytes\n", Pages,
                qm::bench::PageWidth, qm::bench::PageHeight, spool_bytes);
    std::printf("qmspool pdf   %8.1f ms  (best of %d)\n", pdf_s * 1e3, runs);
    std::printf("cat           %8.1f ms\n", cat_s * 1e3);
    std::printf("ratio         %8.1f x cat\n", pdf_s / cat_s);
    std::printf("PDF size      %lld bytes, %.2f x the spool file\n", pdf_bytes,
                static_cast<double>(pdf_bytes) / static_cast<double>(spool_bytes));
    std::printf("(goals: the job in under 1 s; a PDF at most 2 x the spool file)\n");
    return 0;
}
