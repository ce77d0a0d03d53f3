// The simulated files and change watches: the test's real folders, watched by the simulation.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "platform/files_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"
#include "platform/watch_port.h"

namespace qm {

// A listing as Windows gives it: "." and ".." first, then the folder's entries in the order the
// file system keeps them.
struct ListingObject {
    std::filesystem::directory_iterator next;
    int dots_given = 0;
};

struct WatchObject {
    std::string folder;
    bool fired = false;
    bool pending = false; // a change seen while fired
};

namespace sim {
namespace {

struct FileState {
    std::set<WatchObject*> watches;
    std::map<std::string, bool> held; // path -> others may read it
};

FileState& files()
{
    static FileState f;
    return f;
}

std::string normal(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal().string();
}

bool lower_equal(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        const auto ca = static_cast<unsigned char>(*a);
        const auto cb = static_cast<unsigned char>(*b);
        if (std::tolower(ca) != std::tolower(cb))
            return false;
    }
    return *a == *b;
}

bool is_folder(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

bool is_file(const std::filesystem::path& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool read_entry(ListingObject* listing, FolderEntry* entry)
{
    if (listing->dots_given < 2) {
        std::snprintf(entry->name, sizeof entry->name, "%s", listing->dots_given == 0 ? "." : "..");
        entry->is_folder = true;
        ++listing->dots_given;
        return true;
    }
    std::error_code ec;
    if (listing->next == std::filesystem::directory_iterator())
        return false;
    const std::filesystem::directory_entry& e = *listing->next;
    std::snprintf(entry->name, sizeof entry->name, "%s", e.path().filename().string().c_str());
    entry->is_folder = is_folder(e.path());
    listing->next.increment(ec);
    if (ec)
        listing->next = std::filesystem::directory_iterator();
    return true;
}

} // namespace

void reset_files()
{
    // Watches still open belong to a state the test has thrown away; forget them.
    files().watches.clear();
    files().held.clear();
}

std::string native_path(const char* path)
{
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

void notify_change(const char* path)
{
    const std::string folder =
        normal(std::filesystem::path(native_path(path)).parent_path().string());
    for (WatchObject* w : files().watches) {
        if (w->folder != folder)
            continue;
        if (w->fired)
            w->pending = true;
        else
            w->fired = true;
    }
}

void hold_file(const char* path, bool allow_shared_read)
{
    files().held[normal(native_path(path))] = allow_shared_read;
}

void release_file(const char* path)
{
    files().held.erase(normal(native_path(path)));
}

bool watch_fired(WatchHandle watch)
{
    return watch && watch->fired;
}

std::string watch_folder(WatchHandle watch)
{
    return watch ? watch->folder : std::string();
}

int open_watch_count()
{
    return static_cast<int>(files().watches.size());
}

} // namespace sim

using sim::record;

ListingHandle begin_listing(const char* folder, FolderEntry* first)
{
    record(std::string("list ") + folder);
    std::error_code ec;
    auto listing = std::make_unique<ListingObject>();
    listing->next = std::filesystem::directory_iterator(sim::native_path(folder), ec);
    if (ec || !sim::read_entry(listing.get(), first))
        return nullptr;
    return listing.release();
}

bool next_listing_entry(ListingHandle listing, FolderEntry* entry)
{
    return listing && sim::read_entry(listing, entry);
}

void end_listing(ListingHandle listing)
{
    delete listing;
}

bool find_entry(const char* folder, const char* name, FolderEntry* found)
{
    record(std::string("find ") + folder + "\\" + name);
    std::error_code ec;
    std::filesystem::directory_iterator it(sim::native_path(folder), ec);
    if (ec)
        return false;
    // An exact match wins over one that differs in letter case only.
    bool matched = false;
    std::filesystem::path best;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (entry == name) {
            best = it->path();
            matched = true;
            break;
        }
        if (!matched && sim::lower_equal(entry.c_str(), name)) {
            best = it->path();
            matched = true;
        }
    }
    if (matched && found) {
        std::snprintf(found->name, sizeof found->name, "%s", best.filename().string().c_str());
        found->is_folder = sim::is_folder(best);
    }
    return matched;
}

bool can_open_for_reading(const char* path)
{
    const std::string p = sim::native_path(path);
    auto held = sim::files().held.find(sim::normal(p));
    if (held != sim::files().held.end() && !held->second)
        return false;
    if (!sim::is_file(p))
        return false;
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

int delete_file(const char* path)
{
    record(std::string("delete ") + path);
    if (std::remove(sim::native_path(path).c_str()) != 0)
        return -1;
    sim::notify_change(path);
    return 0;
}

int full_path(const char* path, char* out, std::size_t size)
{
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(sim::native_path(path), ec);
    if (ec)
        return -1;
    const std::string text = absolute.lexically_normal().string();
    if (text.size() >= size)
        return -1;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return 0;
}

std::FILE* open_file(const char* path, const char* mode)
{
    record(std::string("open_file ") + path + " " + mode);
    return std::fopen(sim::native_path(path).c_str(), mode);
}

int read_last_write_time(const char* path, std::uint64_t* time)
{
    const std::string p = sim::native_path(path);
    if (sim::files().held.count(sim::normal(p)))
        return -1;
    if (!sim::is_file(p))
        return -1;
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(p, ec);
    if (ec)
        return -1;
    // In 100 ns units as the Windows file times count, from the file clock's own epoch: only
    // comparisons between such times matter.
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
    *time = static_cast<std::uint64_t>(
        std::chrono::duration_cast<Ticks>(written.time_since_epoch()).count());
    return 0;
}

WatchHandle open_change_watch(const char* folder)
{
    record(std::string("open_watch ") + folder);
    const std::string p = sim::native_path(folder);
    if (!sim::is_folder(p))
        return nullptr;
    auto* watch = new WatchObject{sim::normal(p)};
    sim::files().watches.insert(watch);
    return watch;
}

int arm_change_watch(WatchHandle watch)
{
    record("arm_watch " + sim::watch_folder(watch));
    if (!watch)
        return -1;
    watch->fired = watch->pending;
    watch->pending = false;
    return 0;
}

void close_change_watch(WatchHandle watch)
{
    sim::files().watches.erase(watch);
    delete watch;
}

int poll_change_watches(const WatchHandle* watches, int count)
{
    if (count <= 0)
        return PollFailed;
    for (int i = 0; i < count; ++i) {
        if (watches[i] && watches[i]->fired)
            return i;
    }
    return PollNothingFired;
}

} // namespace qm
