// The simulated files and change watches: the test's real folders, watched by the simulation.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "platform/common/backend_files.h"
#include "platform/files_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"
#include "platform/watch_port.h"

namespace qm {
namespace sim {

struct Watch {
    std::string folder;
    backend::FiredState state;
};

namespace {

// A listing as Windows gives it: "." and ".." first, then the folder's entries in the order the
// file system keeps them.
struct Listing {
    std::filesystem::directory_iterator next;
    int dots_given = 0;
};


// The ports hand these out as their opaque handles.
Listing* listing_of(ListingHandle handle)
{
    return reinterpret_cast<Listing*>(handle);
}
Watch* watch_of(WatchHandle handle)
{
    return reinterpret_cast<Watch*>(handle);
}

FileState& files()
{
    return state().files;
}

std::string normal(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal().string();
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

bool read_entry(Listing* listing, FolderEntry* entry)
{
    if (listing->dots_given < 2) {
        std::snprintf(entry->name, sizeof entry->name, "%s", listing->dots_given == 0 ? "." : "..");
        entry->is_folder = true;
        ++listing->dots_given;
        return true;
    }
    for (std::error_code ec; listing->next != std::filesystem::directory_iterator();) {
        const std::filesystem::path path = listing->next->path();
        listing->next.increment(ec);
        if (ec)
            listing->next = std::filesystem::directory_iterator();
        const std::string name = path.filename().string();
        if (!backend::listable_name(name.c_str()))
            continue;
        std::snprintf(entry->name, sizeof entry->name, "%s", name.c_str());
        entry->is_folder = is_folder(path);
        return true;
    }
    return false;
}

// A listing of `folder`, unrecorded; null when it cannot start.
std::unique_ptr<Listing> start_listing(const char* folder, FolderEntry* first)
{
    std::error_code ec;
    auto listing = std::make_unique<Listing>();
    listing->next = std::filesystem::directory_iterator(native_path(folder), ec);
    if (ec || !read_entry(listing.get(), first))
        return nullptr;
    return listing;
}

} // namespace

std::string native_path(const char* path)
{
    return backend::native_path(path);
}

void notify_change(const char* path)
{
    const std::string changed = normal(native_path(path));
    const std::string folder = normal(std::filesystem::path(changed).parent_path().string());
    // The folder the entry is in, and the entry itself when it is a watched folder that went
    // or came.
    for (Watch* w : files().watches) {
        if (w->folder == folder || w->folder == changed)
            w->state.change();
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
    return watch && watch_of(watch)->state.fired();
}

std::string watch_folder(WatchHandle watch)
{
    return watch ? watch_of(watch)->folder : std::string();
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
    return reinterpret_cast<ListingHandle>(sim::start_listing(folder, first).release());
}

bool next_listing_entry(ListingHandle listing, FolderEntry* entry)
{
    return listing && sim::read_entry(sim::listing_of(listing), entry);
}

void end_listing(ListingHandle listing)
{
    delete sim::listing_of(listing);
}

bool find_entry(const char* folder, const char* name, FolderEntry* found)
{
    record(std::string("find ") + folder + "\\" + name);
    FolderEntry first{};
    const std::unique_ptr<sim::Listing> listing = sim::start_listing(folder, &first);
    return listing &&
           backend::find_matching_entry(
               name, first,
               [&listing](FolderEntry* entry) { return sim::read_entry(listing.get(), entry); },
               found);
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
    // A file, never a folder (which the C library's remove() would take when empty).
    const std::string p = sim::native_path(path);
    if (sim::is_folder(p) || std::remove(p.c_str()) != 0)
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
    const std::string p = sim::native_path(path);
    // Reading is of regular files only: a folder or a FIFO under the name is not opened.
    if (mode && mode[0] == 'r' && !std::strchr(mode, '+') && !sim::is_file(p))
        return nullptr;
    return std::fopen(p.c_str(), mode);
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
    auto* watch = new sim::Watch{sim::normal(p), {}};
    sim::files().watches.insert(watch);
    return reinterpret_cast<WatchHandle>(watch);
}

int arm_change_watch(WatchHandle watch)
{
    record("arm_watch " + sim::watch_folder(watch));
    if (!watch)
        return -1;
    sim::watch_of(watch)->state.arm();
    return 0;
}

void close_change_watch(WatchHandle watch)
{
    sim::files().watches.erase(sim::watch_of(watch));
    delete sim::watch_of(watch);
}

int poll_change_watches(const WatchHandle* watches, int count)
{
    return backend::poll_fired(watches, count, [](WatchHandle w) -> backend::FiredState& {
        return sim::watch_of(w)->state;
    });
}

} // namespace qm
