#include <cstdio>
#include <string>

#include "app/status_display.h"
#include "app_fixture.h"
#include "platform/draw_port.h"
#include "platform/ui_port.h"

namespace qm::test {
namespace {

constexpr std::uint32_t Teal = 0x808000;

struct Line {
    std::int32_t x;
    std::int32_t y;
    std::string text;
    bool heading;

    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& l, std::ostream* os)
{
    *os << "(" << l.x << ", " << l.y << ", \"" << l.text << "\""
        << (l.heading ? ", heading)" : ")");
}

class StatusDisplay : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        // A window to draw on: its device context records every line.
        const WindowClassSpec desc{"C", 102, 101, nullptr};
        register_window_class(nullptr, desc);
        window_ = create_main_window(nullptr, MainWindowSpec{"C", "t", 300, 300, false});
        sim::set_font_height(StockFont::SystemFixed, 16); // Hh
        sim::set_font_height(StockFont::DefaultGui, 13);  // Hg
    }

    std::vector<Line> paint()
    {
        WindowDc dc(window_);
        sim::clear_drawing();
        EXPECT_EQ(paint_status(State, dc.get()), 0);
        std::vector<Line> lines;
        for (const sim::TextDrawn& t : sim::text_drawn()) {
            const bool heading = t.font == StockFont::SystemFixed;
            // Each style keeps its own font and colour together.
            EXPECT_EQ(t.colour, heading ? Teal : 0u) << t.text;
            lines.push_back(Line{t.x, t.y, t.text, heading});
        }
        return lines;
    }

    void add_user(const char* user, const char* status)
    {
        MonitoredUserSlot& slot = Monitor.MonitoredUser[Monitor.MonitoredUserCount++];
        std::snprintf(slot.user_folder, sizeof slot.user_folder, "%s", user);
        std::snprintf(slot.status_line, sizeof slot.status_line, "%s", status);
    }

    Window window_ = nullptr;
};

TEST_F(StatusDisplay, lays_out_the_four_blocks_from_the_two_text_heights)
{
    std::snprintf(Monitor.InstallFolder, sizeof Monitor.InstallFolder, "C:\\Palm");
    add_user("Jane", "C:\\Palm\\Jane\\backup");
    add_user("Joe", "Monitor Fail: C:\\Palm\\Joe\\backup");
    SessionCounters.jobs = 2;
    SessionCounters.pages = -3;
    std::snprintf(AppSettings.last_print_path, sizeof AppSettings.last_print_path, "C:\\j.pdb");

    // y1 10; y2 = 10+16+10 = 36; y3 = 36+13+10 = 59; users from 59+16+10 = 85, 26 apart;
    // y4 = 85 + 2*13*2 + 10 = 147; y5 = 173; y6 = 186; y7 = 209; y8 = 235.
    const std::vector<Line> expected = {
        {10, 10, "Palm Desktop Install Folder:", true},
        {25, 36, "C:\\Palm", false},
        {10, 59, "Monitoring Users:", true},
        {25, 85, "Jane", false},
        {35, 98, "C:\\Palm\\Jane\\backup", false},
        {25, 111, "Joe", false},
        {35, 124, "Monitor Fail: C:\\Palm\\Joe\\backup", false},
        {10, 147, "Session Activity:", true},
        {25, 173, "Jobs: 2", false},
        {25, 186, "Pages: -3", false},
        {10, 209, "Last Page Printed:", true},
        {25, 235, "C:\\j.pdb", false},
    };
    EXPECT_EQ(paint(), expected);
    // The value style is left selected.
    EXPECT_EQ(sim::selected_font(), StockFont::DefaultGui);
    EXPECT_EQ(sim::selected_colour(), 0u);
}

TEST_F(StatusDisplay, clears_the_whole_device_area_first)
{
    sim::set_screen_size(1600, 1200);
    sim::clear_calls();
    paint();
    const auto fills = sim::calls_starting_with({"fill_white", "select_font"});
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills.front(), "fill_white 0 0 1600 1200");
}

TEST_F(StatusDisplay, start_up_state_keeps_the_layout_of_empty_lines)
{
    sim::set_font_height(StockFont::SystemFixed, 20);
    sim::set_font_height(StockFont::DefaultGui, 8);
    // No install folder yet: its line is empty but keeps its height. No users: the session
    // block follows the users' heading at Hh + 20.
    const std::vector<Line> expected = {
        {10, 10, "Palm Desktop Install Folder:", true},
        {25, 40, "", false},
        {10, 58, "Monitoring Users:", true},
        {10, 98, "Session Activity:", true},
        {25, 128, "Jobs: 0", false},
        {25, 136, "Pages: 0", false},
        {10, 154, "Last Page Printed:", true},
        {25, 184, "(None)", false},
    };
    EXPECT_EQ(paint(), expected);
}

TEST_F(StatusDisplay, fifty_users_and_longest_paths_are_drawn_whole)
{
    const std::string longest(PathBufferSize - 1, 'i');
    std::snprintf(Monitor.InstallFolder, sizeof Monitor.InstallFolder, "%s", longest.c_str());
    std::snprintf(AppSettings.last_print_path, sizeof AppSettings.last_print_path, "%s",
                  longest.c_str());
    const std::string long_status(199, 's');
    for (int k = 0; k < MaxMonitoredUsers; ++k)
        add_user(std::string(49, static_cast<char>('A' + k % 26)).c_str(), long_status.c_str());

    const std::vector<Line> lines = paint();
    ASSERT_EQ(lines.size(), 8u + 100u);
    EXPECT_EQ(lines[1].text, longest);
    EXPECT_EQ(lines[3 + 98].y, 85 + 2 * 13 * 49);
    EXPECT_EQ(lines[3 + 99].text, long_status);
    EXPECT_EQ(lines[3 + 100].text, "Session Activity:");
    EXPECT_EQ(lines[3 + 100].y, 85 + 2 * 13 * 50 + 10);
    EXPECT_EQ(lines.back().text, longest);
}

} // namespace
} // namespace qm::test
