#include "spool/spool_stream.h"

#include <algorithm>
#include <cstring>

namespace qm {
namespace {

constexpr std::size_t BufferSize = 64 * 1024;

int seek_file(std::FILE* f, std::int64_t pos, int whence)
{
#ifdef _WIN32
    return _fseeki64(f, pos, whence);
#else
    return fseeko(f, static_cast<off_t>(pos), whence);
#endif
}

std::int64_t tell_file(std::FILE* f)
{
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<std::int64_t>(ftello(f));
#endif
}

} // namespace

SpoolStream SpoolStream::open_file(const char* path)
{
    return adopt_file(std::fopen(path, "rb"));
}

SpoolStream SpoolStream::adopt_file(std::FILE* file)
{
    SpoolStream s;
    s.file_.reset(file);
    if (s.file_) {
        // Our own buffer replaces stdio's, so stdio's would only be a second copy.
        std::setvbuf(s.file_.get(), nullptr, _IONBF, 0);
        s.buffer_.reset(new std::uint8_t[BufferSize]);
        s.window_ = s.cur_ = s.end_ = s.buffer_.get();
    }
    return s;
}

SpoolStream SpoolStream::from_memory(const std::uint8_t* data, std::size_t size)
{
    static const std::uint8_t empty = 0;
    SpoolStream s;
    s.memory_ = data ? data : &empty;
    s.memory_size_ = data ? size : 0;
    s.window_ = s.cur_ = s.memory_;
    s.end_ = s.memory_ + s.memory_size_;
    return s;
}

bool SpoolStream::refill()
{
    const std::int64_t pos = tell();
    if (memory_) {
        // The whole block is the window; reaching its end is end of file.
        return false;
    }
    if (!file_)
        return false;
    window_pos_ = pos;
    window_ = cur_ = end_ = buffer_.get();
    if (seek_file(file_.get(), pos, SEEK_SET) != 0)
        return false;
    const std::size_t got = std::fread(buffer_.get(), 1, BufferSize, file_.get());
    end_ = window_ + got;
    return got > 0;
}

std::size_t SpoolStream::read(std::uint8_t* dst, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        if (cur_ == end_) {
            // A large read of a file goes straight to the destination.
            if (file_ && n - done >= BufferSize) {
                const std::int64_t pos = tell();
                if (seek_file(file_.get(), pos, SEEK_SET) != 0)
                    break;
                const std::size_t got = std::fread(dst + done, 1, n - done, file_.get());
                done += got;
                window_pos_ = pos + static_cast<std::int64_t>(got);
                window_ = cur_ = end_ = buffer_.get();
                break;
            }
            if (!refill())
                break;
        }
        const std::size_t chunk =
            std::min<std::size_t>(n - done, static_cast<std::size_t>(end_ - cur_));
        std::memcpy(dst + done, cur_, chunk);
        cur_ += chunk;
        done += chunk;
    }
    return done;
}

void SpoolStream::seek(std::int64_t pos)
{
    if (pos < 0)
        pos = 0;
    if (pos >= window_pos_ && pos <= window_pos_ + (end_ - window_)) {
        cur_ = window_ + (pos - window_pos_);
        return;
    }
    if (memory_) {
        if (pos <= static_cast<std::int64_t>(memory_size_)) {
            window_pos_ = 0;
            window_ = memory_;
            cur_ = memory_ + pos;
            end_ = memory_ + memory_size_;
        } else {
            // Past the end of the block: an empty window at the requested position.
            window_pos_ = pos;
            window_ = cur_ = end_ = memory_ + memory_size_;
        }
        return;
    }
    window_pos_ = pos;
    window_ = cur_ = end_ = buffer_ ? buffer_.get() : nullptr;
}

std::int64_t SpoolStream::size() const
{
    if (memory_)
        return static_cast<std::int64_t>(memory_size_);
    if (!file_ || seek_file(file_.get(), 0, SEEK_END) != 0)
        return 0;
    // The buffered window stays valid: the next refill seeks absolutely anyway.
    return tell_file(file_.get());
}

} // namespace qm
