// White that a fill has promised a target but not yet written, as the raster canvas and the GDI
// canvas on a screen both keep it. A page is filled white and then almost wholly covered by
// bands, so the white is written only where a row is first touched, and there only outside what
// the drawing is about to overwrite: each pixel of a covered page is written once. The target
// writes the white (memory bytes, or a PatBlt); this class only keeps the books, in the target's
// own units across a row (bytes for a raster, columns for GDI).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace qm {

class PendingWhite {
public:
    // Promises white over [begin, end) across rows [top, bottom), on top of what is already
    // promised. Rows are counted in a table over [first_row, first_row + rows) (the target's
    // rows, or the clip box it may draw in), which must hold [top, bottom). False when the two
    // promises cannot be held as one (the caller then settles the old one and tries again), when
    // the old table does not hold the new rows, or when there is no memory for the table.
    bool promise(std::int32_t first_row, std::int32_t rows, std::int32_t top, std::int32_t bottom,
                 std::int64_t begin, std::int64_t end)
    {
        if (top >= bottom || begin >= end)
            return true;
        if (count_ > 0) {
            // One promise of one range holds both when every row of the old one still owes white
            // and the new one lies within it, or takes exactly its rows over a range that meets
            // or touches the owed one (each row then owes the union); or when the new one covers
            // the old.
            const bool old_whole = count_ == bottom_ - top_;
            if (old_whole && top >= top_ && bottom <= bottom_ && begin >= begin_ && end <= end_)
                return true;
            if (old_whole && top == top_ && bottom == bottom_ && begin <= end_ && end >= begin_) {
                begin_ = std::min(begin_, begin);
                end_ = std::max(end_, end);
                return true;
            }
            if (!(top <= top_ && bottom >= bottom_ && begin <= begin_ && end >= end_))
                return false;
            if (top < first_row_ || bottom > first_row_ + rows_)
                return false; // the table is the old one's, and these rows lie outside it
        } else {
            // Nothing owed: every flag is clear, and the table may start anew at `first_row`.
            if (!owed_ || rows_ != rows) {
                owed_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(rows)]());
                rows_ = owed_ ? rows : 0;
                if (!owed_)
                    return false;
            }
            first_row_ = first_row;
        }
        std::memset(owed_.get() + (top - first_row_), 1, static_cast<std::size_t>(bottom - top));
        count_ = bottom - top;
        top_ = top;
        bottom_ = bottom;
        begin_ = begin;
        end_ = end;
        return true;
    }

    bool any() const { return count_ > 0; }
    bool owes(std::int32_t y) const
    {
        return count_ > 0 && y >= top_ && y < bottom_ && owed_[y - first_row_];
    }
    // The range across each owing row that is white.
    std::int64_t begin() const { return begin_; }
    std::int64_t end() const { return end_; }

    // Settles rows [top, bottom): for each run of owing rows [a, b), calls `write(a, b, from,
    // to)` for the white range but [keep_begin, keep_end), which the caller is about to
    // overwrite (one call, or one each side of it; none for a side that is empty), then
    // `settled(a, b)`. Those rows then owe nothing.
    template <typename Write, typename Settled>
    void settle(std::int64_t top, std::int64_t bottom, std::int64_t keep_begin,
                std::int64_t keep_end, Write&& write, Settled&& settled)
    {
        const std::int64_t to = std::min<std::int64_t>(bottom, bottom_);
        for (std::int64_t y = std::max<std::int64_t>(top, top_); y < to && count_ > 0;) {
            if (!owed_[y - first_row_]) {
                ++y;
                continue;
            }
            std::int64_t run_end = y;
            for (; run_end < to && owed_[run_end - first_row_]; ++run_end)
                owed_[run_end - first_row_] = 0;
            count_ -= static_cast<std::int32_t>(run_end - y);
            const auto a = static_cast<std::int32_t>(y), b = static_cast<std::int32_t>(run_end);
            if (keep_begin >= keep_end) {
                write(a, b, begin_, end_);
            } else {
                const std::int64_t left_end = std::min(end_, keep_begin);
                if (begin_ < left_end)
                    write(a, b, begin_, left_end);
                const std::int64_t right_begin = std::max(begin_, keep_end);
                if (right_begin < end_)
                    write(a, b, right_begin, end_);
            }
            settled(a, b);
            y = run_end;
        }
    }
    template <typename Write>
    void settle(std::int64_t top, std::int64_t bottom, std::int64_t keep_begin,
                std::int64_t keep_end, Write&& write)
    {
        settle(top, bottom, keep_begin, keep_end, write, [](std::int32_t, std::int32_t) {});
    }
    // Settles every row.
    template <typename Write> void settle_all(Write&& write)
    {
        if (count_ > 0)
            settle(top_, bottom_, 0, 0, write);
    }

private:
    std::unique_ptr<std::uint8_t[]> owed_; // owed_[y - first_row_] is 1 while row y owes white
    std::int32_t rows_ = 0;                // rows owed_ has room for
    std::int32_t first_row_ = 0;
    std::int32_t count_ = 0;            // rows that owe white
    std::int32_t top_ = 0, bottom_ = 0; // every owing row lies in [top_, bottom_)
    std::int64_t begin_ = 0, end_ = 0;  // the range of each owing row that is white
};

} // namespace qm
