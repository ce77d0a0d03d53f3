// The window layer on Win32 USER.
#include <windows.h>

#include "platform/common/notice_texts.h"
#include "platform/ui_port.h"

namespace qm {

static_assert(MessageDestroy == WM_DESTROY && MessageMove == WM_MOVE && MessageSize == WM_SIZE &&
              MessagePaint == WM_PAINT && MessageInitDialog == WM_INITDIALOG &&
              MessageCommand == WM_COMMAND && MessageTimer == WM_TIMER &&
              MessageVScroll == WM_VSCROLL && MessageLButtonDown == WM_LBUTTONDOWN);
static_assert(ShowNormal == SW_SHOWNORMAL && ShowMinimize == SW_MINIMIZE);
static_assert(AnswerOk == IDOK);

namespace {

HWND hwnd(Window w)
{
    return reinterpret_cast<HWND>(w);
}

Window window_of(HWND h)
{
    return reinterpret_cast<Window>(h);
}

// The system cursors by number (the IDC_ names are the character-set-neutral macros).
constexpr WORD ArrowCursorId = 32512;
constexpr WORD WaitCursorId = 32514;

// The program's window procedure, reached through the one the class registers.
WindowProcedure Procedure = nullptr;

LRESULT CALLBACK class_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (!Procedure)
        return DefWindowProcA(window, message, wparam, lparam);
    return Procedure(window_of(window), message, wparam, lparam);
}

} // namespace

const char* process_command_line()
{
    return GetCommandLineA();
}

Cursor load_system_cursor(SystemCursor which)
{
    const WORD id = which == SystemCursor::Wait ? WaitCursorId : ArrowCursorId;
    return reinterpret_cast<Cursor>(LoadCursorA(nullptr, MAKEINTRESOURCEA(id)));
}

void set_cursor(Cursor cursor)
{
    SetCursor(reinterpret_cast<HCURSOR>(cursor));
}

int register_window_class(Instance instance, const WindowClassSpec& desc)
{
    HINSTANCE module = reinterpret_cast<HINSTANCE>(instance);
    Procedure = desc.procedure;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = class_procedure;
    wc.hInstance = module;
    wc.hIcon = LoadIconA(module, MAKEINTRESOURCEA(desc.icon_resource));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(ArrowCursorId));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(desc.menu_resource);
    wc.lpszClassName = desc.class_name;
    return RegisterClassExA(&wc) != 0 ? 0 : -1;
}

Window create_main_window(Instance instance, const MainWindowSpec& desc)
{
    const DWORD style = WS_OVERLAPPEDWINDOW | (desc.minimized ? WS_MINIMIZE : 0);
    return window_of(CreateWindowExA(0, desc.class_name, desc.title, style, CW_USEDEFAULT,
                                     CW_USEDEFAULT, desc.width, desc.height, nullptr, nullptr,
                                     reinterpret_cast<HINSTANCE>(instance), nullptr));
}

void show_window(Window window, int show_command)
{
    ShowWindow(hwnd(window), show_command);
}

void move_window(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                 std::int32_t height, bool repaint)
{
    MoveWindow(hwnd(window), x, y, width, height, repaint ? TRUE : FALSE);
}

void update_window(Window window)
{
    UpdateWindow(hwnd(window));
}

void invalidate_window(Window window, const ScreenRect& area, bool erase)
{
    const RECT r{area.left, area.top, area.right, area.bottom};
    InvalidateRect(hwnd(window), &r, erase ? TRUE : FALSE);
}

ScreenRect window_rect(Window window)
{
    RECT r{};
    if (!GetWindowRect(hwnd(window), &r))
        return ScreenRect{};
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

ScreenRect restored_window_rect(Window window)
{
    HWND h = hwnd(window);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(h, &placement))
        return window_rect(window);
    // The restored rectangle is kept in workspace coordinates: relative to the work area of the
    // window's monitor, which a taskbar at the top or left moves away from the screen's corner.
    RECT r = placement.rcNormalPosition;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(h, MONITOR_DEFAULTTOPRIMARY), &monitor))
        OffsetRect(&r, monitor.rcWork.left - monitor.rcMonitor.left,
                   monitor.rcWork.top - monitor.rcMonitor.top);
    return ScreenRect{r.left, r.top, r.right, r.bottom};
}

bool is_minimized(Window window)
{
    return IsIconic(hwnd(window)) != 0;
}

void set_window_title(Window window, const char* title)
{
    SetWindowTextA(hwnd(window), title);
}

void enable_window(Window window, bool enabled)
{
    EnableWindow(hwnd(window), enabled ? TRUE : FALSE);
}

void bring_window_to_top(Window window)
{
    BringWindowToTop(hwnd(window));
}

int start_timer(Window window, unsigned id, unsigned period_ms)
{
    return SetTimer(hwnd(window), id, period_ms, nullptr) != 0 ? 0 : -1;
}

Menu window_menu(Window window)
{
    return reinterpret_cast<Menu>(GetMenu(hwnd(window)));
}

void check_menu_item(Menu menu, int command_id, bool checked)
{
    CheckMenuItem(reinterpret_cast<HMENU>(menu), static_cast<UINT>(command_id),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

int message_box(const char* text, const char* caption)
{
    return MessageBoxA(nullptr, text, caption, MB_OK);
}

void show_notice(const Notice& notice)
{
    backend::show_notice_box(notice);
}

void post_quit(int code)
{
    PostQuitMessage(code);
}

int run_message_loop()
{
    MSG msg{};
    // GetMessageA gives -1 on an error; that ends the loop as the quit message does.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

std::intptr_t default_window_procedure(Window window, std::uint32_t message, std::uintptr_t wparam,
                                       std::intptr_t lparam)
{
    return DefWindowProcA(hwnd(window), message, wparam, lparam);
}

void sleep_ms(std::uint32_t ms)
{
    Sleep(ms);
}

} // namespace qm
