#include "spool/spool_container.h"

namespace qm {

std::uint32_t read_be32(SpoolStream& s)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | read_u8(s);
    return v;
}

std::uint16_t read_be16(SpoolStream& s)
{
    const std::uint16_t hi = read_u8(s);
    return static_cast<std::uint16_t>((hi << 8) | read_u8(s));
}

int read_spool_header(SpoolStream& s, std::int32_t* record_count, std::uint32_t* type,
                      std::uint32_t* creator)
{
    if (creator) {
        s.seek(SpoolCreatorOffset);
        *creator = read_be32(s);
    }
    if (type) {
        s.seek(SpoolTypeOffset);
        *type = read_be32(s);
    }
    if (record_count) {
        s.seek(SpoolCountOffset);
        *record_count = static_cast<std::int16_t>(read_be16(s));
    }
    return 0;
}

int get_record_extent(SpoolStream& s, std::int32_t index, std::uint32_t* position,
                      std::int32_t* length)
{
    const std::int64_t saved = s.tell();
    const std::int64_t entry = SpoolRecordListOffset + SpoolRecordEntrySize * index;
    s.seek(entry);
    const std::uint32_t pos = read_be32(s);
    if (position)
        *position = pos;
    if (length) {
        s.seek(SpoolCountOffset);
        const std::int32_t count = static_cast<std::int16_t>(read_be16(s));
        std::uint32_t end;
        if (index + 1 < count) {
            s.seek(entry + SpoolRecordEntrySize);
            end = read_be32(s);
        } else {
            end = static_cast<std::uint32_t>(s.size());
        }
        // Unsigned subtraction then a modular conversion: the signed 32-bit difference.
        *length = static_cast<std::int32_t>(end - pos);
    }
    s.seek(saved);
    return 0;
}

} // namespace qm
