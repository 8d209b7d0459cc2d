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

#include <array>
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
// DXT1 or 4 for DXT5, the data's size, the mean alpha) and no magic. Both store the mipmap
// levels the largest first; level (0: the largest) is decoded, and one the data does not hold
// whole is refused.
TImage DecodeDds(std::span<const std::uint8_t> bytes, std::size_t level = 0);

// A PLT ("PLT V1  ", 8 bytes, width, height, then a value and a layer byte per pixel): each
// pixel in its layer's colour (PltLayerColour), as bright as its value. Opaque.
TImage DecodePlt(std::span<const std::uint8_t> bytes);

// The decoder of that format; TGA and PLT have level 0 only.
TImage DecodeTexture(TTextureType type, std::span<const std::uint8_t> bytes, std::size_t level = 0);

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

// Which channels a window shows: the picture over the checkerboard, its colour without the alpha,
// or the alpha alone as grey.
enum class TChannels { Rgba, Rgb, Alpha };

// The sides of a mipmap level.
struct TLevelSides {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};

// A texture as a viewer shows it: one mipmap level at a time, with the channels chosen, as the
// words a window draws (OverCheckerboard's layout, cells of 8 pixels), in a buffer kept from one
// choice to the next. DXT levels are decoded straight into those words, so that the largest
// textures cost one pass and one buffer; the pixel under the mouse and a PNG's picture are
// decoded again from the bytes when asked for. Other formats keep their level's RGBA picture.
class TShownTexture {
public:
    // Reads the texture's header and shows level 0 over the checkerboard. bytes must outlive
    // it. Raises EDecodeError as DecodeTexture does.
    TShownTexture(TTextureType type, std::span<const std::uint8_t> bytes);

    // How the file stores it ("DDS, DXT5", as TImage::Format).
    const std::string& Format() const { return format_; }
    // The levels the bytes hold whole, the largest first; one for TGA and PLT.
    const std::vector<TLevelSides>& Levels() const { return levels_; }

    // Decodes level (below Levels().size()) into Pixels() with channels.
    void Show(std::size_t level, TChannels channels);
    std::size_t Level() const { return level_; }
    TChannels Channels() const { return channels_; }
    std::uint32_t Width() const { return levels_[level_].Width; }
    std::uint32_t Height() const { return levels_[level_].Height; }
    // Width() x Height() words 0xAARRGGBB, alpha 255, rows top first.
    const std::vector<std::uint32_t>& Pixels() const { return shown_; }

    // The decoded pixel (red, green, blue, alpha) at x, y of the level shown (top left 0, 0;
    // both inside it), whatever the channels.
    std::array<std::uint8_t, 4> Pixel(std::uint32_t x, std::uint32_t y) const;
    // The level shown as an RGBA picture.
    TImage Image() const;

private:
    TTextureType type_;
    std::span<const std::uint8_t> bytes_;
    std::string format_;
    std::vector<TLevelSides> levels_;
    // DXT: each level's blocks, where they start in bytes_, and the kind of block (DxtKind;
    // -1 for the other formats, whose level's picture image_ holds).
    std::vector<std::size_t> offsets_;
    int dxt_ = -1;
    TImage image_;
    std::size_t level_ = 0;
    TChannels channels_ = TChannels::Rgba;
    std::vector<std::uint32_t> shown_;
};

} // namespace vellocar::media
