// What the texture decoders share, and the picture as a window shows it.

#include "media/Textures.h"

#include "base/Errors.h"
#include "TextureDetail.h"

#include <algorithm>

namespace vellocar::media {

namespace detail {

void Refuse(const std::string& message) { throw EDecodeError(message); }

void CheckSides(const char* what, std::uint64_t width, std::uint64_t height) {
    const std::string size =
        std::string(what) + " of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (width == 0 || height == 0) Refuse(size + ": each side must be 1 to " + std::to_string(kMaxImageSide));
    if (width > kMaxImageSide || height > kMaxImageSide)
        Refuse(size + " is larger than the game uses: each side must be at most " + std::to_string(kMaxImageSide));
}

TImage NewImage(std::uint32_t width, std::uint32_t height, std::string format) {
    TImage image;
    image.Width = width;
    image.Height = height;
    image.Format = std::move(format);
    image.Rgba.resize(std::size_t{width} * height * kRgbaBytesPerPixel);
    return image;
}

} // namespace detail

namespace {

// The checkerboard behind transparent pixels: light and dark grey.
constexpr std::uint32_t kLightCell = 0xCC;
constexpr std::uint32_t kDarkCell = 0x99;
constexpr std::uint32_t kOpaque = 0xFF000000;

// x / 255, rounded, for x up to 255 * 255, without a division.
constexpr std::uint32_t DivideBy255(std::uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}
static_assert(DivideBy255(255 * 255) == 255 && DivideBy255(127) == 0 && DivideBy255(128) == 1);

} // namespace

std::optional<TTextureType> TextureTypeOf(TResType resType) {
    switch (resType) {
        case restype::kTga:
            return TTextureType::Tga;
        case restype::kDds:
            return TTextureType::Dds;
        case restype::kPlt:
            return TTextureType::Plt;
        default:
            return std::nullopt;
    }
}

TImage DecodeTexture(TTextureType type, std::span<const std::uint8_t> bytes) {
    switch (type) {
        case TTextureType::Tga:
            return DecodeTga(bytes);
        case TTextureType::Dds:
            return DecodeDds(bytes);
        case TTextureType::Plt:
            break;
    }
    return DecodePlt(bytes);
}

std::vector<std::uint32_t> OverCheckerboard(const TImage& image, std::uint32_t cellSize) {
    if (cellSize == 0) cellSize = 1;
    std::vector<std::uint32_t> shown(std::size_t{image.Width} * image.Height);
    const std::uint8_t* in = image.Rgba.data();
    std::uint32_t* out = shown.data();
    for (std::uint32_t y = 0; y < image.Height; ++y) {
        const bool oddRow = (y / cellSize) % 2 != 0;
        // A cell at a time, so that its colour is worked out once; opaque and clear pixels, most
        // of a texture, need no mixing.
        for (std::uint32_t cell = 0; cell * std::uint64_t{cellSize} < image.Width; ++cell) {
            const std::uint32_t back = (cell % 2 != 0) != oddRow ? kDarkCell : kLightCell;
            const auto end =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(image.Width, (cell + std::uint64_t{1}) * cellSize));
            for (std::uint32_t x = cell * cellSize; x < end; ++x, in += kRgbaBytesPerPixel) {
                const std::uint32_t alpha = in[3];
                if (alpha == 255) {
                    *out++ = kOpaque | std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
                    continue;
                }
                auto over = [&](std::uint32_t c) { return DivideBy255(c * alpha + back * (255 - alpha)); };
                *out++ = kOpaque | over(in[0]) << 16 | over(in[1]) << 8 | over(in[2]);
            }
        }
    }
    return shown;
}

} // namespace vellocar::media
