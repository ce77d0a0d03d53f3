// The port contract on the Windows backend, under Wine: real folders and change notifications,
// another process of this program that holds a file open, and the registry under a key of the
// test's own.
#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "port_contract.h"

namespace qm::contract {
namespace {

constexpr char HoldVariable[] = "QM_CONTRACT_HOLD";

// Started again as the other process of the held-file case (its environment names the file):
// opens the file for writing, as a synchronisation copying it does, letting others read; says so
// with one byte on its standard output; keeps it open until its standard input ends.
[[maybe_unused]] const bool OtherProcessRun = [] {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(HoldVariable, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const char said = file != INVALID_HANDLE_VALUE ? '1' : '0';
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &said, 1, &done, nullptr);
    char c;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &done, nullptr) && done > 0) {
    }
    ExitProcess(0);
}();

// This program started again with the file open until this goes.
class OtherProcessHold {
public:
    explicit OtherProcessHold(const std::string& path)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE in_read = nullptr, out_write = nullptr, out_read = nullptr;
        if (!CreatePipe(&in_read, &release_, &inherit, 0))
            return;
        if (!CreatePipe(&out_read, &out_write, &inherit, 0)) {
            CloseHandle(in_read);
            return;
        }
        SetHandleInformation(release_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string command = std::string("\"") + exe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in_read;
        startup.hStdOutput = out_write;
        startup.hStdError = out_write;
        SetEnvironmentVariableA(HoldVariable, path.c_str());
        const bool started = CreateProcessA(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, &startup, &process_);
        SetEnvironmentVariableA(HoldVariable, nullptr);
        CloseHandle(in_read);
        CloseHandle(out_write);
        char said = 0;
        DWORD got = 0;
        const bool heard = started && ReadFile(out_read, &said, 1, &got, nullptr) && got == 1;
        CloseHandle(out_read);
        EXPECT_TRUE(heard && said == '1') << "the other process could not open " << path;
    }
    ~OtherProcessHold()
    {
        if (release_)
            CloseHandle(release_);
        if (process_.hProcess) {
            WaitForSingleObject(process_.hProcess, 20000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    OtherProcessHold(const OtherProcessHold&) = delete;
    OtherProcessHold& operator=(const OtherProcessHold&) = delete;

private:
    HANDLE release_ = nullptr;
    PROCESS_INFORMATION process_{};
};

class Win32Backend : public ScratchFolder {
public:
    static constexpr const char* NoFifo = "[by design] Windows has no FIFO under a file's name: "
                                          "its pipes have a namespace of their own";
    static constexpr const char* NoBackslash = "[by design] a Windows name cannot hold a backslash";
    static constexpr const char* NoFolderAgain =
        "[by design] a Windows change notification stays with the folder it was opened on: one "
        "deleted "
        "(Windows keeps it while the watch is open) and made again is not watched again";
    static constexpr bool HasInstance = true;
    static constexpr const char* NoInstance = "";

    Win32Backend()
    {
        static int serial = 0;
        run_ = "Contract-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
    }
    ~Win32Backend()
    {
        HKEY tests = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmark Tests", 0, KEY_ALL_ACCESS,
                          &tests) == ERROR_SUCCESS) {
            // The run's two levels, deepest first: XP has no RegDeleteTree.
            RegDeleteKeyA(tests, (run_ + "\\v2.0").c_str());
            RegDeleteKeyA(tests, run_.c_str());
            RegCloseKey(tests);
        }
    }

    bool fifo(const std::string&) { return false; }
    bool backslash_folder(const std::string&) { return false; }
    std::unique_ptr<OtherProcessHold> hold(const std::string& relative)
    {
        return std::make_unique<OtherProcessHold>(path(relative));
    }

    // Change notifications arrive a little after the change.
    static void pause() { Sleep(50); }
    static void settle() { Sleep(300); }

    Keys keys() const { return Keys{{"Software", "Quillmark Tests", run_, "v2.0"}}; }
    void set_value(const KeyPath& keys, const char* name, const std::vector<std::uint8_t>& bytes)
    {
        store(keys, name, REG_BINARY, bytes.data(), bytes.size());
    }
    void set_text(const KeyPath& keys, const char* name, const std::string& text)
    {
        store(keys, name, REG_SZ, text.c_str(), text.size() + 1);
    }

private:
    void store(const KeyPath& keys, const char* name, DWORD type, const void* bytes,
               std::size_t size)
    {
        const std::string path = std::string(keys.names[0]) + "\\" + keys.names[1] + "\\" +
                                 keys.names[2] + "\\" + keys.names[3];
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(bytes),
                       static_cast<DWORD>(size));
        RegCloseKey(key);
    }

    std::string run_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, PortContract, Win32Backend);

} // namespace
} // namespace qm::contract
