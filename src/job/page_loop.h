// How a print job splits a spool file into pages. A page is the record the loop stands at
// together with every following record that lies before the point where the page's window pass
// stopped reading; the next page starts at the first record at or beyond that point.
#pragma once

#include <cstdint>

#include "render/page_math.h"
#include "spool/spool_container.h"

namespace qm {

// The last record of the page that starts at `first`, judged by the stream's position now (just
// after the page's window pass).
inline std::int32_t last_record_of_page(SpoolStream& s, std::int32_t first,
                                        std::int32_t record_count)
{
    const std::int32_t stopped = as_position(s.tell());
    std::int32_t last = first;
    for (std::int32_t j = first + 1; j < record_count; ++j) {
        std::uint32_t position = 0;
        get_record_extent(s, j, &position, nullptr);
        if (static_cast<std::int32_t>(position) >= stopped)
            break;
        last = j;
    }
    return last;
}

// Calls `draw_page(first_record)` for each page in turn; it draws the page (its window pass
// last, so the stream stands where that pass stopped) and returns false to end the loop.
template <typename DrawPage>
void for_each_page(SpoolStream& s, std::int32_t record_count, DrawPage&& draw_page)
{
    for (std::int32_t i = 0; i < record_count; ++i) {
        if (!draw_page(i))
            return;
        i = last_record_of_page(s, i, record_count);
    }
}

} // namespace qm
