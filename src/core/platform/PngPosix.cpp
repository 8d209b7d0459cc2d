// PNG through libpng's simplified writing interface, into memory.

#include "PngWriter.h"

#include "Errors.h"

#include <png.h>

#include <string>

namespace vellocar::platform {

std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
    constexpr std::uint64_t kBytesPerPixel = 4;
    if (width == 0 || height == 0 || width > PNG_UINT_31_MAX / kBytesPerPixel ||
        rgba.size() / kBytesPerPixel / width != height || rgba.size() % (kBytesPerPixel * width) != 0)
        throw EVellocarError("Cannot write a PNG of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels from " + std::to_string(rgba.size()) + " bytes");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    const auto stride = static_cast<png_int_32>(kBytesPerPixel * width);

    // Textures compress well: half the pixels' size is a first guess, and libpng says how much
    // it needs when that is too little.
    std::vector<std::uint8_t> png(rgba.size() / 2 + 1024);
    for (int attempt = 0; attempt < 2; ++attempt) {
        png_alloc_size_t size = png.size();
        if (png_image_write_to_memory(&image, png.data(), &size, 0, rgba.data(), stride, nullptr)) {
            png.resize(size);
            return png;
        }
        if (size <= png.size()) break; // a failure of its own, not a lack of room
        png.resize(size);
        png_image_free(&image);
        image.warning_or_error = 0;
    }
    const std::string reason = image.message[0] ? image.message : "no reason given";
    png_image_free(&image);
    throw EVellocarError("Cannot write a PNG of " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels: libpng: " + reason);
}

} // namespace vellocar::platform
