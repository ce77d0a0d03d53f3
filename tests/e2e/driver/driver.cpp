// The end-to-end tests' hands on the running spooler: a small Win32 console program, run under
// the same Wine prefix as QMSpooler.exe, that finds the main window by its class, reads its title,
// rectangle and state, posts menu commands, and reads and answers message boxes.
//
// Every command prints what it found on stdout, one fact per line, and tells the outcome by its
// exit code: 0 done, 1 not found (or not within the time given), 2 bad usage. The tests parse the
// output, so its format is part of the interface: keep it stable.
#include <windows.h>

#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qm::driver {
namespace {

constexpr int ExitDone = 0;
constexpr int ExitNotFound = 1;
constexpr int ExitUsage = 2;

constexpr const char* MainClass = "QMSpoolClass";
constexpr const char* BoxClass = "#32770"; // the dialog class; message boxes are dialogs
constexpr int BoxTextItem = 0xFFFF;        // a message box's text is its static item 0xFFFF
constexpr DWORD PollMs = 100;

// Text on one line: a line break becomes the two characters "\n" and a backslash "\\", so that a
// message box's text is one line of output however many lines it has on screen.
void print_line(const char* label, const char* text)
{
    std::printf("%s: ", label);
    for (const char* p = text; *p; ++p) {
        if (*p == '\r')
            continue;
        if (*p == '\n')
            std::fputs("\\n", stdout);
        else if (*p == '\\')
            std::fputs("\\\\", stdout);
        else
            std::fputc(*p, stdout);
    }
    std::fputc('\n', stdout);
}

bool parse_int(const char* s, long& out)
{
    if (!s || !*s)
        return false;
    char* end = nullptr;
    const long v = std::strtol(s, &end, 0);
    if (*end)
        return false;
    out = v;
    return true;
}

bool class_is(HWND w, const char* name)
{
    char cls[64] = {};
    return GetClassNameA(w, cls, sizeof cls) > 0 && std::strcmp(cls, name) == 0;
}

// The first visible top-level dialog: the message box of the program under test. The harness runs
// one program at a time in its prefix, so any box on the desktop is that program's.
// Window enumeration callbacks are named functions, not lambdas: on 32-bit Windows a callback
// must be __stdcall, which a lambda's conversion to a function pointer does not give.
BOOL CALLBACK find_visible_box(HWND w, LPARAM found)
{
    if (IsWindowVisible(w) && class_is(w, BoxClass)) {
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    return TRUE;
}

HWND find_box()
{
    HWND found = nullptr;
    EnumWindows(find_visible_box, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND find_main(const char* cls)
{
    return FindWindowA(cls, nullptr);
}

// Polls `find` until it yields a window or `seconds` have passed; a zero wait looks once.
// Milliseconds since `start` (GetTickCount, which XP has; the difference is right across its
// wrap after 49 days).
DWORD elapsed_ms(DWORD start)
{
    return GetTickCount() - start;
}

DWORD seconds_ms(long seconds)
{
    return static_cast<DWORD>(std::clamp<long>(seconds, 0, 86400)) * 1000;
}

template <typename Find> HWND wait_for(Find find, long seconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = find())
            return w;
        if (elapsed_ms(start) >= seconds_ms(seconds))
            return nullptr;
        Sleep(PollMs);
    }
}

template <typename Find> bool wait_gone(Find find, long seconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (!find())
            return true;
        if (elapsed_ms(start) >= seconds_ms(seconds))
            return false;
        Sleep(PollMs);
    }
}

void print_window(HWND w)
{
    char title[512] = {};
    GetWindowTextA(w, title, sizeof title);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    std::printf("window: %#llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(w)));
    std::printf("pid: %lu\n", static_cast<unsigned long>(pid));
    print_line("title", title);
}

int cmd_wait_window(const char* cls, long seconds)
{
    HWND w = wait_for([cls] { return find_main(cls); }, seconds);
    if (!w) {
        std::printf("no window of class %s\n", cls);
        return ExitNotFound;
    }
    print_window(w);
    return ExitDone;
}

int cmd_wait_gone(const char* cls, long seconds)
{
    if (!wait_gone([cls] { return find_main(cls); }, seconds)) {
        std::printf("window of class %s still there\n", cls);
        return ExitNotFound;
    }
    return ExitDone;
}

int cmd_title(const char* cls)
{
    HWND w = find_main(cls);
    if (!w)
        return ExitNotFound;
    char title[512] = {};
    GetWindowTextA(w, title, sizeof title);
    std::printf("%s\n", title);
    return ExitDone;
}

int cmd_rect(const char* cls)
{
    HWND w = find_main(cls);
    RECT r{};
    if (!w || !GetWindowRect(w, &r))
        return ExitNotFound;
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return ExitDone;
}

int cmd_state(const char* cls)
{
    HWND w = find_main(cls);
    if (!w)
        return ExitNotFound;
    std::printf("visible: %d\n", IsWindowVisible(w) ? 1 : 0);
    std::printf("minimized: %d\n", IsIconic(w) ? 1 : 0);
    std::printf("enabled: %d\n", IsWindowEnabled(w) ? 1 : 0);
    std::printf("foreground: %d\n", GetForegroundWindow() == w ? 1 : 0);
    return ExitDone;
}

// What the main window's process holds: its kernel handles, its private memory and working set,
// and (where the platform counts them; Wine does not) its GDI and USER objects.
int cmd_resources(const char* cls)
{
    HWND w = find_main(cls);
    if (!w)
        return ExitNotFound;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return ExitNotFound;
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    std::printf("pid: %lu\n", static_cast<unsigned long>(pid));
    std::printf("handles: %lu\n", static_cast<unsigned long>(handles));
    std::printf("private_bytes: %llu\n", static_cast<unsigned long long>(memory.PrivateUsage));
    std::printf("working_set: %llu\n", static_cast<unsigned long long>(memory.WorkingSetSize));
    std::printf("gdi_objects: %lu\n", static_cast<unsigned long>(GetGuiResources(process, 0)));
    std::printf("user_objects: %lu\n", static_cast<unsigned long>(GetGuiResources(process, 1)));
    CloseHandle(process);
    return ExitDone;
}

int cmd_post(const char* cls, UINT msg, WPARAM wp)
{
    HWND w = find_main(cls);
    if (!w) {
        std::printf("no window of class %s\n", cls);
        return ExitNotFound;
    }
    return PostMessageA(w, msg, wp, 0) ? ExitDone : ExitNotFound;
}

// Moves and sizes the main window the way a user's drag would, for tests of the stored geometry.
int cmd_move(const char* cls, long x, long y, long w, long h)
{
    HWND wnd = find_main(cls);
    if (!wnd)
        return ExitNotFound;
    if (!SetWindowPos(wnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE))
        return ExitNotFound;
    return ExitDone;
}

int cmd_wait_box(long seconds)
{
    HWND box = wait_for(find_box, seconds);
    if (!box) {
        std::printf("no message box\n");
        return ExitNotFound;
    }
    char caption[512] = {};
    char text[2048] = {};
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, BoxTextItem, text, sizeof text);
    print_line("caption", caption);
    print_line("text", text);
    return ExitDone;
}

// Posts a button's command to the box (or dialog), the way a click on it ends it, then waits for
// the box to go so that the caller's next look at the screen does not find it again. OK and Cancel
// have the same ids in message boxes and in the print dialog.
int cmd_press(int button, long seconds)
{
    HWND box = wait_for(find_box, seconds);
    if (!box) {
        std::printf("no message box\n");
        return ExitNotFound;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    if (!wait_gone([box] { return IsWindow(box) ? box : nullptr; }, seconds)) {
        std::printf("message box did not close\n");
        return ExitNotFound;
    }
    return ExitDone;
}

// A visible top-level dialog with this exact title (a common dialog, say).
HWND find_dialog(const char* title)
{
    HWND w = FindWindowA(BoxClass, title);
    return w && IsWindowVisible(w) ? w : nullptr;
}

// The file name field of a file dialog: the edit control of the dialog's own template (edt1),
// else the edit inside its file name combo box (cmb13), else its first visible edit control.
BOOL CALLBACK find_visible_edit(HWND w, LPARAM found)
{
    if (IsWindowVisible(w) && class_is(w, "Edit")) {
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    return TRUE;
}

HWND file_name_field(HWND dialog)
{
    if (HWND e = GetDlgItem(dialog, 0x480))
        return e;
    if (HWND combo = GetDlgItem(dialog, 0x47C))
        if (HWND e = FindWindowExA(combo, nullptr, "Edit", nullptr))
            return e;
    HWND found = nullptr;
    EnumChildWindows(dialog, find_visible_edit, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits for the file dialog titled `title` and prints the name its field holds; with `name`,
// types that name in instead and confirms, as a user does, then waits for the dialog to go.
int cmd_file_dialog(const char* title, const char* name, long seconds)
{
    HWND dialog = wait_for([title] { return find_dialog(title); }, seconds);
    if (!dialog) {
        std::printf("no dialog\n");
        return ExitNotFound;
    }
    HWND field = file_name_field(dialog);
    if (!field) {
        std::printf("no file name field\n");
        return ExitNotFound;
    }
    char text[1024] = {};
    SendMessageA(field, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    print_line("name", text);
    if (!name)
        return ExitDone;
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!wait_gone([dialog] { return IsWindow(dialog) ? dialog : nullptr; }, seconds)) {
        std::printf("dialog did not close\n");
        return ExitNotFound;
    }
    return ExitDone;
}

// A window of the spooler's class that ignores WM_CLOSE, kept for `seconds`: a spooler that will
// not close (one busy with a printer, say), for the installer's tests.
LRESULT CALLBACK held_window_proc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    return msg == WM_CLOSE ? 0 : DefWindowProcA(w, msg, wp, lp);
}

int cmd_hold_window(long seconds)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = held_window_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = MainClass;
    HWND w = RegisterClassA(&wc) ? CreateWindowA(MainClass, "held", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                                 100, nullptr, nullptr, wc.hInstance, nullptr)
                                 : nullptr;
    if (!w) {
        std::printf("no window\n");
        return ExitNotFound;
    }
    ShowWindow(w, SW_SHOWNOACTIVATE);
    const DWORD start = GetTickCount();
    for (DWORD now = 0; now < seconds_ms(seconds); now = elapsed_ms(start)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  std::min<DWORD>(seconds_ms(seconds) - now, PollMs),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    DestroyWindow(w);
    return ExitDone;
}

// The default printer as a program sees it: its name and the device capabilities that place a
// page on it, read from a device context made the way the spooler makes one.
int cmd_printer()
{
    char name[512] = {};
    DWORD size = sizeof name;
    if (!GetDefaultPrinterA(name, &size)) {
        std::printf("no default printer\n");
        return ExitNotFound;
    }
    print_line("name", name);
    HDC dc = CreateDCA(nullptr, name, nullptr, nullptr);
    if (!dc) {
        std::printf("no device context\n");
        return ExitNotFound;
    }
    const struct {
        const char* label;
        int index;
    } caps[] = {{"horzres", HORZRES},
                {"vertres", VERTRES},
                {"logpixelsx", LOGPIXELSX},
                {"logpixelsy", LOGPIXELSY},
                {"physicaloffsetx", PHYSICALOFFSETX},
                {"physicaloffsety", PHYSICALOFFSETY},
                {"physicalwidth", PHYSICALWIDTH},
                {"physicalheight", PHYSICALHEIGHT},
                {"numcolors", NUMCOLORS}};
    for (const auto& c : caps)
        std::printf("%s: %d\n", c.label, GetDeviceCaps(dc, c.index));
    DeleteDC(dc);
    return ExitDone;
}

// Every top-level window with its class, visibility and title: for the test log when a scenario
// does not find what it expects.
BOOL CALLBACK print_listed_window(HWND w, LPARAM)
{
    char cls[128] = {};
    char title[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    std::printf("%#llx pid=%lu visible=%d class=%s title=%s\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(w)),
                static_cast<unsigned long>(pid), IsWindowVisible(w) ? 1 : 0, cls, title);
    return TRUE;
}

int cmd_list()
{
    EnumWindows(print_listed_window, 0);
    return ExitDone;
}

// A wizard's page: the visible dialog whose visible controls (at any depth: a page is a dialog
// inside the wizard's) include one whose text holds `needle`.
// A control's text, asked of the control itself: GetWindowText does not ask a window of another
// process, and the setup's pages are.
bool control_text(HWND w, char* text, int size)
{
    DWORD_PTR got = 0;
    return SendMessageTimeoutA(w, WM_GETTEXT, static_cast<WPARAM>(size),
                               reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &got) &&
           got > 0;
}

struct PageSearch {
    const char* needle;
    bool found = false;
};

BOOL CALLBACK find_needle(HWND w, LPARAM lp)
{
    auto* s = static_cast<PageSearch*>(reinterpret_cast<void*>(lp));
    char text[2048] = {};
    if (IsWindowVisible(w) && control_text(w, text, sizeof text) &&
        std::strstr(text, s->needle)) {
        s->found = true;
        return FALSE;
    }
    return TRUE;
}

HWND find_page(const char* needle)
{
    HWND box = find_box();
    if (!box)
        return nullptr;
    PageSearch search{needle};
    EnumChildWindows(box, find_needle, reinterpret_cast<LPARAM>(&search));
    return search.found ? box : nullptr;
}

BOOL CALLBACK print_visible_control(HWND w, LPARAM)
{
    char text[2048] = {};
    if (IsWindowVisible(w) && control_text(w, text, sizeof text))
        print_line("item", text);
    return TRUE;
}

// Waits for a wizard page showing `needle`, then prints the text of each of its visible controls,
// one "item" line each, so that a test sees what the page offers and what it hides.
int cmd_page(const char* needle, long seconds)
{
    HWND box = wait_for([needle] { return find_page(needle); }, seconds);
    if (!box) {
        std::printf("no page\n");
        return ExitNotFound;
    }
    EnumChildWindows(box, print_visible_control, 0);
    return ExitDone;
}

// Presses the wizard's default button (Next, Install, Finish: IDOK) once a dialog is showing; the
// wizard stays, so this does not wait for it to go.
int cmd_next(long seconds)
{
    HWND box = wait_for(find_box, seconds);
    if (!box) {
        std::printf("no dialog\n");
        return ExitNotFound;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return ExitDone;
}

int usage()
{
    std::fputs(
        "usage: driver COMMAND [ARGS]\n"
        "  wait-window [CLASS] SECONDS  wait for the main window; print window, pid, title\n"
        "  wait-gone [CLASS] SECONDS    wait until no main window is left\n"
        "  title [CLASS]                print the main window's title\n"
        "  rect [CLASS]                 print the main window's x y width height\n"
        "  state [CLASS]                print visible, minimized, enabled, foreground (0 or 1)\n"
        "  command ID [CLASS]           post WM_COMMAND with the menu id ID\n"
        "  close [CLASS]                post WM_CLOSE\n"
        "  move X Y W H [CLASS]         move and size the main window\n"
        "  wait-box SECONDS             wait for a message box; print caption and text\n"
        "  press-ok [SECONDS]           press OK on the message box (or dialog)\n"
        "  press-cancel [SECONDS]       press Cancel on the dialog\n"
        "  file-name TITLE SECONDS      wait for the file dialog TITLE; print its file name\n"
        "  save-as TITLE NAME SECONDS   type NAME into the file dialog TITLE and confirm\n"
        "  resources [CLASS]            print the main window's process's handles and memory\n"
        "  hold-window SECONDS          show a window of the spooler's class that will not close\n"
        "  printer                      print the default printer's name and capabilities\n"
        "  list                         print every top-level window\n"
        "  page TEXT SECONDS            wait for a dialog page showing TEXT; print its controls\n"
        "  next SECONDS                 press the dialog's default button (a wizard's Next)\n"
        "CLASS defaults to QMSpoolClass. Exit code 0 done, 1 not found, 2 bad usage.\n",
        stderr);
    return ExitUsage;
}

// Commands whose optional first argument is a window class and whose last one a number of seconds.
bool class_and_seconds(int argc, char** argv, const char*& cls, long& seconds)
{
    if (argc == 3)
        return parse_int(argv[2], seconds);
    if (argc == 4) {
        cls = argv[2];
        return parse_int(argv[3], seconds);
    }
    return false;
}

bool is(const char* cmd, const char* name)
{
    return std::strcmp(cmd, name) == 0;
}

int run(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const char* cmd = argv[1];
    const char* cls = MainClass;
    long n = 0;

    if (is(cmd, "wait-window") || is(cmd, "wait-gone")) {
        if (!class_and_seconds(argc, argv, cls, n))
            return usage();
        return is(cmd, "wait-window") ? cmd_wait_window(cls, n) : cmd_wait_gone(cls, n);
    }
    if (is(cmd, "title") || is(cmd, "rect") || is(cmd, "state") || is(cmd, "close") ||
        is(cmd, "resources")) {
        if (argc > 3)
            return usage();
        if (argc == 3)
            cls = argv[2];
        if (is(cmd, "title"))
            return cmd_title(cls);
        if (is(cmd, "rect"))
            return cmd_rect(cls);
        if (is(cmd, "state"))
            return cmd_state(cls);
        if (is(cmd, "resources"))
            return cmd_resources(cls);
        return cmd_post(cls, WM_CLOSE, 0);
    }
    if (is(cmd, "command")) {
        if ((argc != 3 && argc != 4) || !parse_int(argv[2], n) || n < 0 || n > 0xFFFF)
            return usage();
        if (argc == 4)
            cls = argv[3];
        return cmd_post(cls, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(n), 0));
    }
    if (is(cmd, "move")) {
        long v[4] = {};
        if (argc != 6 && argc != 7)
            return usage();
        for (int i = 0; i < 4; ++i)
            if (!parse_int(argv[2 + i], v[i]))
                return usage();
        if (argc == 7)
            cls = argv[6];
        return cmd_move(cls, v[0], v[1], v[2], v[3]);
    }
    if (is(cmd, "wait-box")) {
        if (argc != 3 || !parse_int(argv[2], n))
            return usage();
        return cmd_wait_box(n);
    }
    if (is(cmd, "press-ok") || is(cmd, "press-cancel")) {
        n = 5;
        if (argc > 3 || (argc == 3 && !parse_int(argv[2], n)))
            return usage();
        return cmd_press(is(cmd, "press-ok") ? IDOK : IDCANCEL, n);
    }
    if (is(cmd, "file-name") && argc == 4 && parse_int(argv[3], n))
        return cmd_file_dialog(argv[2], nullptr, n);
    if (is(cmd, "save-as") && argc == 5 && parse_int(argv[4], n))
        return cmd_file_dialog(argv[2], argv[3], n);
    if (is(cmd, "hold-window") && argc == 3 && parse_int(argv[2], n) && n >= 0)
        return cmd_hold_window(n);
    if (is(cmd, "printer") && argc == 2)
        return cmd_printer();
    if (is(cmd, "list") && argc == 2)
        return cmd_list();
    if (is(cmd, "page") && argc == 4 && parse_int(argv[3], n))
        return cmd_page(argv[2], n);
    if (is(cmd, "next") && argc == 3 && parse_int(argv[2], n))
        return cmd_next(n);
    return usage();
}

} // namespace
} // namespace qm::driver

int main(int argc, char** argv)
{
    // Plain "\n" line ends: the tests read this output on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    const int rc = qm::driver::run(argc, argv);
    std::fflush(stdout);
    return rc;
}
