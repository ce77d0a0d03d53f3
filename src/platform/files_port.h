// Files and folders as the folder discovery and the job detection see them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/handles.h"

namespace qm {

// Room of every full path the program keeps (last job, install folder, command-line job), its
// terminating zero included.
inline constexpr int PathBufferSize = 512;

struct FolderEntry {
    char name[260]; // the entry's own name, no folder part
    bool is_folder;
};

// Starts listing every entry of `folder` (".", ".." and hidden entries included) in the
// platform's own order and puts the first in `first`. Null when the listing cannot start.
ListingHandle begin_listing(const char* folder, FolderEntry* first);
// The next entry; false at the end of the listing.
bool next_listing_entry(ListingHandle listing, FolderEntry* entry);
void end_listing(ListingHandle listing);

// Looks up the entry `name` in `folder`, with letter case ignored as the Windows file systems
// ignore it. True when there is one; `found` (may be null) then holds its name as stored.
bool find_entry(const char* folder, const char* name, FolderEntry* found);

// True when the file exists and can be opened for reading by us while others read it too.
bool can_open_for_reading(const char* path);
// 0, or -1 when the file could not be deleted.
int delete_file(const char* path);
// The absolute form of `path` against the current folder, into `out` of `size` bytes.
// 0, or -1 when it does not fit or cannot be resolved.
int full_path(const char* path, char* out, std::size_t size);
// The file's last-write time in 100 ns units, read through an open that shares the file with
// nobody (so it fails while anyone else has it open). 0, or -1 when it cannot be opened or read.
int read_last_write_time(const char* path, std::uint64_t* time);

// Opens a file through the C library's buffered streams (std::fopen modes), by the program's
// own form of the path. Null when it cannot be opened.
std::FILE* open_file(const char* path, const char* mode);

// A folder listing, ended on every way out.
class FolderListing {
public:
    FolderListing(const char* folder, FolderEntry* first) : handle_(begin_listing(folder, first)) {}
    ~FolderListing()
    {
        if (handle_)
            end_listing(handle_);
    }
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    bool started() const { return handle_ != nullptr; }
    bool next(FolderEntry* entry) { return next_listing_entry(handle_, entry); }

private:
    ListingHandle handle_;
};

} // namespace qm
