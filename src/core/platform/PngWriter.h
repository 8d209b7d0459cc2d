#pragma once
// Pictures written as PNG through the system's own encoder: libpng on Linux (PngPosix.cpp), the
// Windows Imaging Component on Windows (PngWin32.cpp).

#include "platform/Platform.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vellocar::platform {

// The PNG (8-bit RGBA, not interlaced) of width x height pixels of 4 bytes each (red, green,
// blue, alpha; rows top first). Raises EVellocarError when rgba does not hold that many pixels
// or the encoder fails, with the encoder's reason.
std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba);

// The same, written to file at its current position (EWriteError when the write fails).
inline void WritePng(File& file, std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
    const std::vector<std::uint8_t> png = EncodePng(width, height, rgba);
    file.WriteAll(png.data(), png.size());
}

} // namespace vellocar::platform
