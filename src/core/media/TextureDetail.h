#pragma once
// What the texture decoders share: the checks a picture's size passes before anything is
// allocated for it, the decoding of DXT blocks (used by both forms of DDS), a DDS's levels, and
// the pixels as a window shows them.

#include "media/Textures.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// The same blocks straight into the words a window shows (ShownWord of each pixel), out holding
// width x height of them: the largest textures are decoded once, into the buffer that is drawn,
// with no picture of RGBA bytes in between.
void ShowDxt(TDxt kind, const std::uint8_t* data, std::uint32_t width, std::uint32_t height, bool topFirst,
             TChannels channels, std::uint32_t* out);

// The RGBA of the one pixel at column x of stored row storedRow, from its block alone.
std::array<std::uint8_t, 4> DxtPixel(TDxt kind, const std::uint8_t* data, std::uint32_t width, std::uint32_t x,
                                     std::uint32_t storedRow);

// A DDS's mipmap level: its sides, and where its data starts in the file's bytes.
struct TDdsLevel {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::size_t Offset = 0;
};

// What a DDS's header says, checked against its bytes: how it is stored and the levels the bytes
// hold whole (at least the largest).
struct TDdsLayout {
    std::optional<TDxt> Dxt; // nothing: uncompressed
    std::string Format;
    std::vector<TDdsLevel> Levels;
    // Uncompressed only: bytes a pixel, the largest level's bytes a row, the masks of red,
    // green, blue and alpha (0: absent).
    std::uint32_t BytesPerPixel = 0;
    std::uint64_t Pitch = 0;
    std::array<std::uint32_t, 4> Masks{};
};

// Raises EDecodeError as DecodeDds does.
TDdsLayout ReadDdsLayout(std::span<const std::uint8_t> bytes);

// ---- Shown pixels ----

// The side of the checkerboard's cells behind transparent pixels.
inline constexpr std::uint32_t kCheckerCell = 8;
inline constexpr std::uint32_t kLightCell = 0xCC;
inline constexpr std::uint32_t kDarkCell = 0x99;
inline constexpr std::uint32_t kOpaque = 0xFF000000;

// The checkerboard's grey at the shown pixel x, y.
inline std::uint32_t CheckerAt(std::uint32_t x, std::uint32_t y) {
    return ((x / kCheckerCell) ^ (y / kCheckerCell)) & 1 ? kDarkCell : kLightCell;
}

// x / 255, rounded, for x up to 255 * 255, without a division.
constexpr std::uint32_t DivideBy255(std::uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}
static_assert(DivideBy255(255 * 255) == 255 && DivideBy255(127) == 0 && DivideBy255(128) == 1);

// One pixel as a window shows it, 0xAARRGGBB with alpha 255: over the checkerboard's grey back
// (Rgba), its colour alone (Rgb), or its alpha as grey (Alpha).
inline std::uint32_t ShownWord(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a, TChannels channels,
                               std::uint32_t back) {
    switch (channels) {
        case TChannels::Rgb:
            return kOpaque | r << 16 | g << 8 | b;
        case TChannels::Alpha:
            return kOpaque | a * 0x010101u;
        case TChannels::Rgba:
            break;
    }
    if (a == 255) return kOpaque | r << 16 | g << 8 | b;
    const std::uint32_t behind = back * (255 - a);
    return kOpaque | DivideBy255(r * a + behind) << 16 | DivideBy255(g * a + behind) << 8 | DivideBy255(b * a + behind);
}

} // namespace vellocar::media::detail
