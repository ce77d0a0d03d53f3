// The GDI canvas against the raster canvas, on the same page in the same run (Windows, or Wine).
//
// The page of qm_render_bench (a 300 dpi Letter page of run-coded 16-bit bands: text, a noisy
// photograph, flat boxes) is drawn as a 600 dpi printer pass twice over: through the GDI canvas
// on a memory device context holding a 24-bit 5100 x 6600 DIB section (what a printer's device
// context stands for), and on a raster canvas of the same size. Each is timed from opening the
// spool file to the last pixel in memory; the best of several runs of each counts. The closing
// line gives the GDI time over the raster time (the goal is 1.5 or less), and how many pixels of
// the two pages differ.
//
// Google Benchmark has no MinGW build here, so this is a plain program:
//   qm_gdi_bench [RUNS]          (default 5)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench_pages.h"
#include "platform/win32/gdi_canvas.h"
#include "platform/win32/win_handles.h"
#include "render/raster_canvas.h"

namespace {

using namespace qm::bench; // the page, its printer pass and the spool file helpers
using qm::win::GdiObject;
using qm::win::MemoryDc;

// A memory device context over a 24-bit top-down DIB section of the printer's size.
class PrinterBitmap {
public:
    PrinterBitmap()
    {
        HDC screen = GetDC(nullptr);
        if (!screen)
            return;
        dc_.reset(CreateCompatibleDC(screen));
        ReleaseDC(nullptr, screen);
        if (!dc_)
            return;
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = PrinterWidth;
        bmi.bmiHeader.biHeight = -PrinterHeight;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 24;
        bmi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(dc_.get(), &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap_ || !bits)
            return;
        replaced_ = SelectObject(dc_.get(), bitmap_.get());
        if (!replaced_ || replaced_ == HGDI_ERROR) {
            replaced_ = nullptr;
            return;
        }
        bits_ = static_cast<const std::uint8_t*>(bits);
    }
    ~PrinterBitmap()
    {
        if (replaced_)
            SelectObject(dc_.get(), replaced_);
    }
    PrinterBitmap(const PrinterBitmap&) = delete;
    PrinterBitmap& operator=(const PrinterBitmap&) = delete;

    bool ok() const { return bits_ != nullptr; }
    HDC dc() const { return dc_.get(); }
    const std::uint8_t* row(std::int32_t y) const
    {
        return bits_ + static_cast<std::ptrdiff_t>(y) * ((PrinterWidth * 3 + 3) & ~3);
    }

private:
    MemoryDc dc_;
    GdiObject bitmap_;
    HGDIOBJ replaced_ = nullptr;
    const std::uint8_t* bits_ = nullptr;
};

// Seconds for one printer pass of the page in `path` onto `canvas`, or a negative number when it
// did not render.
template <typename Finish> double time_page(qm::Canvas& canvas, const char* path, Finish finish)
{
    const auto start = std::chrono::steady_clock::now();
    const int result = qm::bench::render_first_page(canvas, printer_pass(), path);
    finish(); // GDI may hold drawing back in a batch: the page is done when it is in memory
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return result == 0 ? took.count() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const qm::Bytes image = qm::bench::page_pixels(PageWidth, PageHeight);
    qm::bench::TempPath file("qm-gdi-bench");
    const qm::Bytes spool = qm::bench::page_spool(image, PageWidth, PageHeight, true);
    if (!qm::write_file(file.c_str(), spool)) {
        std::fputs("qm_gdi_bench: cannot write the spool file\n", stderr);
        return 1;
    }

    PrinterBitmap printer;
    if (!printer.ok()) {
        std::fputs("qm_gdi_bench: cannot make the 24-bit printer bitmap\n", stderr);
        return 1;
    }
    qm::win::GdiCanvas gdi(printer.dc());

    qm::DeviceCaps caps;
    caps.horzres = PrinterWidth;
    caps.vertres = PrinterHeight;
    caps.logpixelsx = caps.logpixelsy = PrinterDpi;
    caps.numcolors = gdi.caps().numcolors; // the memory DC's colours, whatever the screen has
    const std::unique_ptr<qm::RasterCanvas> raster = qm::RasterCanvas::create(caps);
    if (!raster) {
        std::fputs("qm_gdi_bench: no memory for the raster page\n", stderr);
        return 1;
    }

    std::printf("page: %u x %u, 16-bit, bands of 100 to 300 rows, run-coded file %zu bytes; drawn "
                "at %d dpi on %d x %d, 24-bit (NUMCOLORS %d); best of %d runs each\n",
                PageWidth, PageHeight, spool.size(), PrinterDpi, PrinterWidth, PrinterHeight,
                caps.numcolors, runs);

    double best_gdi = -1, best_raster = -1;
    for (int k = 0; k < runs; ++k) {
        const double g = time_page(gdi, file.c_str(), [] { GdiFlush(); });
        const double r = time_page(*raster, file.c_str(), [] {});
        if (g < 0 || r < 0) {
            std::fputs("qm_gdi_bench: the page does not render\n", stderr);
            return 1;
        }
        best_gdi = best_gdi < 0 ? g : std::min(best_gdi, g);
        best_raster = best_raster < 0 ? r : std::min(best_raster, r);
        std::printf("run %d: gdi %8.1f ms   raster %8.1f ms\n", k + 1, 1e3 * g, 1e3 * r);
    }

    // The two canvases should agree pixel for pixel; the count says how far they do.
    std::size_t differ = 0;
    for (std::int32_t y = 0; y < PrinterHeight; ++y)
        for (std::int32_t x = 0; x < PrinterWidth * 3; x += 3)
            differ += std::memcmp(printer.row(y) + x, raster->row(y) + x, 3) != 0;

    std::printf("\ngdi_page                 %8.1f ms (best)\n", 1e3 * best_gdi);
    std::printf("raster_page              %8.1f ms (best)\n", 1e3 * best_raster);
    std::printf("gdi_page / raster_page   %8.2f x   (goal: 1.5 or less)\n", best_gdi / best_raster);
    std::printf("pixels that differ       %8zu of %lld\n", differ,
                static_cast<long long>(PrinterWidth) * PrinterHeight);
    return 0;
}
