// A read-only byte stream over a spool file (or a block of memory) with absolute seeks.
//
// The spool layer reads its files a byte at a time and positions itself absolutely, and several
// callers compare record positions with the stream position, so every position here is the
// exact byte offset a plain stdio stream would report. The buffering underneath is our own:
// byte reads are an inline pointer bump, and a seek that lands inside the buffered window moves
// no data at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace qm {

class SpoolStream {
public:
    // An unopened stream: every read meets end of file.
    SpoolStream() = default;

    // Opens a file for binary reading; is_open() tells whether that worked.
    static SpoolStream open_file(const char* path);
    // Reads from a file already opened for binary reading, and closes it in the end; null
    // gives an unopened stream.
    static SpoolStream adopt_file(std::FILE* file);
    // Reads a block of memory that the caller keeps alive for the stream's lifetime.
    static SpoolStream from_memory(const std::uint8_t* data, std::size_t size);

    SpoolStream(SpoolStream&&) noexcept = default;
    SpoolStream& operator=(SpoolStream&&) noexcept = default;
    SpoolStream(const SpoolStream&) = delete;
    SpoolStream& operator=(const SpoolStream&) = delete;

    bool is_open() const { return file_ != nullptr || memory_ != nullptr; }

    // The next byte, or -1 at end of file (the position then stays where it is).
    int get()
    {
        if (cur_ == end_ && !refill())
            return -1;
        return *cur_++;
    }

    // Copies up to n bytes; returns how many there were before end of file.
    std::size_t read(std::uint8_t* dst, std::size_t n);

    // The bytes already buffered from the read position on, for a decoder that parses them in
    // place: the next buffered_size() bytes of the file start at buffered(). consume(n), with n
    // at most buffered_size(), moves the position past n of them exactly as n get() calls
    // would. The buffer holds less than the rest of the file whenever a refill is due; get() and
    // read() refill it.
    const std::uint8_t* buffered() const { return cur_; }
    std::size_t buffered_size() const { return static_cast<std::size_t>(end_ - cur_); }
    void consume(std::size_t n) { cur_ += n; }

    // Absolute positioning, as with fseek(SEEK_SET): a position past the end is allowed and
    // simply reads nothing.
    void seek(std::int64_t pos);
    std::int64_t tell() const { return window_pos_ + (cur_ - window_); }

    // Length of the underlying file, asked of the file each time.
    std::int64_t size() const;

private:
    bool refill();

    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    const std::uint8_t* memory_ = nullptr;
    std::size_t memory_size_ = 0;

    // The buffered window: bytes [window_, end_) stand at file offsets from window_pos_ on.
    const std::uint8_t* window_ = nullptr;
    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    std::int64_t window_pos_ = 0;
};

} // namespace qm
