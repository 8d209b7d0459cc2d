#pragma once
// What the texture decoders share: the checks a picture's size passes before anything is
// allocated for it, and the decoding of DXT blocks (used by both forms of DDS).

#include "media/Textures.h"

#include <cstdint>
#include <string>

namespace vellocar::media::detail {

// Raises EDecodeError with message.
[[noreturn]] void Refuse(const std::string& message);

// Refuses a width or height of 0 or past kMaxImageSide, naming the format (what) and the sides.
void CheckSides(const char* what, std::uint64_t width, std::uint64_t height);

// A picture of that size (whose sides CheckSides passed), all pixels 0, for a decoder to fill.
TImage NewImage(std::uint32_t width, std::uint32_t height, std::string format);

// Where the pixel at column x of a picture's stored row lands, when the stored rows run top
// first (topFirst) or bottom first: the index of its first byte in TImage::Rgba.
inline std::size_t PixelAt(const TImage& image, std::uint32_t x, std::uint32_t storedRow, bool topFirst) {
    const std::uint32_t y = topFirst ? storedRow : image.Height - 1 - storedRow;
    return (std::size_t{y} * image.Width + x) * kRgbaBytesPerPixel;
}

// The block compressions of DDS: 4 x 4 pixels in 8 bytes (DXT1) or 16 (DXT3, DXT5).
enum class TDxt { Dxt1, Dxt3, Dxt5 };

inline constexpr std::uint32_t kDxtBlockSide = 4;

std::uint32_t DxtBlockBytes(TDxt kind);

// The bytes of one level of width x height pixels: whole blocks, at least one.
std::uint64_t DxtLevelBytes(TDxt kind, std::uint64_t width, std::uint64_t height);

// Decodes the blocks at data (DxtLevelBytes of them, in the format's own order: block rows top
// first) into image, whose size is the level's. With topFirst unset the picture is turned
// upside down on the way, as the game draws it.
void DecodeDxt(TDxt kind, const std::uint8_t* data, TImage& image, bool topFirst);

} // namespace vellocar::media::detail
