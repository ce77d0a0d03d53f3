// Common ground of the Windows program's logic tests: a fresh simulated machine and a fresh
// program state for every test, and real folder trees in the temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/settings_store.h"
#include "monitor/monitor_state.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_print.h"
#include "platform/ui_port.h"
#include "render/render_page.h"

namespace qm::test {

inline const KeyPath SettingsKeyPath{{"Software", "Brackwater Software", "Quillmark", "v2.0"}};
inline const KeyPath RoboticsKey{{"Software", "U.S. Robotics", "Pilot Desktop", "Core"}};
inline const KeyPath ThreeComKey{{"Software", "3Com", "Palm Desktop", "Core"}};

inline std::vector<std::uint8_t> le32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
            static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
}

inline std::vector<std::uint8_t> text_value(const std::string& text)
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A folder tree under the temporary folder, removed with everything in it at the end.
class TempTree {
public:
    TempTree()
    {
        static int serial = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = std::filesystem::temp_directory_path() /
                ("qm-tree-" + std::to_string(stamp) + "-" + std::to_string(serial++));
        std::filesystem::create_directories(root_);
    }
    ~TempTree()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    std::string root() const { return root_.string(); }
    std::string path(const std::string& relative) const { return (root_ / relative).string(); }
    void folder(const std::string& relative) const
    {
        std::filesystem::create_directories(root_ / relative);
    }
    void file(const std::string& relative, const std::string& content = "x") const
    {
        std::filesystem::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative, std::ios::binary) << content;
    }
    bool exists(const std::string& relative) const
    {
        return std::filesystem::exists(root_ / relative);
    }

private:
    std::filesystem::path root_;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override { reset_all(); }
    void TearDown() override { reset_all(); }

    static void reset_all()
    {
        program_state() = AppState{};
        sim::reset();
    }

    // The program's state, which the window procedure reaches, by the names of its parts.
    AppState& State = program_state();
    Settings& AppSettings = State.AppSettings;
    Counters& SessionCounters = State.SessionCounters;
    bool& TickBusy = State.TickBusy;
    RenderState& Render = State.Render;
    MonitorState& Monitor = State.Monitor;
    AppShell& App = State.App;

    // The main window and cursors as start-up makes them, without the rest of start-up: the
    // window 617 wide (a page inch is (617 + 1) / 8 = 77 pixels in it), messages to the real
    // window procedure, the default printer used without asking.
    void open_main_window()
    {
        register_window_class(nullptr, {"QMSpoolClass", 102, 101, main_window_procedure});
        App.MainWindow = create_main_window(
            nullptr, {"QMSpoolClass", "Quillmark PC Print Spooler", 618, 825, false});
        move_window(App.MainWindow, 0, 0, 617, 800, false);
        App.BusyCursor = load_system_cursor(SystemCursor::Wait);
        App.NormalCursor = load_system_cursor(SystemCursor::Arrow);
        AppSettings.show_dialog = 0;
    }

    // A tick of the main window's timer, as the window gets it.
    void tick() { main_window_procedure(App.MainWindow, MessageTimer, 1, 0); }

    // Points the Palm Desktop registry value at a folder.
    static void set_install_folder(const std::string& folder, const KeyPath& key = RoboticsKey)
    {
        sim::store_value(key, "Path", text_value(folder), sim::ValueType::Text);
    }
};

// The program's window and a 100 dpi default printer, "Virtual", for the tests of jobs.
class JobTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        sim::add_printer("Virtual", DeviceCaps{850, 1100, 100, 100, -1, 0, 0});
        sim::set_default_printer("Virtual");
        open_main_window();
    }
};

} // namespace qm::test
