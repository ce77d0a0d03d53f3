// Common ground of the Windows backend's tests: a folder of the test's own under the temporary
// folder, and a registry key of the test's own under HKEY_CURRENT_USER, both removed at the end.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qm::test {

inline std::string unique_name(const char* stem)
{
    static int serial = 0;
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()) + "-" + std::to_string(serial++);
}

class WinTempFolder {
public:
    WinTempFolder()
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        root_ = std::filesystem::path(temp) / unique_name("qm-win");
        std::filesystem::create_directories(root_);
    }
    ~WinTempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    WinTempFolder(const WinTempFolder&) = delete;
    WinTempFolder& operator=(const WinTempFolder&) = delete;

    // Paths with backslashes, as the program builds them.
    std::string root() const { return root_.string(); }
    std::string path(const std::string& relative) const { return root() + "\\" + relative; }
    void folder(const std::string& relative) const
    {
        std::filesystem::create_directories(path(relative));
    }
    void file(const std::string& relative, const std::string& content = "x") const
    {
        std::ofstream(path(relative), std::ios::binary) << content;
    }
    bool exists(const std::string& relative) const
    {
        return std::filesystem::exists(path(relative));
    }

private:
    std::filesystem::path root_;
};

} // namespace qm::test
