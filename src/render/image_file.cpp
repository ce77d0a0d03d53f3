#include "render/image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "render/canvas.h"
#include "render/raster_canvas.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define QM_SHUFFLE_BYTES 1
#endif
#if defined(__GNUC__)
#define QM_RESTRICT __restrict__
#else
#define QM_RESTRICT
#endif

#if QM_HAVE_PNG
#include <csetjmp>
#include <png.h>
#endif

namespace qm {
namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
void set_error(char* error, std::size_t error_size, const char* format, ...)
{
    if (!error || error_size == 0)
        return;
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(error, error_size, format, args);
    va_end(args);
}

// An image as the writers see it: rows of 8-bit red, green, blue, produced one at a time so
// that no second copy of a page is ever held.
struct ImageRows {
    std::int32_t width = 0;
    std::int32_t height = 0;
    const void* source = nullptr;
    void (*fill)(const void* source, std::int32_t y, std::uint8_t* rgb) = nullptr;
};

// Blue, green, red to red, green, blue: a Letter page at 600 dpi is 34 million pixels, and the
// plain loop over their bytes took as long as writing the file. SSSE3 reverses five pixels per
// 16-byte shuffle (the sixteenth byte, the next pixel's first, is written again by the next
// step); the processor is asked once whether it has SSSE3, and the plain loop does the rest.
void swap_red_blue(const std::uint8_t* QM_RESTRICT bgr, std::uint8_t* QM_RESTRICT rgb,
                   std::int32_t width, std::int32_t x)
{
    for (bgr += 3 * x, rgb += 3 * x; x < width; ++x, bgr += 3, rgb += 3) {
        rgb[0] = bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = bgr[0];
    }
}

#if QM_SHUFFLE_BYTES
__attribute__((target("ssse3"))) void swap_red_blue_ssse3(const std::uint8_t* bgr,
                                                          std::uint8_t* rgb, std::int32_t width)
{
    const __m128i reverse_triples =
        _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::int32_t x = 0;
    for (; x + 6 <= width; x += 5) { // 16 bytes read and written: 5 pixels and a byte of the 6th
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x),
                         _mm_shuffle_epi8(v, reverse_triples));
    }
    swap_red_blue(bgr, rgb, width, x);
}

bool have_ssse3()
{
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}
#endif

void fill_from_canvas(const void* source, std::int32_t y, std::uint8_t* rgb)
{
    const auto& canvas = *static_cast<const RasterCanvas*>(source);
#if QM_SHUFFLE_BYTES
    if (have_ssse3()) {
        swap_red_blue_ssse3(canvas.row(y), rgb, canvas.width());
        return;
    }
#endif
    swap_red_blue(canvas.row(y), rgb, canvas.width(), 0);
}

void fill_from_preview(const void* source, std::int32_t y, std::uint8_t* rgb)
{
    const auto& cache = *static_cast<const PreviewSurface*>(source);
    for (std::int32_t x = 0; x < cache.width(); ++x, rgb += 3) {
        const unsigned v = cache.pixel(x, y);
        const unsigned r = v >> 10 & 0x1F, g = v >> 5 & 0x1F, b = v & 0x1F;
        rgb[0] = static_cast<std::uint8_t>(r << 3 | r >> 2);
        rgb[1] = static_cast<std::uint8_t>(g << 3 | g >> 2);
        rgb[2] = static_cast<std::uint8_t>(b << 3 | b >> 2);
    }
}

ImageRows rows_of(const RasterCanvas& canvas)
{
    return ImageRows{canvas.width(), canvas.height(), &canvas, fill_from_canvas};
}

ImageRows rows_of(const PreviewSurface& cache)
{
    return ImageRows{cache.width(), cache.height(), &cache, fill_from_preview};
}

// A file opened for binary writing, closed on every way out. A failed image is left as far as
// it got: the path may name something that is not ours to remove (a device, a pipe).
class OutputFile {
public:
    explicit OutputFile(const char* path) : file_(std::fopen(path, "wb")) {}
    ~OutputFile()
    {
        if (file_)
            std::fclose(file_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* get() const { return file_; }

    // Flushes and closes: false when the data could not all be written.
    bool close()
    {
        std::FILE* f = file_;
        file_ = nullptr;
        return std::fclose(f) == 0;
    }

private:
    std::FILE* file_;
};

// Checks what every writer needs before it opens the file.
bool check_image(const char* path, const ImageRows& image, char* error, std::size_t error_size)
{
    if (!path || !*path) {
        set_error(error, error_size, "no output file name given");
        return false;
    }
    if (image.width <= 0 || image.height <= 0) {
        set_error(error, error_size, "the image is empty (%d x %d pixels)",
                  static_cast<int>(image.width), static_cast<int>(image.height));
        return false;
    }
    return true;
}

// Rows are written to a PPM in blocks of about this many bytes: large writes, and still no
// second copy of the page.
constexpr std::size_t PpmBlockBytes = 1 << 20;

// Writes the PPM into an open stream, without closing it.
bool put_ppm_rows(std::FILE* out, const ImageRows& image, char* error, std::size_t error_size)
{
    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * 3;
    const std::int32_t block_rows = static_cast<std::int32_t>(
        std::min<std::size_t>(std::max<std::size_t>(PpmBlockBytes / row_bytes, 1),
                              static_cast<std::size_t>(image.height)));
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[row_bytes * block_rows]);
    if (!block) {
        set_error(error, error_size, "out of memory");
        return false;
    }
    if (std::fprintf(out, "P6\n%d %d\n255\n", static_cast<int>(image.width),
                     static_cast<int>(image.height)) < 0) {
        set_error(error, error_size, "write failed: %s", std::strerror(errno));
        return false;
    }
    for (std::int32_t y = 0; y < image.height; y += block_rows) {
        const std::int32_t rows = std::min(block_rows, image.height - y);
        for (std::int32_t i = 0; i < rows; ++i)
            image.fill(image.source, y + i, block.get() + row_bytes * static_cast<std::size_t>(i));
        const std::size_t bytes = row_bytes * static_cast<std::size_t>(rows);
        if (std::fwrite(block.get(), 1, bytes, out) != bytes) {
            set_error(error, error_size, "write failed: %s", std::strerror(errno));
            return false;
        }
    }
    return true;
}

// Writes the image to a new file at `path` through `put`, one of the stream writers above.
bool write_rows_with(bool (*put)(std::FILE*, const ImageRows&, char*, std::size_t),
                     const char* path, const ImageRows& image, char* error, std::size_t error_size)
{
    if (!check_image(path, image, error, error_size))
        return false;
    OutputFile file(path);
    if (!file.get()) {
        set_error(error, error_size, "cannot create the file: %s", std::strerror(errno));
        return false;
    }
    if (!put(file.get(), image, error, error_size))
        return false;
    if (!file.close()) {
        set_error(error, error_size, "write failed: %s", std::strerror(errno));
        return false;
    }
    return true;
}

bool write_ppm_rows(const char* path, const ImageRows& image, char* error, std::size_t error_size)
{
    return write_rows_with(put_ppm_rows, path, image, error, error_size);
}

#if QM_HAVE_PNG

// A row of `width` RGB pixels, or null.
std::unique_ptr<std::uint8_t[]> allocate_row(std::int32_t width)
{
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow)
                                               std::uint8_t[static_cast<std::size_t>(width) * 3]);
}

struct PngErrorSink {
    char* error;
    std::size_t error_size;
};

[[noreturn]] void on_png_error(png_structp png, png_const_charp message)
{
    const auto* sink = static_cast<const PngErrorSink*>(png_get_error_ptr(png));
    set_error(sink->error, sink->error_size, "PNG encoder: %s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// libpng's write and info structures, destroyed together.
class PngWriteStruct {
public:
    explicit PngWriteStruct(PngErrorSink* sink)
    {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, on_png_error, on_png_warning);
        if (png_)
            info_ = png_create_info_struct(png_);
    }
    ~PngWriteStruct() { png_destroy_write_struct(&png_, info_ ? &info_ : nullptr); }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

void write_png_body(png_structp png, png_infop info, const ImageRows& image, std::uint8_t* row)
{
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Pages are mostly white paper; a fast level compresses them nearly as well as the
    // default and takes a fraction of the time on a 600 dpi page.
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < image.height; ++y) {
        image.fill(image.source, y, row);
        png_write_row(png, row);
    }
    png_write_end(png, info);
}

// libpng reports errors by a longjmp back to here. This frame owns nothing with a destructor,
// and the one it calls runs only our row filler and libpng, so the jump skips no cleanup.
bool encode_png(png_structp png, png_infop info, std::FILE* file, const ImageRows& image,
                std::uint8_t* row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    write_png_body(png, info, image, row);
    return true;
}

// Writes the PNG into an open stream, without closing it.
bool put_png_rows(std::FILE* out, const ImageRows& image, char* error, std::size_t error_size)
{
    std::unique_ptr<std::uint8_t[]> row = allocate_row(image.width);
    PngErrorSink sink{error, error_size};
    PngWriteStruct writer(&sink);
    if (!row || !writer.png() || !writer.info()) {
        set_error(error, error_size, "out of memory");
        return false;
    }
    return encode_png(writer.png(), writer.info(), out, image, row.get());
}

bool write_png_rows(const char* path, const ImageRows& image, char* error, std::size_t error_size)
{
    return write_rows_with(put_png_rows, path, image, error, error_size);
}

#else

bool write_png_rows(const char*, const ImageRows&, char* error, std::size_t error_size)
{
    set_error(error, error_size, "%s", image_type_refusal(".png"));
    return false;
}

#endif

// Writes the image into an open stream in the format named, and flushes it.
bool put_image_rows(std::FILE* out, ImageFormat format, const ImageRows& image, char* error,
                    std::size_t error_size)
{
    if (!check_image("-", image, error, error_size))
        return false;
#if QM_HAVE_PNG
    const bool written = format == ImageFormat::Png ? put_png_rows(out, image, error, error_size)
                                                    : put_ppm_rows(out, image, error, error_size);
#else
    if (format == ImageFormat::Png) {
        set_error(error, error_size, "this build cannot write PNG images (use ppm)");
        return false;
    }
    const bool written = put_ppm_rows(out, image, error, error_size);
#endif
    if (written && std::fflush(out) != 0) {
        set_error(error, error_size, "write failed: %s", std::strerror(errno));
        return false;
    }
    return written;
}

// True when `path` ends in `suffix` (lower case, with its dot), in any case.
bool ends_with_nocase(const char* path, const char* suffix)
{
    const std::size_t n = std::strlen(path);
    const std::size_t m = std::strlen(suffix);
    if (n < m)
        return false;
    for (std::size_t i = 0; i < m; ++i) {
        char c = path[n - m + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

bool write_image_rows(const char* path, const ImageRows& image, char* error, std::size_t error_size)
{
    if (!path || !*path) {
        set_error(error, error_size, "no output file name given");
        return false;
    }
    if (const char* refusal = image_type_refusal(path)) {
        set_error(error, error_size, "%s", refusal);
        return false;
    }
    if (ends_with_nocase(path, ".png"))
        return write_png_rows(path, image, error, error_size);
    return write_ppm_rows(path, image, error, error_size);
}

} // namespace

const char* image_type_refusal(const char* path)
{
#if QM_HAVE_PNG
    if (ends_with_nocase(path, ".png") || ends_with_nocase(path, ".ppm"))
        return nullptr;
    return "unknown image type (the name must end in .png or .ppm)";
#else
    if (ends_with_nocase(path, ".ppm"))
        return nullptr;
    if (ends_with_nocase(path, ".png"))
        return "this build writes PPM images only, not PNG (name the file .ppm)";
    return "unknown image type (this build writes PPM images only: the name must end in .ppm)";
#endif
}

bool png_supported()
{
#if QM_HAVE_PNG
    return true;
#else
    return false;
#endif
}

bool write_ppm(const char* path, const RasterCanvas& canvas, char* error, std::size_t error_size)
{
    return write_ppm_rows(path, rows_of(canvas), error, error_size);
}

bool write_png(const char* path, const RasterCanvas& canvas, char* error, std::size_t error_size)
{
    return write_png_rows(path, rows_of(canvas), error, error_size);
}

bool write_ppm(const char* path, const PreviewSurface& cache, char* error, std::size_t error_size)
{
    return write_ppm_rows(path, rows_of(cache), error, error_size);
}

bool write_png(const char* path, const PreviewSurface& cache, char* error, std::size_t error_size)
{
    return write_png_rows(path, rows_of(cache), error, error_size);
}

bool write_image(const char* path, const RasterCanvas& canvas, char* error, std::size_t error_size)
{
    return write_image_rows(path, rows_of(canvas), error, error_size);
}

bool write_image(const char* path, const PreviewSurface& cache, char* error, std::size_t error_size)
{
    return write_image_rows(path, rows_of(cache), error, error_size);
}

bool write_image_to(std::FILE* out, ImageFormat format, const RasterCanvas& canvas, char* error,
                    std::size_t error_size)
{
    return put_image_rows(out, format, rows_of(canvas), error, error_size);
}

bool write_image_to(std::FILE* out, ImageFormat format, const PreviewSurface& cache, char* error,
                    std::size_t error_size)
{
    return put_image_rows(out, format, rows_of(cache), error, error_size);
}

} // namespace qm
