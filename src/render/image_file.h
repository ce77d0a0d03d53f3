// Writes a raster canvas or a preview cache as an image file: PNG (8-bit RGB, through libpng,
// when this build has it) or binary PPM (P6, maxval 255, always).
//
// Every writer returns true on success. On failure it returns false and writes a one-line reason
// into `error`, without the file name, which the caller puts in its own message (truncated to
// `error_size` bytes, always terminated; `error` may be null). A file that failed half way is left
// as far as it got.
#pragma once

#include <cstddef>
#include <cstdio>

namespace qm {

class RasterCanvas;
class PreviewSurface;

// True when this build can write PNG files.
bool png_supported();

// Why this build cannot write an image of the type `path` names (by its ending), in one line
// that says what it can write; null when it can.
const char* image_type_refusal(const char* path);

bool write_ppm(const char* path, const RasterCanvas& canvas, char* error, std::size_t error_size);
bool write_png(const char* path, const RasterCanvas& canvas, char* error, std::size_t error_size);

// The preview's 5-bit channels are widened to 8 bits as (v << 3) | (v >> 2).
bool write_ppm(const char* path, const PreviewSurface& cache, char* error,
               std::size_t error_size);
bool write_png(const char* path, const PreviewSurface& cache, char* error,
               std::size_t error_size);

// PNG when the path ends in ".png", PPM when it ends in ".ppm" (either in any case); any other
// name is refused.
bool write_image(const char* path, const RasterCanvas& canvas, char* error,
                 std::size_t error_size);
bool write_image(const char* path, const PreviewSurface& cache, char* error,
                 std::size_t error_size);

// The same images written into an open stream (standard output), which is flushed but not
// closed. A format this build cannot write is refused with a reason.
enum class ImageFormat { Ppm, Png };
bool write_image_to(std::FILE* out, ImageFormat format, const RasterCanvas& canvas, char* error,
                    std::size_t error_size);
bool write_image_to(std::FILE* out, ImageFormat format, const PreviewSurface& cache, char* error,
                    std::size_t error_size);

} // namespace qm
