// PNG through libpng, into memory: rows handed over one at a time, the compressed stream
// appended to a buffer as libpng gives it, in one pass.

#include "platform/PngWriter.h"

#include "base/Errors.h"

#include <png.h>

#include <csetjmp>
#include <string>

namespace vellocar::platform {

namespace {

constexpr std::size_t kBytesPerPixel = 4;
// zlib's level 3: within a fifth of the default level's size for game textures, in a third of
// its time (a 2048 x 2048 texture in well under a second).
constexpr int kCompressionLevel = 3;

// What the callbacks share with the encoder: where the bytes go, and why libpng gave up.
struct TSink {
    std::vector<std::uint8_t>* Out = nullptr;
    std::string Error;
};

TSink& SinkOf(png_structp png) { return *static_cast<TSink*>(png_get_error_ptr(png)); }

void Append(png_structp png, png_bytep data, png_size_t size) {
    TSink& sink = SinkOf(png);
    bool full = false;
    try {
        sink.Out->insert(sink.Out->end(), data, data + size);
    } catch (const std::bad_alloc&) {
        full = true;
    }
    // Outside the handler: png_error leaves by longjmp.
    if (full) png_error(png, "out of memory");
}

void Flush(png_structp) {}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    SinkOf(png).Error = message ? message : "no reason given";
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void WriteRows(png_structp png, png_infop info, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgba) {
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kCompressionLevel);
    png_write_info(png, info);
    const std::size_t rowBytes = std::size_t{width} * kBytesPerPixel;
    for (std::uint32_t row = 0; row < height; ++row) png_write_row(png, rgba + rowBytes * row);
    png_write_end(png, nullptr);
}

// The part that libpng may leave by longjmp: no object with a destructor lives in this frame,
// and nothing in it changes after setjmp.
bool Encode(png_structp png, png_infop info, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgba) {
    if (setjmp(png_jmpbuf(png))) return false;
    WriteRows(png, info, width, height, rgba);
    return true;
}

} // namespace

std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
    const std::string what =
        "Cannot write a PNG of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width == 0 || height == 0 || width > PNG_UINT_31_MAX / kBytesPerPixel ||
        rgba.size() / kBytesPerPixel / width != height || rgba.size() % (kBytesPerPixel * width) != 0)
        throw EVellocarError(what + " from " + std::to_string(rgba.size()) + " bytes");
    std::vector<std::uint8_t> out;
    out.reserve(rgba.size() / 4);
    TSink sink{&out, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool done = false;
    if (info) {
        png_set_write_fn(png, &sink, Append, Flush);
        done = Encode(png, info, width, height, rgba.data());
    } else {
        sink.Error = "out of memory";
    }
    png_destroy_write_struct(&png, &info);
    if (!done) throw EVellocarError(what + ": libpng: " + sink.Error);
    return out;
}

} // namespace vellocar::platform
