#include "app/settings_store.h"

#include "platform/settings_port.h"

namespace qm {

const char* const SettingsKey[4] = {"Software", "Brackwater Software", "Quillmark", "v2.0"};

int read_setting(const char* name, std::int32_t* value)
{
    // Start from the current value's byte image so that a short stored value overwrites only
    // the bytes it has, as it would in the little-endian integer itself.
    const auto bits = static_cast<std::uint32_t>(*value);
    std::uint8_t bytes[4] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                             static_cast<std::uint8_t>(bits >> 16),
                             static_cast<std::uint8_t>(bits >> 24)};
    if (read_setting_bytes(name, bytes, sizeof bytes) != 0)
        return -1;
    *value = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
    return 0;
}

int write_setting(const char* name, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
        static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
    return write_setting_bytes(name, bytes, sizeof bytes);
}

int read_setting_bytes(const char* name, void* buffer, std::size_t size)
{
    return read_registry_value(SettingsKey[0], SettingsKey[1], SettingsKey[2], SettingsKey[3], name,
                               buffer, size);
}

int write_setting_bytes(const char* name, const void* buffer, std::size_t size)
{
    return write_registry_value(SettingsKey[0], SettingsKey[1], SettingsKey[2], SettingsKey[3],
                                name, buffer, size);
}

void read_settings(SettingsRead group, Settings& settings, WindowGeometry& geometry)
{
    for (const StoredSetting& row : StoredSettings) {
        if (row.read != group)
            continue;
        if (row.geometry) {
            read_setting(row.name, &(geometry.*row.geometry));
        } else if (row.option) {
            read_setting(row.name, &(settings.*row.option));
        } else {
            read_setting_bytes(row.name, settings.last_print_path,
                               sizeof settings.last_print_path);
            // A stored path that fills the whole buffer has lost its end; keep it a string.
            settings.last_print_path[sizeof settings.last_print_path - 1] = '\0';
        }
    }
}

void write_settings(const Settings& settings, const WindowGeometry& geometry)
{
    for (const StoredSetting& row : StoredSettings) {
        if (row.geometry)
            write_setting(row.name, geometry.*row.geometry);
        else if (row.option)
            write_setting(row.name, settings.*row.option);
        else
            write_setting_bytes(row.name, settings.last_print_path,
                                sizeof settings.last_print_path);
    }
}

} // namespace qm
