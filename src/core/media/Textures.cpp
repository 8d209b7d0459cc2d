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

TImage DecodeTexture(TTextureType type, std::span<const std::uint8_t> bytes, std::size_t level) {
    if (type == TTextureType::Dds) return DecodeDds(bytes, level);
    if (level != 0) detail::Refuse("a TGA or PLT has one level only, not level " + std::to_string(level));
    return type == TTextureType::Tga ? DecodeTga(bytes) : DecodePlt(bytes);
}

std::vector<std::uint32_t> OverCheckerboard(const TImage& image, std::uint32_t cellSize) {
    using detail::DivideBy255;
    using detail::kDarkCell;
    using detail::kLightCell;
    using detail::kOpaque;
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

// ---- A texture as a viewer shows it ----

TShownTexture::TShownTexture(TTextureType type, std::span<const std::uint8_t> bytes) : type_(type), bytes_(bytes) {
    if (type == TTextureType::Dds) {
        const detail::TDdsLayout layout = detail::ReadDdsLayout(bytes);
        format_ = layout.Format;
        for (const detail::TDdsLevel& level : layout.Levels) {
            levels_.push_back({level.Width, level.Height});
            offsets_.push_back(level.Offset);
        }
        if (layout.Dxt) dxt_ = static_cast<int>(*layout.Dxt);
    }
    if (dxt_ < 0) {
        image_ = DecodeTexture(type, bytes);
        format_ = image_.Format;
        if (levels_.empty()) levels_.push_back({image_.Width, image_.Height});
    }
    Show(0, TChannels::Rgba);
}

void TShownTexture::Show(std::size_t level, TChannels channels) {
    if (level >= levels_.size()) detail::Refuse("no mipmap level " + std::to_string(level));
    if (dxt_ < 0 && level != level_) image_ = DecodeTexture(type_, bytes_, level);
    level_ = level;
    channels_ = channels;
    const TLevelSides sides = levels_[level];
    // The buffer keeps its memory: a smaller level or other channels reuse the largest one's.
    shown_.resize(std::size_t{sides.Width} * sides.Height);
    if (dxt_ >= 0) {
        // DDS is drawn as the game draws it: its first stored row at the bottom.
        return detail::ShowDxt(static_cast<detail::TDxt>(dxt_), bytes_.data() + offsets_[level], sides.Width,
                               sides.Height, false, channels, shown_.data());
    }
    const std::uint8_t* in = image_.Rgba.data();
    std::uint32_t* out = shown_.data();
    for (std::uint32_t y = 0; y < sides.Height; ++y)
        for (std::uint32_t x = 0; x < sides.Width; ++x, in += kRgbaBytesPerPixel)
            *out++ = detail::ShownWord(in[0], in[1], in[2], in[3], channels, detail::CheckerAt(x, y));
}

std::array<std::uint8_t, 4> TShownTexture::Pixel(std::uint32_t x, std::uint32_t y) const {
    const TLevelSides sides = levels_[level_];
    if (x >= sides.Width || y >= sides.Height) return {};
    if (dxt_ >= 0)
        return detail::DxtPixel(static_cast<detail::TDxt>(dxt_), bytes_.data() + offsets_[level_], sides.Width, x,
                                sides.Height - 1 - y);
    const std::uint8_t* p = image_.Rgba.data() + (std::size_t{y} * sides.Width + x) * kRgbaBytesPerPixel;
    return {p[0], p[1], p[2], p[3]};
}

TImage TShownTexture::Image() const {
    if (dxt_ < 0) return image_;
    return DecodeDds(bytes_, level_);
}

} // namespace vellocar::media
