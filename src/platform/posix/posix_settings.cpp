// The settings store as a text file in the user's configuration folder, in place of the
// registry:
//
//     [Software\U.S. Robotics\Pilot Desktop\Core]
//     Path=/home/me/PalmDesktop
//
// Key and value names are matched without regard to letter case, as the registry matches them,
// and either slash separates keys. A value is text (read with its terminating zero, as the
// registry's string values are) or, written "hex:01 00 00 00", bytes. A text value that starts
// with "~/" (or is "~") starts in the home folder, $HOME, as it would in a shell.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/posix.h"
#include "platform/posix/posix_internal.h"
#include "platform/settings_port.h"

namespace qm::posix {

namespace {

using Bytes = SettingsState::Bytes;

SettingsState& settings()
{
    return state().settings;
}

} // namespace

std::string fold(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (c == '/')
            c = '\\';
    }
    while (!text.empty() && text.back() == '\\')
        text.pop_back();
    while (!text.empty() && text.front() == '\\')
        text.erase(0, 1);
    return text;
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

namespace {

// "~/..." with $HOME in place of the "~"; anything else, and any value while $HOME is not an
// absolute path, as it is.
std::string in_home(const std::string& text)
{
    if (text != "~" && text.compare(0, 2, "~/") != 0)
        return text;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/')
        return text;
    std::string base = home;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base == "/" ? text.substr(1) : base + text.substr(1);
}

Bytes text_bytes(const std::string& text)
{
    Bytes out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

// "hex:01 0a ff" (spaces or commas between); false on anything else after "hex:".
bool hex_bytes(const std::string& text, Bytes& out)
{
    const char* p = text.c_str() + 4;
    while (*p) {
        if (*p == ' ' || *p == ',' || *p == '\t') {
            ++p;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(p[0])) ||
            !std::isxdigit(static_cast<unsigned char>(p[1])))
            return false;
        const char pair[3] = {p[0], p[1], 0};
        out.push_back(static_cast<unsigned char>(std::strtoul(pair, nullptr, 16)));
        p += 2;
    }
    return true;
}

// A few lines of text: anything larger is not a settings file.
constexpr std::size_t MaxSettingsBytes = 64 * 1024;

} // namespace

// A FIFO or device under the name is never waited on.
bool read_settings_text(const std::string& path, std::string& text, std::string& why)
{
    why.clear();
    auto refuse = [&why](const std::string& reason) {
        why = reason;
        return false;
    };
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? false : refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return refuse("not a regular file");
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return refuse(std::strerror(errno));
    std::string buffer(MaxSettingsBytes + 1, '\0');
    std::size_t got = 0;
    bool failed = fstat(fd, &st) != 0 || !S_ISREG(st.st_mode);
    // Read to the end rather than trust the size: the file may be growing.
    while (!failed && got < buffer.size()) {
        const ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed = n < 0;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const int error = errno;
    close(fd);
    if (failed)
        return refuse(S_ISREG(st.st_mode) ? std::strerror(error) : "not a regular file");
    if (got > MaxSettingsBytes)
        return refuse("larger than 64 KiB");
    buffer.resize(got);
    text = std::move(buffer);
    return true;
}

namespace {

// Reads the settings file unless it has been read since it was configured or stored; false
// when it had been. Why it could not be read is kept in `unreadable`.
bool read_once()
{
    SettingsState& s = settings();
    if (s.loaded)
        return false;
    s.loaded = true;
    std::string text;
    if (!read_settings_text(settings_file_in_use(), text, s.unreadable))
        return true;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = fold(trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || section.empty())
            continue;
        const std::string name = fold(trim(line.substr(0, eq)));
        const std::string value = trim(line.substr(eq + 1));
        Bytes bytes;
        if (value.compare(0, 4, "hex:") == 0) {
            if (!hex_bytes(value, bytes))
                continue;
        } else {
            bytes = text_bytes(in_home(value));
        }
        s.values[section + '|' + name] = bytes;
    }
    return true;
}

// The settings at their first use: a file that cannot be read is said on the log, and read as
// one that is not there.
void load()
{
    if (read_once() && !settings().unreadable.empty())
        log_line(
            ("settings file '" + settings_file_in_use() + "' not read: " + settings().unreadable)
                .c_str());
}

} // namespace

void set_value(const std::string& key_path, const std::string& name, const std::string& text)
{
    settings().overrides[fold(key_path) + '|' + fold(name)] = text_bytes(text);
}

void settings_file_changed()
{
    settings().loaded = false;
    settings().values.clear();
}

std::string settings_file_path()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.config";
    }
    return base + "/quillmark/settings";
}

std::string settings_file_unreadable()
{
    read_once();
    return settings().unreadable;
}

std::string settings_file_in_use()
{
    return settings().file.empty() ? settings_file_path() : settings().file;
}

void configure_settings(const std::string& file)
{
    settings() = SettingsState{};
    settings().file = file;
}

} // namespace qm::posix

namespace qm {

int read_binary_value(const KeyPath& keys, const char* name, void* dest, std::size_t size)
{
    posix::load();
    std::string path;
    for (const char* key : keys.names)
        path += std::string(key ? key : "") + '\\';
    const std::string id = posix::fold(path) + '|' + posix::fold(name ? name : "");
    const auto& s = posix::settings();
    auto it = s.overrides.find(id);
    if (it == s.overrides.end()) {
        it = s.values.find(id);
        if (it == s.values.end())
            return -1;
    }
    if (it->second.size() > size)
        return -1;
    std::memcpy(dest, it->second.data(), it->second.size());
    return static_cast<int>(it->second.size());
}

} // namespace qm
