// The simulated settings store: values in memory under their key path, whose names match
// without regard to letter case as the registry's do.
#include <cstring>

#include "platform/settings_port.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_internal.h"

namespace qm {
namespace sim {
namespace {

// Key and value names in one letter case: the registry matches them without regard to it.
std::string folded(const char* name)
{
    std::string text = name ? name : "";
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string key_path(const KeyPath& keys, int depth)
{
    std::string path;
    for (int i = 0; i < depth; ++i) {
        if (i > 0)
            path += '\\';
        path += folded(keys.names[i]);
    }
    return path;
}

std::string value_path(const KeyPath& keys, const char* name)
{
    return key_path(keys, 4) + '|' + folded(name);
}

} // namespace

void store_value(const KeyPath& keys, const char* name, const std::vector<std::uint8_t>& bytes,
                 ValueType type)
{
    for (int depth = 1; depth <= 4; ++depth)
        state().keys[key_path(keys, depth)] = true;
    state().values[value_path(keys, name)] = StoredValue{type, bytes};
}

const StoredValue* stored_value(const KeyPath& keys, const char* name)
{
    auto it = state().values.find(value_path(keys, name));
    return it == state().values.end() ? nullptr : &it->second;
}

bool key_exists(const KeyPath& keys)
{
    return state().keys.count(key_path(keys, 4)) != 0;
}

std::size_t stored_value_count()
{
    return state().values.size();
}

void fail_writes(bool fail)
{
    state().fail_writes = fail;
}

} // namespace sim

using sim::record;
using sim::state;

int read_binary_value(const KeyPath& keys, const char* name, void* dest, std::size_t size)
{
    record(std::string("read_value ") + name);
    for (int depth = 1; depth <= 4; ++depth) {
        if (!state().keys.count(sim::key_path(keys, depth)))
            return -1;
    }
    const sim::StoredValue* value = sim::stored_value(keys, name);
    if (!value || value->bytes.size() > size)
        return -1;
    if (!value->bytes.empty())
        std::memcpy(dest, value->bytes.data(), value->bytes.size());
    return static_cast<int>(value->bytes.size());
}

int write_binary_value(const KeyPath& keys, const char* name, const void* source, std::size_t size)
{
    record(std::string("write_value ") + name);
    if (state().fail_writes)
        return -1;
    const auto* bytes = static_cast<const std::uint8_t*>(source);
    sim::store_value(keys, name, std::vector<std::uint8_t>(bytes, bytes + size));
    return 0;
}

} // namespace qm
