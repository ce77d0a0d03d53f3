#include "host/services/settings_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli/output_file.h"
#include "platform/posix/posix.h"

namespace qm::host {
namespace {

using posix::fold;
using posix::trim;

// The settings text with `name` under `key_path` set to `value`: its line replaced where the key
// has one (a later line of the same name, which the reader would take instead, removed), else
// added at the end of the key's last section, else in a new section at the end. Every other
// line is kept as it was.
std::string with_value(const std::string& text, const std::string& key_path,
                       const std::string& name, const std::string& value)
{
    const std::string key = fold(key_path);
    const std::string folded_name = fold(name);
    const std::string entry = name + "=" + value;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<bool> dropped(lines.size(), false);
    std::string section;
    bool replaced = false;
    std::size_t insert_after = std::string::npos;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string line = trim(lines[i]);
        if (!line.empty() && line.front() == '[' && line.back() == ']') {
            section = fold(trim(line.substr(1, line.size() - 2)));
            if (section == key)
                insert_after = i;
            continue;
        }
        if (section != key || line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        insert_after = i;
        const auto eq = line.find('=');
        if (eq == std::string::npos || fold(trim(line.substr(0, eq))) != folded_name)
            continue;
        if (replaced)
            dropped[i] = true;
        else
            lines[i] = entry;
        replaced = true;
    }
    std::string out;
    auto add = [&out](const std::string& line) { out += line + '\n'; };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!dropped[i])
            add(lines[i]);
        if (!replaced && i == insert_after)
            add(entry);
    }
    if (!replaced && insert_after == std::string::npos) {
        if (!out.empty() && out != "\n" && out.compare(out.size() - 2, 2, "\n\n") != 0)
            add("");
        add("[" + key_path + "]");
        add(entry);
    }
    return out;
}

// Makes the missing folders of `folder`, private to the user as a configuration home is.
bool make_folders(const std::string& folder, std::string& why)
{
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string path = folder.substr(0, end);
        if (!path.empty() && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            why = "cannot make '" + path + "': " + std::strerror(errno);
            return false;
        }
        if (end == std::string::npos)
            return true;
    }
}

// Writes `text` as the file `path` through the one writer of files under a temporary name: a
// failure at any point leaves the file as it was. The file under its temporary name has its
// final `mode` before anything is written in it: a private file's lines are never readable to
// others on the way.
bool write_settings_text(const std::string& path, const std::string& text, mode_t mode,
                         std::string& why)
{
    cli::OutputFile out;
    if (!out.prepare(path.c_str(), nullptr, why))
        return false;
    errno = 0;
    std::FILE* file = std::fopen(out.write_path(), "wb");
    bool ok = file && chmod(out.write_path(), mode) == 0;
    ok = ok && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int error = errno;
    if (file && std::fclose(file) != 0 && ok) {
        why = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (!ok) {
        why = "cannot write '" + path + "': " + std::strerror(error);
        return false;
    }
    return out.commit(why);
}

} // namespace

bool store_setting(const std::string& key_path, const std::string& name, const std::string& text,
                   std::string& why)
{
    why.clear();
    std::string path = posix::settings_file_in_use();
    // A settings file that is a link (to a folder of dotfiles, say) is written where it leads.
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* target = realpath(path.c_str(), nullptr)) {
            path = target;
            std::free(target);
        }
    }
    std::string old_text;
    // A new file is private to the user; a replaced one keeps its mode.
    mode_t mode = 0600;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
        if (!posix::read_settings_text(path, old_text, why)) {
            why = "settings file '" + path + "' not changed: " + why;
            return false;
        }
    } else if (errno != ENOENT || !make_folders(path.substr(0, path.rfind('/')), why)) {
        if (why.empty())
            why = "settings file '" + path + "' not changed: " + std::strerror(errno);
        return false;
    }
    if (!write_settings_text(path, with_value(old_text, key_path, name, text), mode, why))
        return false;
    // Read again at the next use: what is stored now.
    posix::settings_file_changed();
    return true;
}

} // namespace qm::host
