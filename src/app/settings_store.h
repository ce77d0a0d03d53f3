// The settings store: values addressed by four nested key names under the current user, and the
// program's own settings key with its value names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/settings_port.h"

namespace qm {

// Software\Brackwater Software\Quillmark\v2.0
extern const char* const SettingsKey[4];

// A 32-bit setting under the settings key, stored as its 4 little-endian bytes. A read that
// fails keeps `value`; a shorter stored value replaces only the low-order bytes it holds.
int read_setting(const char* name, std::int32_t* value);
int write_setting(const char* name, std::int32_t value);
// A text setting stored as its whole buffer, whatever the length of the text in it.
int read_setting_bytes(const char* name, void* buffer, std::size_t size);
int write_setting_bytes(const char* name, const void* buffer, std::size_t size);

} // namespace qm
