// The settings store on the registry under HKEY_CURRENT_USER.
#include <windows.h>

#include <cstring>
#include <memory>

#include "platform/settings_port.h"
#include "platform/win32/win_handles.h"

namespace qm {

namespace {

// Opens the four keys one below the other; the innermost, or an empty key on the first failure.
// The outer keys close as the chain moves inward, which Windows allows: an open subkey does not
// depend on its parent's handle.
win::Key open_chain(const KeyPath& keys)
{
    win::Key current;
    HKEY parent = HKEY_CURRENT_USER;
    for (const char* name : keys.names) {
        HKEY opened = nullptr;
        if (!name || RegOpenKeyExA(parent, name, 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return win::Key();
        current = win::Key(opened);
        parent = current.get();
    }
    return current;
}

win::Key create_chain(const KeyPath& keys)
{
    win::Key current;
    HKEY parent = HKEY_CURRENT_USER;
    for (const char* name : keys.names) {
        HKEY created = nullptr;
        DWORD disposition = 0;
        char no_class[] = "";
        if (!name ||
            RegCreateKeyExA(parent, name, 0, no_class, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &created, &disposition) != ERROR_SUCCESS)
            return win::Key();
        current = win::Key(created);
        parent = current.get();
    }
    return current;
}

} // namespace

int read_binary_value(const KeyPath& keys, const char* name, void* dest, std::size_t size)
{
    if (!name || !dest)
        return -1;
    win::Key key = open_chain(keys);
    if (!key)
        return -1;
    // Ask for the length first and read into scratch memory: a query into a buffer that is too
    // small may leave it changed, and a failed read must leave the caller's bytes as they were.
    DWORD length = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &length) != ERROR_SUCCESS ||
        length > size)
        return -1;
    auto scratch = std::make_unique<BYTE[]>(length > 0 ? length : 1);
    DWORD got = length;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, scratch.get(), &got) != ERROR_SUCCESS ||
        got > size)
        return -1;
    if (got > 0)
        std::memcpy(dest, scratch.get(), got);
    return static_cast<int>(got);
}

int write_binary_value(const KeyPath& keys, const char* name, const void* source, std::size_t size)
{
    if (!name || size > 0x7FFFFFFF)
        return -1;
    win::Key key = create_chain(keys);
    if (!key)
        return -1;
    return RegSetValueExA(key.get(), name, 0, REG_BINARY, static_cast<const BYTE*>(source),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS
               ? 0
               : -1;
}

} // namespace qm
