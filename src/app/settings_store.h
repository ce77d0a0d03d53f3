// The settings store: values addressed by four nested key names under the current user, and the
// program's own settings key with its value names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// Software\Brackwater Software\Quillmark\v2.0
extern const char* const SettingsKey[4];

// Reads a value into `dest` (at most `size` bytes). A value shorter than `size` replaces only
// its own number of leading bytes. 0 when it was read; -1 otherwise, with `dest` unchanged.
int read_registry_value(const char* key1, const char* key2, const char* key3, const char* key4,
                        const char* name, void* dest, std::size_t size);
// Stores `size` bytes from `source` as a binary value, creating missing keys. 0, or -1 on failure
// (also, without touching the store, when `name` is null).
int write_registry_value(const char* key1, const char* key2, const char* key3, const char* key4,
                         const char* name, const void* source, std::size_t size);

// A 32-bit setting under the settings key, stored as its 4 little-endian bytes. A read that
// fails keeps `value`; a shorter stored value replaces only the low-order bytes it holds.
int read_setting(const char* name, std::int32_t* value);
int write_setting(const char* name, std::int32_t value);
// A text setting stored as its whole buffer, whatever the length of the text in it.
int read_setting_bytes(const char* name, void* buffer, std::size_t size);
int write_setting_bytes(const char* name, const void* buffer, std::size_t size);

} // namespace qm
