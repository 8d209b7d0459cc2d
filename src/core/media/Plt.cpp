// PLT, the game's layered texture: which of ten colour layers each pixel belongs to and how
// bright it is there. The game tints each layer with the colours a player picks; shown here in
// a fixed colour per layer, so that the layers can be told apart.
//
// Layout (all integers little-endian):
//   header  24 bytes at 0 (TPltHeader)
//   pixels  Width x Height pairs of bytes (value, layer), rows bottom first, as the game's other
//           textures are drawn

#include "base/Records.h"
#include "TextureDetail.h"

#include <algorithm>
#include <array>

namespace vellocar::media {

namespace {

struct TPltHeader {
    std::array<char, 4> FileType{};
    std::array<char, 4> FileVersion{};
    std::array<std::uint8_t, 8> Unknown{};
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};
using PltHeader = byteio::TRecordLayout<&TPltHeader::FileType, &TPltHeader::FileVersion, &TPltHeader::Unknown,
                                        &TPltHeader::Width, &TPltHeader::Height>;
static_assert(PltHeader::Size == 24);

constexpr std::array<char, 4> kFileType{'P', 'L', 'T', ' '};
constexpr std::array<char, 4> kVersion1{'V', '1', ' ', ' '};
constexpr std::size_t kBytesPerPixel = 2;

// Ten hues far enough apart to be told apart at any brightness.
const std::array<TPltLayer, kPltLayers> kLayers{{
    {"skin", 255, 190, 150},
    {"hair", 255, 220, 0},
    {"metal 1", 190, 200, 215},
    {"metal 2", 100, 120, 150},
    {"cloth 1", 230, 40, 40},
    {"cloth 2", 40, 90, 230},
    {"leather 1", 170, 100, 30},
    {"leather 2", 110, 60, 30},
    {"tattoo 1", 40, 180, 60},
    {"tattoo 2", 170, 60, 200},
}};
constexpr std::uint8_t kOtherLayerGrey = 128;

std::uint8_t Scaled(std::uint8_t colour, std::uint8_t value) {
    return static_cast<std::uint8_t>((std::uint32_t{colour} * value + 127) / 255);
}

} // namespace

TPltLayer PltLayerColour(std::uint8_t layer) {
    if (layer < kLayers.size()) return kLayers[layer];
    return {"layer " + std::to_string(layer), kOtherLayerGrey, kOtherLayerGrey, kOtherLayerGrey};
}

TImage DecodePlt(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < PltHeader::Size)
        detail::Refuse("a PLT of " + std::to_string(bytes.size()) + " bytes: its header takes " +
                       std::to_string(PltHeader::Size));
    const TPltHeader h = PltHeader::Read(bytes.data());
    if (h.FileType != kFileType || h.FileVersion != kVersion1)
        detail::Refuse("not a PLT: it does not start with \"PLT V1  \"");
    detail::CheckSides("a PLT", h.Width, h.Height);
    const std::uint64_t needed = std::uint64_t{h.Width} * h.Height * kBytesPerPixel;
    if (bytes.size() - PltHeader::Size < needed)
        detail::Refuse("a PLT of " + std::to_string(h.Width) + " x " + std::to_string(h.Height) + " pixels needs " +
                       std::to_string(needed) + " bytes of pixels, the file holds " +
                       std::to_string(bytes.size() - PltHeader::Size));

    TImage image = detail::NewImage(h.Width, h.Height, "PLT, layers in fixed colours");
    const std::uint8_t* in = bytes.data() + PltHeader::Size;
    // The layer colours, looked up once rather than per pixel.
    std::array<std::array<std::uint8_t, 3>, 256> colours;
    colours.fill({kOtherLayerGrey, kOtherLayerGrey, kOtherLayerGrey});
    for (std::size_t layer = 0; layer < kLayers.size(); ++layer)
        colours[layer] = {kLayers[layer].Red, kLayers[layer].Green, kLayers[layer].Blue};
    for (std::uint32_t row = 0; row < image.Height; ++row) {
        std::uint8_t* out = image.Rgba.data() + detail::PixelAt(image, 0, row, false);
        for (std::uint32_t x = 0; x < image.Width; ++x, in += kBytesPerPixel, out += kRgbaBytesPerPixel) {
            const auto& colour = colours[in[1]];
            for (std::size_t i = 0; i < colour.size(); ++i) out[i] = Scaled(colour[i], in[0]);
            out[3] = 255;
        }
    }
    return image;
}

} // namespace vellocar::media
