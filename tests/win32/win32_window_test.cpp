// The menu and icon resources and the main window through the window layer. The test program
// carries the program's own resource script.
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/menu_ids.h"
#include "platform/ui_port.h"
#include "win32_fixture.h"

namespace qm::test {
namespace {

struct Item {
    std::string text; // empty for a separator
    UINT id;
    bool checked;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& i, std::ostream* os)
{
    *os << "{\"" << i.text << "\", " << i.id << (i.checked ? ", checked}" : "}");
}

std::vector<Item> items_of(HMENU menu)
{
    std::vector<Item> items;
    const int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        char text[128] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        items.push_back(Item{separator ? "" : text, separator ? 0u : info.wID,
                             (info.fState & MFS_CHECKED) != 0});
    }
    return items;
}

HINSTANCE module()
{
    return GetModuleHandleA(nullptr);
}

TEST(Resources, menu_101_has_the_three_drop_downs_item_for_item)
{
    HMENU bar = LoadMenuA(module(), MAKEINTRESOURCEA(101));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    char name[32];
    const char* const names[3] = {"&Print", "&Options", "&Help"};
    for (int i = 0; i < 3; ++i) {
        GetMenuStringA(bar, static_cast<UINT>(i), name, sizeof name, MF_BYPOSITION);
        EXPECT_STREQ(name, names[i]);
    }
    EXPECT_EQ(items_of(GetSubMenu(bar, 0)),
              (std::vector<Item>{{"&Display status", 40006, false},
                                 {"", 0, false},
                                 {"Scan for \"&missed\" jobs", 40011, false},
                                 {"&Reprint last job", 40007, false},
                                 {"&Save last job as BMP (graphic jobs only)...", 40012, false},
                                 {"", 0, false},
                                 {"E&xit", 40001, false}}));
    EXPECT_EQ(items_of(GetSubMenu(bar, 1)),
              (std::vector<Item>{{"Open program minimized", 40009, true},
                                 {"", 0, false},
                                 {"Pause for confirmation between pages", 40010, true},
                                 {"Use &default printer", 40003, true},
                                 {"Print to screen only", 40005, true},
                                 {"", 0, false}}));
    EXPECT_EQ(items_of(GetSubMenu(bar, 2)),
              (std::vector<Item>{{"&About Quillmark Spooler...", 40002, false}}));
    DestroyMenu(bar);
}

TEST(Resources, icon_102_has_a_16_and_a_256_colour_image)
{
    HICON icon = LoadIconA(module(), MAKEINTRESOURCEA(102));
    EXPECT_NE(icon, nullptr);
    HRSRC group = FindResourceA(module(), MAKEINTRESOURCEA(102), MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const std::uint8_t*>(LockResource(LoadResource(module(), group)));
    ASSERT_NE(dir, nullptr);
    ASSERT_EQ(dir[4], 2); // image count
    // Each 14-byte entry: width, height, colour count, reserved, planes, bit count, ...
    EXPECT_EQ(dir[6], 32);
    EXPECT_EQ(dir[7], 32);
    EXPECT_EQ(dir[6 + 6], 4);
    EXPECT_EQ(dir[20], 32);
    EXPECT_EQ(dir[20 + 6], 8);
}

std::intptr_t plain_procedure(Window window, std::uint32_t message, std::uintptr_t wparam,
                              std::intptr_t lparam)
{
    return default_window_procedure(window, message, wparam, lparam);
}

TEST(MainWindow, class_brings_the_menu_and_the_window_takes_its_geometry)
{
    const std::string class_name = unique_name("QMSpoolTestClass");
    const WindowClassSpec desc{class_name.c_str(), IconMain, MenuMain, plain_procedure};
    Instance instance = reinterpret_cast<Instance>(module());
    ASSERT_EQ(register_window_class(instance, desc), 0);
    EXPECT_EQ(register_window_class(instance, desc), -1); // already registered

    Window w = create_main_window(
        instance, MainWindowSpec{class_name.c_str(), MainWindowTitle, 340, 440, true});
    ASSERT_NE(w, nullptr);
    HWND h = reinterpret_cast<HWND>(w);
    char title[64] = {};
    GetWindowTextA(h, title, sizeof title);
    EXPECT_STREQ(title, "Quillmark PC Print Spooler");
    EXPECT_TRUE(is_minimized(w));
    EXPECT_EQ(GetWindowLongA(h, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);

    show_window(w, ShowNormal);
    move_window(w, 25, 25, 618, 825, true);
    const ScreenRect r = window_rect(w);
    EXPECT_EQ(r.left, 25);
    EXPECT_EQ(r.top, 25);
    EXPECT_EQ(r.right, 643);
    EXPECT_EQ(r.bottom, 850);
    EXPECT_FALSE(is_minimized(w));

    // Minimised, the window is parked elsewhere; its restored rectangle stays what it was.
    show_window(w, ShowMinimize);
    EXPECT_TRUE(is_minimized(w));
    const ScreenRect restored = restored_window_rect(w);
    EXPECT_EQ(restored.left, 25);
    EXPECT_EQ(restored.top, 25);
    EXPECT_EQ(restored.right, 643);
    EXPECT_EQ(restored.bottom, 850);
    show_window(w, ShowNormal);

    Menu menu = window_menu(w);
    ASSERT_NE(menu, nullptr);
    check_menu_item(menu, MenuPausePages, false);
    check_menu_item(menu, MenuUseDefaultPrinter, true);
    HMENU hmenu = reinterpret_cast<HMENU>(menu);
    EXPECT_EQ(GetMenuState(hmenu, 40010, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuState(hmenu, 40003, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));

    EXPECT_EQ(start_timer(w, 1, 5000), 0);
    set_window_title(w, "Printing...");
    GetWindowTextA(h, title, sizeof title);
    EXPECT_STREQ(title, "Printing...");
    DestroyWindow(h);
    UnregisterClassA(class_name.c_str(), module());
}

} // namespace
} // namespace qm::test
