// The name fitting of user folder discovery: every input is an install folder, a user folder's
// name and a backup folder's name, separated by NUL bytes. A fitted path must be the names
// joined whole (never cut short: a cut path names another folder), and leave room for every
// spool file name after it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "monitor/discovery.h"

namespace {

#define QM_DISCOVERY_CHECK(cond)                                                                   \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: discovery check failed: %s\n", __FILE__, __LINE__,        \
                         #cond);                                                                   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The next NUL-terminated part of the input (the rest of it when no NUL follows).
std::string take_part(const std::uint8_t*& data, std::size_t& size)
{
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t n = end ? static_cast<std::size_t>(end - data) : size;
    std::string part(reinterpret_cast<const char*>(data), n);
    data += end ? n + 1 : n;
    size -= end ? n + 1 : n;
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string install = take_part(data, size);
    const std::string user = take_part(data, size);
    const std::string backup = take_part(data, size);

    char user_path[qm::PathBufferSize];
    std::memset(user_path, 0x7F, sizeof user_path);
    if (qm::fit_user_path(install.c_str(), user.c_str(), user_path)) {
        QM_DISCOVERY_CHECK(user.size() < sizeof qm::MonitoredUserSlot{}.user_folder);
        QM_DISCOVERY_CHECK(std::string(user_path) == install + "\\" + user);
    } else {
        QM_DISCOVERY_CHECK(user.size() >= sizeof qm::MonitoredUserSlot{}.user_folder ||
                           install.size() + 1 + user.size() >= sizeof user_path);
    }

    char watched[qm::PathBufferSize];
    std::memset(watched, 0x7F, sizeof watched);
    const std::string joined = install + "\\" + user + "\\" + backup;
    std::size_t longest = 0;
    for (const char* name : qm::SpoolFileNames)
        longest = std::max(longest, std::strlen(name));
    const bool room = joined.size() + 1 + longest < sizeof watched;
    QM_DISCOVERY_CHECK(
        qm::fit_watched_path(install.c_str(), user.c_str(), backup.c_str(), watched) == room);
    if (room)
        QM_DISCOVERY_CHECK(std::string(watched) == joined);
    return 0;
}
