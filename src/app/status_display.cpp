#include "app/status_display.h"

#include <cstdio>
#include <cstring>

#include "platform/draw_port.h"

namespace qm {

namespace {

constexpr std::uint32_t HeadingColour = rgb(0, 128, 128);
constexpr std::uint32_t ValueColour = rgb(0, 0, 0);
constexpr std::int32_t HeadingX = 10;
constexpr std::int32_t ValueX = 25;
constexpr std::int32_t StatusLineX = 35;
constexpr std::int32_t Gap = 10;

// Sets a style and gives its font's text height.
std::int32_t use_style(DrawContext dc, StockFont font, std::uint32_t colour)
{
    set_text_colour(dc, colour);
    select_stock_font(dc, font);
    return text_height(dc);
}

// Draws text held in a fixed buffer of `room` bytes, up to its terminator or the buffer's end.
void draw_field(DrawContext dc, std::int32_t x, std::int32_t y, const char* text,
                std::size_t room)
{
    draw_text(dc, x, y, text, strnlen(text, room));
}

void draw_line(DrawContext dc, std::int32_t x, std::int32_t y, const char* text)
{
    draw_text(dc, x, y, text, std::strlen(text));
}

} // namespace

int paint_status(const AppState& state, DrawContext dc)
{
    const MonitorState& monitor = state.Monitor;
    const Settings& settings = state.AppSettings;
    const DeviceCaps caps = device_caps(dc);
    fill_white(dc, 0, 0, caps.horzres, caps.vertres);

    // Headings and counts are composed in a line buffer; the paths and the table's fields are
    // drawn straight from their own bounded buffers, whole.
    char line[100];

    std::int32_t hh = use_style(dc, StockFont::SystemFixed, HeadingColour);
    const std::int32_t y1 = Gap;
    draw_line(dc, HeadingX, y1, "Palm Desktop Install Folder:");

    std::int32_t hg = use_style(dc, StockFont::DefaultGui, ValueColour);
    const std::int32_t y2 = y1 + hh + Gap;
    draw_field(dc, ValueX, y2, monitor.InstallFolder, sizeof monitor.InstallFolder);

    hh = use_style(dc, StockFont::SystemFixed, HeadingColour);
    const std::int32_t y3 = y2 + hg + Gap;
    draw_line(dc, HeadingX, y3, "Monitoring Users:");

    hg = use_style(dc, StockFont::DefaultGui, ValueColour);
    const std::int32_t users_top = y3 + hh + Gap;
    const int n = monitor.MonitoredUserCount;
    for (int k = 0; k < n; ++k) {
        const MonitoredUserSlot& slot = monitor.MonitoredUser[k];
        const std::int32_t u = users_top + 2 * hg * k;
        draw_field(dc, ValueX, u, slot.user_folder, sizeof slot.user_folder);
        draw_field(dc, StatusLineX, u + hg, slot.status_line, sizeof slot.status_line);
    }

    hh = use_style(dc, StockFont::SystemFixed, HeadingColour);
    const std::int32_t y4 = users_top + 2 * hg * n + Gap;
    draw_line(dc, HeadingX, y4, "Session Activity:");

    hg = use_style(dc, StockFont::DefaultGui, ValueColour);
    const std::int32_t y5 = y4 + hh + Gap;
    std::snprintf(line, sizeof line, "Jobs: %d", static_cast<int>(state.SessionCounters.jobs));
    draw_line(dc, ValueX, y5, line);
    const std::int32_t y6 = y5 + hg;
    std::snprintf(line, sizeof line, "Pages: %d", static_cast<int>(state.SessionCounters.pages));
    draw_line(dc, ValueX, y6, line);

    hh = use_style(dc, StockFont::SystemFixed, HeadingColour);
    const std::int32_t y7 = y6 + hg + Gap;
    draw_line(dc, HeadingX, y7, "Last Page Printed:");

    use_style(dc, StockFont::DefaultGui, ValueColour);
    const std::int32_t y8 = y7 + hh + Gap;
    if (settings.last_print_path[0] == '\0')
        draw_line(dc, ValueX, y8, "(None)");
    else
        draw_field(dc, ValueX, y8, settings.last_print_path, sizeof settings.last_print_path);
    return 0;
}

} // namespace qm
