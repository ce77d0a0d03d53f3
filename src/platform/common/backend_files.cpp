#include "platform/common/backend_files.h"

#include <algorithm>

namespace qm::backend {

std::string native_path(const char* path)
{
    std::string p = path ? path : "";
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool same_name_ignoring_case(const char* a, const char* b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a && *b; ++a, ++b) {
        if (lower(*a) != lower(*b))
            return false;
    }
    return *a == *b;
}

bool listable_name(const char* name)
{
    return std::strlen(name) < sizeof FolderEntry{}.name && !std::strchr(name, '\\');
}

} // namespace qm::backend
