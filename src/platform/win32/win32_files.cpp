// Files and folders through the Win32 file API.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/files_port.h"
#include "platform/win32/win_handles.h"

namespace qm {
namespace {

struct Listing {
    win::FindHandle find;
};

Listing* listing_of(ListingHandle handle)
{
    return reinterpret_cast<Listing*>(handle);
}

static_assert(sizeof(FolderEntry{}.name) >= sizeof(WIN32_FIND_DATAA{}.cFileName));

void fill_entry(const WIN32_FIND_DATAA& data, FolderEntry* entry)
{
    std::snprintf(entry->name, sizeof entry->name, "%s", data.cFileName);
    entry->is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "folder\name" into `out`; false when it does not fit.
bool join(char* out, std::size_t size, const char* folder, const char* name)
{
    const int n = std::snprintf(out, size, "%s\\%s", folder, name);
    return n >= 0 && static_cast<std::size_t>(n) < size;
}

win::File open_existing(const char* path, DWORD share)
{
    return win::File(CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

ListingHandle begin_listing(const char* folder, FolderEntry* first)
{
    char pattern[1024];
    if (!join(pattern, sizeof pattern, folder, "*"))
        return nullptr;
    WIN32_FIND_DATAA data{};
    win::FindHandle find(FindFirstFileA(pattern, &data));
    if (!find)
        return nullptr;
    fill_entry(data, first);
    return reinterpret_cast<ListingHandle>(new Listing{std::move(find)});
}

bool next_listing_entry(ListingHandle listing, FolderEntry* entry)
{
    if (!listing)
        return false;
    WIN32_FIND_DATAA data{};
    if (!FindNextFileA(listing_of(listing)->find.get(), &data))
        return false;
    fill_entry(data, entry);
    return true;
}

void end_listing(ListingHandle listing)
{
    delete listing_of(listing);
}

bool find_entry(const char* folder, const char* name, FolderEntry* found)
{
    char path[1024];
    if (!join(path, sizeof path, folder, name))
        return false;
    // The file systems' own name matching ignores letter case.
    WIN32_FIND_DATAA data{};
    win::FindHandle find(FindFirstFileA(path, &data));
    if (!find)
        return false;
    if (found)
        fill_entry(data, found);
    return true;
}

bool can_open_for_reading(const char* path)
{
    return static_cast<bool>(open_existing(path, FILE_SHARE_READ));
}

int delete_file(const char* path)
{
    return DeleteFileA(path) ? 0 : -1;
}

int full_path(const char* path, char* out, std::size_t size)
{
    if (size == 0 || size > 0xFFFFFFFFu)
        return -1;
    const DWORD n = GetFullPathNameA(path, static_cast<DWORD>(size), out, nullptr);
    return n > 0 && n < size ? 0 : -1;
}

std::FILE* open_file(const char* path, const char* mode)
{
    return std::fopen(path, mode);
}

int read_last_write_time(const char* path, std::uint64_t* time)
{
    win::File file = open_existing(path, 0);
    if (!file)
        return -1;
    FILETIME written{};
    if (!GetFileTime(file.get(), nullptr, nullptr, &written))
        return -1;
    *time = static_cast<std::uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    return 0;
}

} // namespace qm
