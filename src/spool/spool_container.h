// The Palm database container as the spooler reads it: the record count and each record's
// position and length. Nothing is cached; every lookup goes back to the file.
//
// A field that the file ends inside reads its missing bytes as 0, so a file cut short in its
// header has no records, and a record list cut short lists position 0.
#pragma once

#include <cstdint>

#include "spool/spool_stream.h"

namespace qm {

// The database type and creator a spool file carries ('Spol', 'Qmrk'). The job driver never
// looks at them: any file handed to it is read the same way.
inline constexpr std::uint32_t SpoolDatabaseType = 0x53706F6Cu;    // 'Spol'
inline constexpr std::uint32_t SpoolDatabaseCreator = 0x516D726Bu; // 'Qmrk'

inline constexpr std::int64_t SpoolTypeOffset = 60;
inline constexpr std::int64_t SpoolCreatorOffset = 64;
inline constexpr std::int64_t SpoolCountOffset = 76;
inline constexpr std::int64_t SpoolRecordListOffset = 78;
inline constexpr std::int64_t SpoolRecordEntrySize = 8;

// One byte of a fixed-size field; 0 past the end of the file.
inline std::uint8_t read_u8(SpoolStream& s)
{
    const int c = s.get();
    return c < 0 ? 0 : static_cast<std::uint8_t>(c);
}

std::uint32_t read_be32(SpoolStream& s);
std::uint16_t read_be16(SpoolStream& s);

// Fills whichever results are asked for (null pointers are not). The count is the 16-bit field
// sign-extended. Leaves the stream just behind the last field read: at 78 when the count was
// asked for.
int read_spool_header(SpoolStream& s, std::int32_t* record_count, std::uint32_t* type,
                      std::uint32_t* creator);

// Position and length of record `index` (either may be null). The length is the distance to the
// next listed position, or to the end of the file for the last record, in signed 32-bit
// arithmetic, so it is negative when the next record lies before this one. The stream is left
// exactly where it was.
int get_record_extent(SpoolStream& s, std::int32_t index, std::uint32_t* position,
                      std::int32_t* length);

} // namespace qm
