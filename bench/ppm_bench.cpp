// qmspool render of the benchmarks' Letter page (300 dpi, run-coded 16-bit bands) at 600 dpi to a
// PPM, against `cp` of that same PPM in the same run: both are a process's worth of work ending in
// the same 101 MB file, measured on the wall clock (cp runs in a process of its own, whose time
// the CPU clock of this one would not see). Keeps the best of RUNS runs of each (5 by default).
//
//   qm_ppm_bench [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_pages.h"
#include "cli/commands.h"

namespace {

template <typename Work> double best_seconds(int runs, Work&& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!work())
            return -1;
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// TempPath names end in .pdb; the image writer chooses the format by the name's ending.
std::string with_ending(const qm::bench::TempPath& path, const char* ending)
{
    return std::string(path.c_str()) + ending;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace qm::bench;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    TempPath job("qm-ppm-bench-job"), out("qm-ppm-bench-out"), copy("qm-ppm-bench-cp");
    const std::string ppm = with_ending(out, ".ppm"), copied = with_ending(copy, ".ppm");
    if (!qm::write_file(job.c_str(), page_spool(page_pixels(PageWidth, PageHeight), PageWidth,
                                                PageHeight, true))) {
        std::fputs("qm_ppm_bench: cannot write the spool file\n", stderr);
        return 1;
    }
    qm::cli::RenderRequest request;
    request.path = job.c_str();
    request.out_path = ppm.c_str();
    request.page = 1;
    request.dpi = PrinterDpi;
    const double render_s =
        best_seconds(runs, [&] { return qm::cli::run_render(request, stderr) == 0; });
    const std::string cp = "cp '" + ppm + "' '" + copied + "'";
    const double cp_s = best_seconds(runs, [&] { return std::system(cp.c_str()) == 0; });
    std::remove(ppm.c_str());
    std::remove(copied.c_str());
    if (render_s < 0 || cp_s < 0) {
        std::fputs("qm_ppm_bench: a run failed\n", stderr);
        return 1;
    }
    std::printf("page: %u x %u at 300 dpi, run-coded 16-bit bands; rendered at %d dpi to a "
                "%d x %d PPM\n",
                PageWidth, PageHeight, PrinterDpi, PrinterWidth, PrinterHeight);
    std::printf("qmspool render   %8.1f ms  (best of %d)\n", render_s * 1e3, runs);
    std::printf("cp of the PPM    %8.1f ms\n", cp_s * 1e3);
    std::printf("ratio            %8.2f x cp  (goal: at most 2 x cp)\n", render_s / cp_s);
    return 0;
}
