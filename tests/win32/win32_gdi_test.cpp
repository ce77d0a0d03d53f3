// The status screen and the GDI canvas on real device contexts.
#include <cstdio>
#include <cstring>
#include <random>

#include "app/app_state.h"
#include "app/status_display.h"
#include "monitor/monitor_state.h"
#include "platform/win32/gdi_canvas.h"
#include "spool/spool_limits.h"
#include "win32_fixture.h"

namespace qm::test {
namespace {

// A memory device context over a 24-bit top-down bitmap whose pixels the test reads.
class Bitmap {
public:
    Bitmap(int width, int height, std::uint8_t fill) : width_(width), height_(height)
    {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = width;
        bmi.bmiHeader.biHeight = -height;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 24;
        bmi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint8_t*>(bits);
        stride_ = (width * 3 + 3) & ~3;
        std::memset(bits_, fill, static_cast<std::size_t>(stride_) * height);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~Bitmap()
    {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    // 0xRRGGBB
    std::uint32_t pixel(int x, int y) const
    {
        GdiFlush();
        const std::uint8_t* p = bits_ + y * stride_ + 3 * x;
        return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 |
               p[0];
    }
    bool row_is_white(int y) const
    {
        for (int x = 0; x < width_; ++x)
            if (pixel(x, y) != 0xFFFFFF)
                return false;
        return true;
    }
    // Leftmost non-white pixel in rows [top, top + height), or -1.
    int leftmost_ink(int top, int height) const
    {
        int best = -1;
        for (int y = top; y < top + height; ++y)
            for (int x = 0; x < width_; ++x)
                if (pixel(x, y) != 0xFFFFFF) {
                    if (best < 0 || x < best)
                        best = x;
                    break;
                }
        return best;
    }
    // Counts pixels in rows [top, top + height) that pass `test`.
    template <typename Test> int count(int top, int height, Test test) const
    {
        int n = 0;
        for (int y = top; y < top + height; ++y)
            for (int x = 0; x < width_; ++x)
                n += test(pixel(x, y)) ? 1 : 0;
        return n;
    }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint8_t* bits_ = nullptr;
    int stride_ = 0;
};

int stock_font_height(HDC dc, int font)
{
    HGDIOBJ old = SelectObject(dc, GetStockObject(font));
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    return tm.tmHeight;
}

bool teal_ish(std::uint32_t c)
{
    const int r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
    return g > r + 40 && b > r + 40;
}

bool dark(std::uint32_t c)
{
    return (c >> 16) < 0x60 && ((c >> 8) & 0xFF) < 0x60 && (c & 0xFF) < 0x60;
}

TEST(StatusScreen, paints_each_line_in_its_style_at_its_place)
{
    AppState state;
    MonitorState& monitor = state.Monitor;
    std::snprintf(monitor.InstallFolder, sizeof monitor.InstallFolder, "C:\\Palm");
    MonitoredUserSlot& slot = monitor.MonitoredUser[monitor.MonitoredUserCount++];
    std::snprintf(slot.user_folder, sizeof slot.user_folder, "Jane");
    std::snprintf(slot.status_line, sizeof slot.status_line, "C:\\Palm\\Jane\\backup");

    Bitmap page(640, 400, 0x00);
    const int hh = stock_font_height(page.dc(), SYSTEM_FIXED_FONT);
    const int hg = stock_font_height(page.dc(), DEFAULT_GUI_FONT);
    ASSERT_GT(hh, 0);
    ASSERT_GT(hg, 0);
    EXPECT_EQ(paint_status(state, reinterpret_cast<DrawContext>(page.dc())), 0);

    // The whole surface was cleared (it started black).
    EXPECT_EQ(page.pixel(639, 399), 0xFFFFFFu);

    struct Band {
        int x;
        int y;
        int height;
        bool heading;
    };
    const int y1 = 10, y2 = y1 + hh + 10, y3 = y2 + hg + 10, u = y3 + hh + 10;
    const int y4 = u + 2 * hg + 10, y5 = y4 + hh + 10, y6 = y5 + hg, y7 = y6 + hg + 10;
    const int y8 = y7 + hh + 10;
    const Band bands[] = {{10, y1, hh, true},  {25, y2, hg, false},     {10, y3, hh, true},
                          {25, u, hg, false},  {35, u + hg, hg, false}, {10, y4, hh, true},
                          {25, y5, hg, false}, {25, y6, hg, false},     {10, y7, hh, true},
                          {25, y8, hg, false}};
    int next_free = 0;
    for (const Band& band : bands) {
        SCOPED_TRACE(band.y);
        // Nothing between the lines.
        for (int y = next_free; y < band.y; ++y)
            EXPECT_TRUE(page.row_is_white(y)) << "row " << y;
        next_free = band.y + band.height;
        const int left = page.leftmost_ink(band.y, band.height);
        EXPECT_GE(left, band.x);
        EXPECT_LT(left, band.x + 8);
        if (band.heading) {
            EXPECT_GT(page.count(band.y, band.height, teal_ish), 0);
            EXPECT_EQ(page.count(band.y, band.height, dark), 0);
        } else {
            EXPECT_GT(page.count(band.y, band.height, dark), 0);
            EXPECT_EQ(page.count(band.y, band.height, teal_ish), 0);
        }
    }
    for (int y = next_free; y < 400; ++y)
        EXPECT_TRUE(page.row_is_white(y)) << "row " << y;

    // The value style stays selected.
    EXPECT_EQ(GetCurrentObject(page.dc(), OBJ_FONT), GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(GetTextColor(page.dc()), 0u);
}

TEST(GdiCanvas, band_surface_is_top_down_and_stretches_onto_the_device)
{
    Bitmap page(64, 32, 0x00);
    win::GdiCanvas canvas(page.dc());
    EXPECT_GT(canvas.caps().logpixelsx, 0);
    canvas.fill_white(Rect{0, 0, 64, 32});
    canvas.finish_page(); // the white may be held back until then
    EXPECT_EQ(page.pixel(63, 31), 0xFFFFFFu);

    auto band = canvas.create_band_surface(4, 2);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->row(1)[0], 0xFF); // starts white
    for (int x = 0; x < 4; ++x) {
        band->row(0)[3 * x + 0] = 0x00; // blue, green, red: a red top row
        band->row(0)[3 * x + 1] = 0x00;
        band->row(0)[3 * x + 2] = 0xFF;
    }
    canvas.stretch_band(*band, Rect{10, 10, 8, 4});
    EXPECT_EQ(page.pixel(10, 10), 0xFF0000u);
    EXPECT_EQ(page.pixel(17, 11), 0xFF0000u);
    EXPECT_EQ(page.pixel(10, 12), 0xFFFFFFu);
    EXPECT_EQ(page.pixel(18, 10), 0xFFFFFFu);
    EXPECT_EQ(canvas.create_band_surface(0, 5), nullptr);
    // The band cap of every other canvas: a row past it is refused before any memory is taken.
    const auto cap_rows = static_cast<std::int32_t>(MaxBandImageBytes / (3 * 65535));
    EXPECT_EQ(canvas.create_band_surface(65535, cap_rows + 1), nullptr);
}

TEST(GdiCanvas, preview_cache_holds_what_is_drawn_and_copies_it_unscaled)
{
    Bitmap window(64, 32, 0x00);
    win::GdiCanvas canvas(window.dc());
    auto cache = canvas.create_preview_cache(20, 10);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->width(), 20);
    EXPECT_EQ(cache->caps().horzres, 20);
    EXPECT_EQ(cache->pixel(19, 9), 0x7FFF);

    auto band = cache->create_band_surface(1, 1);
    ASSERT_NE(band, nullptr);
    band->row(0)[0] = 0xFF; // blue
    band->row(0)[1] = 0x00;
    band->row(0)[2] = 0x00;
    cache->stretch_band(*band, Rect{2, 3, 2, 2});
    EXPECT_EQ(cache->pixel(2, 3), 0x001F);
    EXPECT_EQ(cache->pixel(3, 4), 0x001F);
    EXPECT_EQ(cache->pixel(4, 3), 0x7FFF);

    canvas.draw_preview(*cache);
    EXPECT_EQ(window.pixel(2, 3) & 0xF8F8F8u, 0x0000F8u);
    EXPECT_EQ(window.pixel(19, 9), 0xFFFFFFu);
    EXPECT_EQ(window.pixel(20, 10), 0x000000u); // outside the cache: untouched
}

// The canvas holds a fill's white back and writes it where drawing reaches a row, outside what a
// band or the preview overwrites. Random fills, bands (doubled, mirrored, empty, off the device)
// and text on one canvas and on one that writes white at once must leave the same pixels
// whenever the page is finished, and when the canvas goes.
TEST(GdiCanvas, held_white_leaves_the_pixels_of_white_written_at_once)
{
    std::mt19937 rng(5);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 30; ++round) {
        const int w = pick(1, 40), h = pick(1, 30);
        Bitmap held(w, h, 0x40), direct(w, h, 0x40);
        auto same = [&](int step) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (held.pixel(x, y) != direct.pixel(x, y)) {
                        ADD_FAILURE() << "round " << round << " step " << step << " at " << x
                                      << "," << y;
                        return;
                    }
        };
        {
            win::GdiCanvas a(held.dc()), b(direct.dc(), false);
            auto cache = a.create_preview_cache(pick(1, w), pick(1, h));
            ASSERT_NE(cache, nullptr);
            for (int step = 0; step < 14; ++step) {
                const Rect r{pick(-10, w), pick(-10, h), pick(-3, 2 * w), pick(-3, 2 * h)};
                switch (pick(0, 6)) {
                case 0:
                    a.fill_white(r);
                    b.fill_white(r);
                    break;
                case 1:
                    a.fill_white(Rect{0, 0, w, h});
                    b.fill_white(Rect{0, 0, w, h});
                    break;
                case 2: {
                    const int height = pick(4, 12), width = pick(2, 6);
                    a.select_font(height, width);
                    b.select_font(height, width);
                    a.text_out(r.left, r.top, "Wg", 2);
                    b.text_out(r.left, r.top, "Wg", 2);
                    break;
                }
                case 3:
                    a.draw_preview(*cache);
                    b.draw_preview(*cache);
                    break;
                default: { // a band, twice its size half of the time
                    const int bw = pick(1, 8), bh = pick(1, 8);
                    auto band = a.create_band_surface(bw, bh);
                    ASSERT_NE(band, nullptr);
                    for (int y = 0; y < bh; ++y)
                        for (int x = 0; x < 3 * bw; ++x)
                            band->row(y)[x] = static_cast<std::uint8_t>(rng());
                    const Rect dst = pick(0, 1) ? Rect{r.left, r.top, 2 * bw, 2 * bh} : r;
                    a.stretch_band(*band, dst);
                    b.stretch_band(*band, dst);
                    cache->stretch_band(*band, dst);
                    break;
                }
                }
                if (pick(0, 4) == 0) {
                    a.finish_page();
                    same(step);
                }
            }
            a.release_font();
            b.release_font();
        }
        same(-1); // the canvas wrote what it held when it went
    }
}

TEST(GdiCanvas, text_goes_in_the_selected_fixed_pitch_font)
{
    Bitmap page(200, 40, 0xFF);
    win::GdiCanvas canvas(page.dc());
    ASSERT_TRUE(canvas.select_font(13, 8));
    TEXTMETRICA tm{};
    GetTextMetricsA(page.dc(), &tm);
    EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "the flag's bit is clear for fixed";
    EXPECT_EQ(canvas.text_out(5, 5, "ABC", 3), 3 * tm.tmAveCharWidth);
    EXPECT_GT(page.count(5, 20, dark), 0);
    canvas.release_font();
    EXPECT_EQ(GetCurrentObject(page.dc(), OBJ_FONT), GetStockObject(SYSTEM_FONT));
}

} // namespace
} // namespace qm::test
