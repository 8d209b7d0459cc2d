#pragma once
// The game's textures as pictures: TGA, DDS (with the standard header or the game's own older
// one) and PLT, each decoded from its bytes into 8-bit RGBA. Pure functions, no file system.
//
// Every decoder checks the header against the bytes it is given before it allocates anything:
// a side past kMaxImageSide, or pixels that the data cannot hold, is refused with
// EDecodeError, so that a picture never costs more than Width x Height x 4 bytes beside its
// input, whatever the header claims.
//
// Orientation: the rows come out top first, as a picture is shown. The game draws the first
// stored row of a DDS or a PLT at the bottom (its DDS files are stored flipped against the
// format's own top-down rule, and tools made for the game flip them back), so both are turned
// the right way up here; a TGA says where its first row goes.

#include "names/ResourceTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellocar::media {

// The largest width or height accepted: as large as any texture the game draws (its largest
// are 4,096 a side), and a picture of it fits in memory (8,192 x 8,192 x 4 bytes = 256 MiB).
// A larger side is refused from the header, before any pixel is decoded.
inline constexpr std::uint32_t kMaxImageSide = 8192;

inline constexpr std::size_t kRgbaBytesPerPixel = 4;

// A decoded picture and what it was stored as.
struct TImage {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    // Width x Height pixels of 4 bytes (red, green, blue, alpha), rows top first.
    std::vector<std::uint8_t> Rgba;
    // How the file stores it, for a status line: "TGA, 32 bits, run-length, origin bottom left",
    // "DDS, DXT5", "DDS (the game's header), DXT1", "PLT, layers in fixed colours".
    std::string Format;
    // How many mipmap levels the file holds, the largest (the one decoded) included; 1 for a
    // format without mipmaps.
    std::uint32_t Mipmaps = 1;
};

// The texture formats, by resource type.
enum class TTextureType { Tga, Dds, Plt };

// The texture format of a resource type (tga 3, dds 2033, plt 6); nothing for any other type.
std::optional<TTextureType> TextureTypeOf(TResType resType);

// A TGA of type 2 (true colour, 24 or 32 bits), 3 (grey, 8 bits) or 10 (true colour,
// run-length, 24 or 32 bits), either origin. A 24-bit or grey picture is opaque.
TImage DecodeTga(std::span<const std::uint8_t> bytes);

// A DDS: with the "DDS " header (DXT1, DXT3, DXT5, or uncompressed RGB of 24 or 32 bits, with
// or without alpha), or with the game's older 20-byte header (width, height, 3 channels for
// DXT1 or 4 for DXT5, the data's size, the mean alpha) and no magic. The largest mipmap only.
TImage DecodeDds(std::span<const std::uint8_t> bytes);

// A PLT ("PLT V1  ", 8 bytes, width, height, then a value and a layer byte per pixel): each
// pixel in its layer's colour (PltLayerColour), as bright as its value. Opaque.
TImage DecodePlt(std::span<const std::uint8_t> bytes);

// The decoder of that format.
TImage DecodeTexture(TTextureType type, std::span<const std::uint8_t> bytes);

// The number of layers of a PLT: skin, hair, metal 1 and 2, cloth 1 and 2, leather 1 and 2,
// tattoo 1 and 2.
inline constexpr std::size_t kPltLayers = 10;

// A PLT layer's name ("skin", "metal 1", ...) and the colour (red, green, blue) that shows it
// at full value; a layer past the ten shows in grey, named "layer <n>".
struct TPltLayer {
    std::string Name;
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
};
TPltLayer PltLayerColour(std::uint8_t layer);

// What a window shows of a picture: each pixel over a checkerboard of cells of cellSize pixels
// (light and dark grey) where it is transparent, as 0xAARRGGBB words with alpha 255, rows top
// first: the layout of Qt's QImage::Format_RGB32 and of a 32-bit Windows DIB section.
std::vector<std::uint32_t> OverCheckerboard(const TImage& image, std::uint32_t cellSize = 8);

} // namespace vellocar::media
