// DDS in both forms the game reads: the standard one ("DDS ", a 124-byte header, DXT blocks or
// uncompressed RGB), and the game's older one (a 20-byte header without magic, then DXT1 or
// DXT5 blocks). Mipmaps follow the largest level, each half the size of the one before.
//
// Layout of the standard form (all integers little-endian):
//   magic    "DDS " at 0
//   header   124 bytes at 4 (TDdsHeader)
//   levels   from 128, the largest first
// of the game's form:
//   header   20 bytes at 0 (TGameDdsHeader)
//   levels   from 20

#include "base/ByteIO.h"
#include "base/Records.h"
#include "base/Text.h"
#include "TextureDetail.h"

#include <algorithm>
#include <array>
#include <bit>
#include <functional>

namespace vellocar::media {

namespace {

struct TDdsHeader {
    std::uint32_t Size = 0;
    std::uint32_t Flags = 0;
    std::uint32_t Height = 0;
    std::uint32_t Width = 0;
    std::uint32_t PitchOrLinearSize = 0;
    std::uint32_t Depth = 0;
    std::uint32_t MipMapCount = 0;
    std::array<std::uint8_t, 44> Reserved1{};
    // The pixel format.
    std::uint32_t FormatSize = 0;
    std::uint32_t FormatFlags = 0;
    std::array<char, 4> FourCC{};
    std::uint32_t RgbBitCount = 0;
    std::uint32_t RedMask = 0;
    std::uint32_t GreenMask = 0;
    std::uint32_t BlueMask = 0;
    std::uint32_t AlphaMask = 0;
    std::uint32_t Caps = 0;
    std::uint32_t Caps2 = 0;
    std::uint32_t Caps3 = 0;
    std::uint32_t Caps4 = 0;
    std::uint32_t Reserved2 = 0;
};
using DdsHeader =
    byteio::TRecordLayout<&TDdsHeader::Size, &TDdsHeader::Flags, &TDdsHeader::Height, &TDdsHeader::Width,
                          &TDdsHeader::PitchOrLinearSize, &TDdsHeader::Depth, &TDdsHeader::MipMapCount,
                          &TDdsHeader::Reserved1, &TDdsHeader::FormatSize, &TDdsHeader::FormatFlags,
                          &TDdsHeader::FourCC, &TDdsHeader::RgbBitCount, &TDdsHeader::RedMask, &TDdsHeader::GreenMask,
                          &TDdsHeader::BlueMask, &TDdsHeader::AlphaMask, &TDdsHeader::Caps, &TDdsHeader::Caps2,
                          &TDdsHeader::Caps3, &TDdsHeader::Caps4, &TDdsHeader::Reserved2>;
static_assert(DdsHeader::Size == 124);

struct TGameDdsHeader {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Channels = 0; // 3: DXT1, 4: DXT5
    std::uint32_t DataSize = 0;
    std::uint32_t MeanAlpha = 0; // a float, unused here
};
using GameDdsHeader = byteio::TRecordLayout<&TGameDdsHeader::Width, &TGameDdsHeader::Height, &TGameDdsHeader::Channels,
                                            &TGameDdsHeader::DataSize, &TGameDdsHeader::MeanAlpha>;
static_assert(GameDdsHeader::Size == 20);

constexpr std::array<char, 4> kMagic{'D', 'D', 'S', ' '};
constexpr std::size_t kStandardDataAt = kMagic.size() + DdsHeader::Size;
constexpr std::uint32_t kGameDxt1Channels = 3;
constexpr std::uint32_t kGameDxt5Channels = 4;

// Header flags, and the pixel format's.
constexpr std::uint32_t kPitchFlag = 0x8;
constexpr std::uint32_t kMipMapCountFlag = 0x20000;
constexpr std::uint32_t kAlphaPixelsFlag = 0x1;
constexpr std::uint32_t kFourCCFlag = 0x4;
constexpr std::uint32_t kRgbFlag = 0x40;

// The most levels a picture can have: down to 1 x 1 from kMaxImageSide.
constexpr std::uint32_t kMostLevels = std::bit_width(kMaxImageSide);

// The levels, the largest first, that lie whole within available bytes, up to claimed: their
// sides and where each starts, counted from the first (levelBytes gives a level's size from its
// sides; the first level's is firstBytes, which may differ by its rows' padding).
std::vector<detail::TDdsLevel> LevelsHeld(
    std::uint32_t width, std::uint32_t height, std::uint64_t available, std::uint32_t claimed, std::uint64_t firstBytes,
    const std::function<std::uint64_t(std::uint64_t, std::uint64_t)>& levelBytes) {
    std::vector<detail::TDdsLevel> levels;
    std::uint64_t at = 0;
    for (std::uint64_t w = width, h = height; levels.size() < std::min(claimed, kMostLevels);) {
        const std::uint64_t bytes = levels.empty() ? firstBytes : levelBytes(w, h);
        if (bytes > available - at) break;
        levels.push_back({static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), static_cast<std::size_t>(at)});
        at += bytes;
        if (w == 1 && h == 1) break;
        w = std::max<std::uint64_t>(1, w / 2);
        h = std::max<std::uint64_t>(1, h / 2);
    }
    return levels;
}

[[noreturn]] void TooShort(const char* what, std::uint64_t needed, std::uint64_t held, std::uint32_t width,
                           std::uint32_t height) {
    detail::Refuse(std::string(what) + " of " + std::to_string(width) + " x " + std::to_string(height) +
                   " pixels needs " + std::to_string(needed) + " bytes of data, the file holds " +
                   std::to_string(held));
}

detail::TDdsLayout BlocksLayout(detail::TDxt kind, std::span<const std::uint8_t> bytes, std::size_t dataAt,
                                std::uint32_t width, std::uint32_t height, std::uint32_t claimedLevels,
                                std::string format) {
    const std::uint64_t available = bytes.size() - dataAt;
    const std::uint64_t needed = detail::DxtLevelBytes(kind, width, height);
    if (needed > available) TooShort("a DDS", needed, available, width, height);
    detail::TDdsLayout layout;
    layout.Dxt = kind;
    layout.Format = std::move(format);
    layout.Levels = LevelsHeld(width, height, available, claimedLevels, needed,
                               [kind](std::uint64_t w, std::uint64_t h) { return detail::DxtLevelBytes(kind, w, h); });
    for (detail::TDdsLevel& level : layout.Levels) level.Offset += dataAt;
    return layout;
}

// A channel of an uncompressed pixel, by its mask, widened to 8 bits; absent when mask is 0.
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint64_t Largest = 0;
    explicit TChannel(std::uint32_t mask)
        : Mask(mask), Shift(mask ? std::countr_zero(mask) : 0), Largest(mask ? mask >> Shift : 0) {}
    std::uint8_t Of(std::uint32_t pixel, std::uint8_t absent) const {
        if (Largest == 0) return absent;
        return static_cast<std::uint8_t>(((pixel & Mask) >> Shift) * 255 / Largest);
    }
};

detail::TDdsLayout UncompressedLayout(const TDdsHeader& h, std::span<const std::uint8_t> bytes,
                                      std::uint32_t claimedLevels) {
    const std::uint64_t available = bytes.size() - kStandardDataAt;
    const std::uint32_t bytesPerPixel = h.RgbBitCount / 8;
    const std::uint64_t rowBytes = std::uint64_t{h.Width} * bytesPerPixel;
    // Writers disagree on whether rows are padded to 4 bytes; the header says, when it says.
    // The smaller levels follow unpadded.
    const std::uint64_t pitch =
        (h.Flags & kPitchFlag) && h.PitchOrLinearSize >= rowBytes ? h.PitchOrLinearSize : rowBytes;
    const std::uint64_t needed = pitch * (h.Height - 1) + rowBytes;
    if (needed > available) TooShort("a DDS", needed, available, h.Width, h.Height);

    // Masks left empty mean the usual order in memory: blue, green, red, alpha (the fourth byte,
    // which a 24-bit pixel lacks).
    const bool masked = h.RedMask || h.GreenMask || h.BlueMask;
    detail::TDdsLayout layout;
    layout.BytesPerPixel = bytesPerPixel;
    layout.Pitch = pitch;
    layout.Masks = {masked ? h.RedMask : 0xFF0000u, masked ? h.GreenMask : 0xFF00u, masked ? h.BlueMask : 0xFFu, 0};
    const std::uint32_t alphaMask = h.AlphaMask || bytesPerPixel < 4 ? h.AlphaMask : 0xFF000000u;
    if (h.FormatFlags & kAlphaPixelsFlag) layout.Masks[3] = alphaMask;
    layout.Format = "DDS, " + std::to_string(h.RgbBitCount) + " bits" + (layout.Masks[3] != 0 ? " with alpha" : "");
    layout.Levels = LevelsHeld(h.Width, h.Height, available, claimedLevels, std::min(available, pitch * h.Height),
                               [&](std::uint64_t w, std::uint64_t hh) { return w * bytesPerPixel * hh; });
    for (detail::TDdsLevel& level : layout.Levels) level.Offset += kStandardDataAt;
    return layout;
}

TImage DecodeUncompressed(const detail::TDdsLayout& layout, std::span<const std::uint8_t> bytes, std::size_t level) {
    const detail::TDdsLevel& at = layout.Levels[level];
    const std::uint32_t bytesPerPixel = layout.BytesPerPixel;
    const std::uint64_t pitch = level == 0 ? layout.Pitch : std::uint64_t{at.Width} * bytesPerPixel;
    const TChannel red(layout.Masks[0]), green(layout.Masks[1]), blue(layout.Masks[2]), alpha(layout.Masks[3]);
    TImage image = detail::NewImage(at.Width, at.Height, layout.Format);
    for (std::uint32_t row = 0; row < at.Height; ++row) {
        const std::uint8_t* in = bytes.data() + at.Offset + pitch * row;
        std::uint8_t* out = image.Rgba.data() + detail::PixelAt(image, 0, row, false);
        for (std::uint32_t x = 0; x < at.Width; ++x, in += bytesPerPixel, out += kRgbaBytesPerPixel) {
            std::uint32_t pixel = 0;
            for (std::uint32_t b = 0; b < bytesPerPixel; ++b) pixel |= std::uint32_t{in[b]} << (8 * b);
            out[0] = red.Of(pixel, 0);
            out[1] = green.Of(pixel, 0);
            out[2] = blue.Of(pixel, 0);
            out[3] = alpha.Of(pixel, 255);
        }
    }
    return image;
}

detail::TDdsLayout StandardLayout(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kStandardDataAt)
        detail::Refuse("a DDS of " + std::to_string(bytes.size()) + " bytes: its header takes " +
                       std::to_string(kStandardDataAt));
    const TDdsHeader h = DdsHeader::Read(bytes.data() + kMagic.size());
    detail::CheckSides("a DDS", h.Width, h.Height);
    const std::uint32_t claimedLevels = (h.Flags & kMipMapCountFlag) && h.MipMapCount > 0 ? h.MipMapCount : 1;
    const std::string fourCC(h.FourCC.begin(), h.FourCC.end());
    if (h.FormatFlags & kFourCCFlag) {
        for (const auto& [name, kind] : {std::pair{"DXT1", detail::TDxt::Dxt1}, std::pair{"DXT3", detail::TDxt::Dxt3},
                                         std::pair{"DXT5", detail::TDxt::Dxt5}})
            if (fourCC == name)
                return BlocksLayout(kind, bytes, kStandardDataAt, h.Width, h.Height, claimedLevels, "DDS, " + fourCC);
        detail::Refuse("a DDS compressed as " + Quoted(Printable(fourCC)) +
                       ", which is not read here (DXT1, DXT3 and DXT5 are)");
    }
    if ((h.FormatFlags & kRgbFlag) && (h.RgbBitCount == 24 || h.RgbBitCount == 32))
        return UncompressedLayout(h, bytes, claimedLevels);
    std::string flags;
    for (int shift = 24; shift >= 0; shift -= 8) AppendHex(flags, static_cast<std::uint8_t>(h.FormatFlags >> shift));
    detail::Refuse("a DDS of a pixel format not read here (flags 0x" + flags + ", " + std::to_string(h.RgbBitCount) +
                   " bits; DXT1, DXT3, DXT5 and uncompressed RGB of 24 or 32 bits are)");
}

// The game's own header gives no level count: the levels are as many as the data holds.
detail::TDdsLayout GameFormLayout(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < GameDdsHeader::Size)
        detail::Refuse("not a DDS: " + std::to_string(bytes.size()) +
                       " bytes, no \"DDS \" header, and too short for "
                       "the game's own header (" +
                       std::to_string(GameDdsHeader::Size) + " bytes)");
    const TGameDdsHeader h = GameDdsHeader::Read(bytes.data());
    if (h.Channels != kGameDxt1Channels && h.Channels != kGameDxt5Channels)
        detail::Refuse("not a DDS: no \"DDS \" header, and not the game's own header either (its channel count is " +
                       std::to_string(h.Channels) + ", where the game writes 3 for DXT1 or 4 for DXT5)");
    detail::CheckSides("a DDS", h.Width, h.Height);
    const detail::TDxt kind = h.Channels == kGameDxt1Channels ? detail::TDxt::Dxt1 : detail::TDxt::Dxt5;
    return BlocksLayout(kind, bytes, GameDdsHeader::Size, h.Width, h.Height, kMostLevels,
                        kind == detail::TDxt::Dxt1 ? "DDS (the game's header), DXT1" : "DDS (the game's header), DXT5");
}

} // namespace

namespace detail {

TDdsLayout ReadDdsLayout(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= kMagic.size() && std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        return StandardLayout(bytes);
    return GameFormLayout(bytes);
}

} // namespace detail

TImage DecodeDds(std::span<const std::uint8_t> bytes, std::size_t level) {
    const detail::TDdsLayout layout = detail::ReadDdsLayout(bytes);
    if (level >= layout.Levels.size())
        detail::Refuse("a DDS of " + std::to_string(layout.Levels.size()) + " mipmap levels has no level " +
                       std::to_string(level));
    TImage image;
    if (layout.Dxt) {
        const detail::TDdsLevel& at = layout.Levels[level];
        image = detail::NewImage(at.Width, at.Height, layout.Format);
        detail::DecodeDxt(*layout.Dxt, bytes.data() + at.Offset, image, false);
    } else {
        image = DecodeUncompressed(layout, bytes, level);
    }
    image.Mipmaps = static_cast<std::uint32_t>(layout.Levels.size());
    return image;
}

} // namespace vellocar::media
