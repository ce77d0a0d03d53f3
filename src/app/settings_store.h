// The settings store: values addressed by four nested key names under the current user, and the
// program's own settings key with its value names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "job/job_session.h"
#include "platform/settings_port.h"
#include "render/page_math.h"

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

// Where the main window stood when the program last ended; the first run's place and size.
struct WindowGeometry {
    std::int32_t x = 25;
    std::int32_t y = 25;
    std::int32_t width = ReferenceScreen.window_width;
    std::int32_t height = 825;
};

// Start-up reads the stored values in three steps: the geometry to place the window, then the
// last job and whether to open minimised, then, once user folders are found, the options.
enum class SettingsRead { Geometry, BeforeDiscovery, AfterDiscovery };

// The nine stored values, one row each, in the order they are written; reading walks the same
// rows. A value that is not stored keeps what the field holds: its default, or an earlier read.
struct StoredSetting {
    const char* name;
    SettingsRead read;
    std::int32_t WindowGeometry::*geometry; // a number of the window's geometry, or
    std::int32_t Settings::*option;         // an option, or neither: last_print_path, all 512 bytes
};
inline constexpr StoredSetting StoredSettings[] = {
    {"window_x", SettingsRead::Geometry, &WindowGeometry::x, nullptr},
    {"window_y", SettingsRead::Geometry, &WindowGeometry::y, nullptr},
    {"window_w", SettingsRead::Geometry, &WindowGeometry::width, nullptr},
    {"window_h", SettingsRead::Geometry, &WindowGeometry::height, nullptr},
    {"show_dialog", SettingsRead::AfterDiscovery, nullptr, &Settings::show_dialog},
    {"pause_pages", SettingsRead::AfterDiscovery, nullptr, &Settings::pause_pages},
    {"print_to_screen", SettingsRead::AfterDiscovery, nullptr, &Settings::print_to_screen},
    {"open_minimized", SettingsRead::BeforeDiscovery, nullptr, &Settings::open_minimized},
    {"last_print_path", SettingsRead::BeforeDiscovery, nullptr, nullptr},
};

// Reads the rows of one group into `settings` and `geometry`.
void read_settings(SettingsRead group, Settings& settings, WindowGeometry& geometry);
// Writes every row.
void write_settings(const Settings& settings, const WindowGeometry& geometry);

} // namespace qm
