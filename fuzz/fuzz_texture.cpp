// Any bytes as a TGA, a DDS or a PLT (the target, fuzz_tga, fuzz_dds or fuzz_plt, picks the
// decoder through VELLOCAR_FUZZ_TEXTURE), in memory: the decoder refuses them with EDecodeError,
// or gives a picture of 1 to 8,192 pixels a side whose pixels are exactly Width x Height x 4
// bytes and no more than its bytes can hold, which a window can then show whole. Then every
// mipmap level as a viewer shows it: the same sides decoded alone and shown, each pixel readable.

#include "base/Errors.h"
#include "FuzzCheck.h"
#include "media/Textures.h"

#include <algorithm>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    media::TImage image;
    try {
        image = media::DecodeTexture(media::TTextureType::VELLOCAR_FUZZ_TEXTURE, {data, size});
    } catch (const EDecodeError&) {
        return 0;
    }
    const std::uint64_t pixels = std::uint64_t{image.Width} * image.Height;
    fuzz::Check(image.Width >= 1 && image.Height >= 1 && image.Width <= media::kMaxImageSide &&
                    image.Height <= media::kMaxImageSide,
                "an accepted picture has a side outside 1 to 8,192");
    fuzz::Check(image.Rgba.size() == pixels * 4, "an accepted picture is not Width x Height x 4 bytes");
    // The densest form, run-length TGA, holds at most 128 pixels in 4 bytes.
    fuzz::Check(pixels <= 32 * std::uint64_t{size}, "a picture larger than its bytes can hold");
    fuzz::Check(image.Mipmaps >= 1 && image.Mipmaps <= 15 && !image.Format.empty(), "a picture described amiss");
    fuzz::Check(media::OverCheckerboard(image).size() == pixels, "the shown picture is not the picture's size");

    media::TShownTexture shown(media::TTextureType::VELLOCAR_FUZZ_TEXTURE, {data, size});
    fuzz::Check(shown.Levels().size() == image.Mipmaps, "the shown texture counts other levels");
    fuzz::Check(shown.Width() == image.Width && shown.Height() == image.Height, "level 0 shown at another size");
    for (std::size_t level = 0; level < shown.Levels().size(); ++level) {
        shown.Show(level, static_cast<media::TChannels>(level % 3));
        const media::TImage alone =
            media::DecodeTexture(media::TTextureType::VELLOCAR_FUZZ_TEXTURE, {data, size}, level);
        fuzz::Check(alone.Width == shown.Width() && alone.Height == shown.Height() &&
                        shown.Pixels().size() == std::uint64_t{alone.Width} * alone.Height,
                    "a level shown at another size than it decodes to");
        const auto corner = shown.Pixel(alone.Width - 1, alone.Height - 1);
        const std::size_t last = alone.Rgba.size() - 4;
        fuzz::Check(std::equal(corner.begin(), corner.end(), alone.Rgba.begin() + static_cast<std::ptrdiff_t>(last)),
                    "the pixel under the mouse is not the decoded one");
    }
    return 0;
}
