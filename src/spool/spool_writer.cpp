#include "spool/spool_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qm {
namespace {

constexpr std::size_t MaxRun = 64;

void put_be16(Bytes& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put_be32(Bytes& out, std::uint32_t v)
{
    put_be16(out, v >> 16);
    put_be16(out, v & 0xFFFF);
}

void set_be32(Bytes& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<std::uint8_t>(v >> 24);
    out[at + 1] = static_cast<std::uint8_t>(v >> 16);
    out[at + 2] = static_cast<std::uint8_t>(v >> 8);
    out[at + 3] = static_cast<std::uint8_t>(v);
}

} // namespace

void append_run(Bytes& out, RunOp op, std::size_t n, const std::uint8_t* data)
{
    out.push_back(static_cast<std::uint8_t>(((n - 1) << 2) | static_cast<std::uint8_t>(op)));
    if (op == RunOp::Fill)
        out.push_back(data ? data[0] : 0);
    else if (op == RunOp::Literal)
        out.insert(out.end(), data, data + n);
}

Bytes run_encode(const std::uint8_t* image, std::size_t size, std::size_t stride)
{
    Bytes out;
    std::size_t p = 0;
    std::size_t literal_start = 0;
    auto flush_literal = [&](std::size_t end) {
        while (literal_start < end) {
            const std::size_t n = std::min(MaxRun, end - literal_start);
            append_run(out, RunOp::Literal, n, image + literal_start);
            literal_start += n;
        }
    };
    while (p < size) {
        const std::size_t limit = std::min(MaxRun, size - p);
        std::size_t zeros = 0, same = 1, above = 0;
        while (zeros < limit && image[p + zeros] == 0)
            ++zeros;
        while (same < limit && image[p + same] == image[p])
            ++same;
        if (p >= stride && stride > 0)
            while (above < limit && image[p + above] == image[p + above - stride])
                ++above;
        RunOp op = RunOp::Literal;
        std::size_t n = 0;
        if (above >= 2 && above >= zeros && above >= same) {
            op = RunOp::CopyAbove;
            n = above;
        } else if (zeros >= 2 && zeros >= same) {
            op = RunOp::Zero;
            n = zeros;
        } else if (same >= 3) {
            op = RunOp::Fill;
            n = same;
        }
        if (n == 0) {
            ++p; // stays in the literal under way
            continue;
        }
        flush_literal(p);
        append_run(out, op, n, image + p);
        p += n;
        literal_start = p;
    }
    flush_literal(p);
    return out;
}

Bytes band_record(int kind, std::uint8_t flags, const BandHeader& h, const Bytes& pixels,
                  bool compress)
{
    Bytes out;
    out.push_back(static_cast<std::uint8_t>(kind));
    out.push_back(static_cast<std::uint8_t>(compress ? (flags | FlagCompressed)
                                                     : (flags & ~FlagCompressed)));
    for (std::uint16_t v : {h.width, h.height, h.left, h.top, h.dpi_x, h.dpi_y})
        put_be16(out, v);
    put_be32(out, 0);
    if (compress) {
        const Bytes coded = run_encode(pixels.data(), pixels.size(),
                                       static_cast<std::size_t>(row_bytes(kind, h.width)));
        out.insert(out.end(), coded.begin(), coded.end());
    } else {
        out.insert(out.end(), pixels.begin(), pixels.end());
    }
    return out;
}

Bytes text_record(std::uint8_t flags, std::string_view text)
{
    Bytes out(2 + text.size());
    out[0] = static_cast<std::uint8_t>(KindText);
    out[1] = flags;
    if (!text.empty())
        std::memcpy(out.data() + 2, text.data(), text.size());
    return out;
}

Bytes build_spool(const SpoolImage& image)
{
    const std::size_t n = image.records.size();
    const std::size_t list_at = 78;
    // The header, the list, the format's two pad bytes, the records, the trailer: sized at once.
    std::size_t size = list_at + 8 * n + 2 + image.trailer.size();
    for (const Bytes& r : image.records)
        size += r.size();
    Bytes out(size, 0);

    const char name[] = "Quillmark Spool File";
    std::memcpy(out.data(), name, sizeof name - 1);
    std::memcpy(out.data() + 60, "SpolQmrk", 8); // type and creator: never examined
    const std::uint16_t count = image.count.value_or(static_cast<std::uint16_t>(n));
    out[76] = static_cast<std::uint8_t>(count >> 8);
    out[77] = static_cast<std::uint8_t>(count);
    std::size_t at = list_at + 8 * n + 2;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& forced = i < image.positions.size() ? image.positions[i] : std::nullopt;
        set_be32(out, list_at + 8 * i, forced.value_or(static_cast<std::uint32_t>(at)));
        set_be32(out, list_at + 8 * i + 4, static_cast<std::uint32_t>(i)); // attributes, unique id
        if (!image.records[i].empty())
            std::memcpy(out.data() + at, image.records[i].data(), image.records[i].size());
        at += image.records[i].size();
    }
    if (!image.trailer.empty())
        std::memcpy(out.data() + at, image.trailer.data(), image.trailer.size());
    return out;
}

bool write_file(const char* path, const Bytes& bytes)
{
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path, "wb"));
    if (!f)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
        return false;
    return std::fclose(f.release()) == 0;
}

} // namespace qm
