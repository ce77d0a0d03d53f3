// The per-user settings store: byte values under a path of four nested keys below the current
// user's root (the registry's HKEY_CURRENT_USER on Windows).
#pragma once

#include <cstddef>

namespace qm {

// Four key names, outermost first.
struct KeyPath {
    const char* names[4];
};

// Reads the value `name` under `keys`, whatever type it was stored with, as raw bytes.
// When the keys and the value exist and the value holds at most `size` bytes, copies its bytes
// to the front of `dest` (the bytes after them stay as they were) and returns how many there
// were. Otherwise returns -1 and leaves `dest` untouched. Keys are only opened, never created.
int read_binary_value(const KeyPath& keys, const char* name, void* dest, std::size_t size);

// Stores `size` bytes as a binary value, creating missing keys. Returns 0, or -1 on failure.
int write_binary_value(const KeyPath& keys, const char* name, const void* source, std::size_t size);

// The same as the values of four separately named keys. A value shorter than `size` replaces
// only its own number of leading bytes. 0 when it was read; -1 otherwise, with `dest` unchanged.
inline int read_registry_value(const char* key1, const char* key2, const char* key3,
                               const char* key4, const char* name, void* dest, std::size_t size)
{
    if (!key1 || !key2 || !key3 || !key4 || !name || !dest)
        return -1;
    const KeyPath keys{{key1, key2, key3, key4}};
    return read_binary_value(keys, name, dest, size) >= 0 ? 0 : -1;
}

// Stores `size` bytes from `source` as a binary value, creating missing keys. 0, or -1 on
// failure (also, without touching the store, when `name` is null).
inline int write_registry_value(const char* key1, const char* key2, const char* key3,
                                const char* key4, const char* name, const void* source,
                                std::size_t size)
{
    if (!key1 || !key2 || !key3 || !key4 || !name || (!source && size > 0))
        return -1;
    const KeyPath keys{{key1, key2, key3, key4}};
    return write_binary_value(keys, name, source, size);
}

} // namespace qm
