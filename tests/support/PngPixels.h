#pragma once
// PNG files read back by libpng, as ordinary viewers read them (Linux only: the Windows stage
// compares the Windows tool's PNGs with ImageMagick). Nothing here uses the program's own code.

#include <png.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace vellocar::test {

// The RGBA pixels of a PNG, rows top first; empty when it does not read.
inline std::vector<std::uint8_t> ReadPng(std::string_view png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<std::uint8_t> rgba;
    if (png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        image.format = PNG_FORMAT_RGBA;
        rgba.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) rgba.clear();
    }
    png_image_free(&image);
    return rgba;
}

} // namespace vellocar::test
