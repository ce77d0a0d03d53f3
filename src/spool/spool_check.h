// Whether a spool file holds every byte that its record list and its bands' headers promise.
//
// The reader itself checks nothing: any file is read the same way, and bytes past the end read as
// 0. So a file cut short (a copy or a sync that has not finished, a disk that filled) or a file
// that is no spool file at all would print pages made of bytes that are not there, and a band
// whose record is shorter than its header says would swallow the pages after it. Every job looks
// here first and refuses such a file by name. A file that is whole is read as before, whatever
// its header's type and creator say, and so are the layouts the page walk is built for: a record
// list out of order, a band of a page that goes on (flagged continued) reading into the records
// of its own page, and a record listed at a position that reads as negative, whose page the walk
// refuses by itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spool/spool_stream.h"

namespace qm {

enum class SpoolCutKind {
    Whole,
    ListPastEnd,   // the list's entry for `record` lies past the end of the file
    RecordPastEnd, // `record` starts at or past the end of the file
    RecordShort,   // `record` holds `holds` bytes where its kind and header need `needs`
    RunsPastEnd,   // `record`'s run-coded pixels go on past the end of the file
};

struct SpoolCut {
    SpoolCutKind kind = SpoolCutKind::Whole;
    std::int32_t record = 0; // index, counted from 0
    std::int32_t count = 0;
    std::int64_t file_size = 0;
    std::int64_t holds = 0;
    std::int64_t needs = 0;
    explicit operator bool() const { return kind != SpoolCutKind::Whole; }
};

// The first place where a file of `record_count` records (as its header says) is not whole, or
// a SpoolCut that converts to false. A count of zero or less lists nothing and is whole. The
// stream is left where it was.
SpoolCut find_spool_cut(SpoolStream& s, std::int32_t record_count);

// What is missing, in one line without its file's name and without a line end, for example
// "record 7 of 12 starts past its end (1000 bytes)"; records are counted from 1. Cut to `size`.
void describe_spool_cut(const SpoolCut& cut, char* text, std::size_t size);

} // namespace qm
