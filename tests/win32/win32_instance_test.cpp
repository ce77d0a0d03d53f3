// The session's one spooler: the running spooler's window brought forward from its minimised
// state. The claim itself is held to the instance port's contract (tests/contract).
#include <string>

#include "platform/instance_port.h"
#include "win32_fixture.h"

namespace qm::test {
namespace {

TEST(SessionInstance, the_window_of_the_class_is_restored_and_brought_to_the_front)
{
    const std::string class_name = unique_name("QMInstanceTest");
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = class_name.c_str();
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND other = CreateWindowExA(0, class_name.c_str(), "other", WS_OVERLAPPEDWINDOW, 10, 10, 300,
                                 200, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(other, nullptr);
    HWND mine = CreateWindowExA(0, "STATIC", "mine", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300,
                                200, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(other, SW_SHOWMINIMIZED);
    SetForegroundWindow(mine);
    ASSERT_TRUE(IsIconic(other));

    EXPECT_TRUE(bring_window_forward(class_name.c_str()));
    EXPECT_FALSE(IsIconic(other));
    EXPECT_TRUE(IsWindowVisible(other));
    EXPECT_EQ(GetForegroundWindow(), other);

    DestroyWindow(mine);
    DestroyWindow(other);
    UnregisterClassA(class_name.c_str(), wc.hInstance);
    EXPECT_FALSE(bring_window_forward(class_name.c_str()));
}

} // namespace
} // namespace qm::test
