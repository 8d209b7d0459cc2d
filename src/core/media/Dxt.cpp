// DXT1, DXT3 and DXT5 (S3TC) blocks into RGBA. Each block holds 4 x 4 pixels: two colours of 5,
// 6 and 5 bits and a 2-bit index per pixel into the palette made from them, and for DXT3 a 4-bit
// alpha per pixel, for DXT5 two alpha values and a 3-bit index per pixel into the alphas made
// from them. Pixel 0 is the top left one and takes the lowest bits.

#include "base/ByteIO.h"
#include "TextureDetail.h"

#include <algorithm>
#include <array>

namespace vellocar::media::detail {

namespace {

constexpr std::uint32_t kDxt1BlockBytes = 8;
constexpr std::uint32_t kDxt35BlockBytes = 16;
constexpr std::size_t kColourPart = 8; // where the colour half of a DXT3 or DXT5 block starts
constexpr std::uint32_t kPixelsPerBlock = kDxtBlockSide * kDxtBlockSide;

using TRgba = std::array<std::uint8_t, 4>;

// A 5-6-5 colour widened to 8 bits a channel, the top bits repeated into the low ones.
TRgba Widen(std::uint16_t c) {
    const auto r = static_cast<std::uint32_t>(c >> 11) & 0x1F;
    const auto g = static_cast<std::uint32_t>(c >> 5) & 0x3F;
    const auto b = static_cast<std::uint32_t>(c) & 0x1F;
    return {static_cast<std::uint8_t>(r << 3 | r >> 2), static_cast<std::uint8_t>(g << 2 | g >> 4),
            static_cast<std::uint8_t>(b << 3 | b >> 2), 255};
}

// weightA parts of a and weightB parts of b, in (weightA + weightB) parts, rounded down.
std::uint8_t Mix(std::uint32_t a, std::uint32_t weightA, std::uint32_t b, std::uint32_t weightB) {
    return static_cast<std::uint8_t>((a * weightA + b * weightB) / (weightA + weightB));
}

// The four colours of a colour block. DXT1 keeps a 3-colour form with transparent black for
// blocks whose first colour is not the greater; DXT3 and DXT5 always use four colours.
std::array<TRgba, 4> Palette(const std::uint8_t* block, bool threeColourForm) {
    const std::uint16_t c0 = byteio::Get16(block);
    const std::uint16_t c1 = byteio::Get16(block + 2);
    const TRgba a = Widen(c0);
    const TRgba b = Widen(c1);
    std::array<TRgba, 4> palette{a, b, {}, {}};
    if (c0 > c1 || !threeColourForm) {
        for (std::size_t i = 0; i < 3; ++i) {
            palette[2][i] = Mix(a[i], 2, b[i], 1);
            palette[3][i] = Mix(a[i], 1, b[i], 2);
        }
        palette[2][3] = palette[3][3] = 255;
    } else {
        for (std::size_t i = 0; i < 3; ++i) palette[2][i] = Mix(a[i], 1, b[i], 1);
        palette[2][3] = 255;
        palette[3] = {0, 0, 0, 0};
    }
    return palette;
}

// The eight alphas of a DXT5 alpha block: six between the two stored ones and the ends, or,
// when the first is not the greater, four between them, then 0 and 255.
std::array<std::uint8_t, 8> Alphas(const std::uint8_t* block) {
    const std::uint32_t a0 = block[0];
    const std::uint32_t a1 = block[1];
    std::array<std::uint8_t, 8> alphas{static_cast<std::uint8_t>(a0), static_cast<std::uint8_t>(a1)};
    if (a0 > a1) {
        for (std::uint32_t i = 1; i < 7; ++i) alphas[i + 1] = Mix(a0, 7 - i, a1, i);
    } else {
        for (std::uint32_t i = 1; i < 5; ++i) alphas[i + 1] = Mix(a0, 5 - i, a1, i);
        alphas[6] = 0;
        alphas[7] = 255;
    }
    return alphas;
}

// The 16 pixels of one block, in block order.
void DecodeBlock(TDxt kind, const std::uint8_t* block, std::array<TRgba, kPixelsPerBlock>& pixels) {
    const std::uint8_t* colour = kind == TDxt::Dxt1 ? block : block + kColourPart;
    const std::array<TRgba, 4> palette = Palette(colour, kind == TDxt::Dxt1);
    const std::uint32_t indices = byteio::Get32(colour + 4);
    for (std::uint32_t p = 0; p < kPixelsPerBlock; ++p) pixels[p] = palette[indices >> (2 * p) & 3];
    if (kind == TDxt::Dxt3) {
        for (std::uint32_t p = 0; p < kPixelsPerBlock; ++p) {
            const std::uint32_t nibble = block[p / 2] >> (4 * (p % 2)) & 0xF;
            pixels[p][3] = static_cast<std::uint8_t>(nibble * 17);
        }
    } else if (kind == TDxt::Dxt5) {
        const std::array<std::uint8_t, 8> alphas = Alphas(block);
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < 6; ++i) bits |= std::uint64_t{block[2 + i]} << (8 * i);
        for (std::uint32_t p = 0; p < kPixelsPerBlock; ++p) pixels[p][3] = alphas[bits >> (3 * p) & 7];
    }
}

} // namespace

std::uint32_t DxtBlockBytes(TDxt kind) { return kind == TDxt::Dxt1 ? kDxt1BlockBytes : kDxt35BlockBytes; }

std::uint64_t DxtLevelBytes(TDxt kind, std::uint64_t width, std::uint64_t height) {
    const std::uint64_t across = std::max<std::uint64_t>(1, (width + kDxtBlockSide - 1) / kDxtBlockSide);
    const std::uint64_t down = std::max<std::uint64_t>(1, (height + kDxtBlockSide - 1) / kDxtBlockSide);
    return across * down * DxtBlockBytes(kind);
}

void DecodeDxt(TDxt kind, const std::uint8_t* data, TImage& image, bool topFirst) {
    const std::uint32_t across = (image.Width + kDxtBlockSide - 1) / kDxtBlockSide;
    const std::uint32_t down = (image.Height + kDxtBlockSide - 1) / kDxtBlockSide;
    const std::uint32_t blockBytes = DxtBlockBytes(kind);
    std::array<TRgba, kPixelsPerBlock> pixels;
    for (std::uint32_t by = 0; by < down; ++by) {
        for (std::uint32_t bx = 0; bx < across; ++bx, data += blockBytes) {
            DecodeBlock(kind, data, pixels);
            // A block at the right or bottom edge of a picture whose side is not a multiple of 4
            // holds pixels beyond it, which are dropped.
            const std::uint32_t rows = std::min(kDxtBlockSide, image.Height - by * kDxtBlockSide);
            const std::uint32_t columns = std::min(kDxtBlockSide, image.Width - bx * kDxtBlockSide);
            for (std::uint32_t row = 0; row < rows; ++row) {
                std::uint8_t* out =
                    image.Rgba.data() + PixelAt(image, bx * kDxtBlockSide, by * kDxtBlockSide + row, topFirst);
                for (std::uint32_t column = 0; column < columns; ++column, out += kRgbaBytesPerPixel)
                    std::copy_n(pixels[row * kDxtBlockSide + column].begin(), kRgbaBytesPerPixel, out);
            }
        }
    }
}

} // namespace vellocar::media::detail

namespace vellocar::media::detail {

void ShowDxt(TDxt kind, const std::uint8_t* data, std::uint32_t width, std::uint32_t height, bool topFirst,
             TChannels channels, std::uint32_t* out) {
    const std::uint32_t across = (width + kDxtBlockSide - 1) / kDxtBlockSide;
    const std::uint32_t down = (height + kDxtBlockSide - 1) / kDxtBlockSide;
    const std::uint32_t blockBytes = DxtBlockBytes(kind);
    std::array<TRgba, kPixelsPerBlock> pixels;
    for (std::uint32_t by = 0; by < down; ++by) {
        const std::uint32_t rows = std::min(kDxtBlockSide, height - by * kDxtBlockSide);
        for (std::uint32_t bx = 0; bx < across; ++bx, data += blockBytes) {
            DecodeBlock(kind, data, pixels);
            const std::uint32_t left = bx * kDxtBlockSide;
            const std::uint32_t columns = std::min(kDxtBlockSide, width - left);
            for (std::uint32_t row = 0; row < rows; ++row) {
                const std::uint32_t stored = by * kDxtBlockSide + row;
                const std::uint32_t y = topFirst ? stored : height - 1 - stored;
                std::uint32_t* line = out + std::size_t{y} * width + left;
                const TRgba* in = pixels.data() + row * kDxtBlockSide;
                for (std::uint32_t column = 0; column < columns; ++column)
                    line[column] = ShownWord(in[column][0], in[column][1], in[column][2], in[column][3], channels,
                                             CheckerAt(left + column, y));
            }
        }
    }
}

std::array<std::uint8_t, 4> DxtPixel(TDxt kind, const std::uint8_t* data, std::uint32_t width, std::uint32_t x,
                                     std::uint32_t storedRow) {
    const std::size_t across = (width + kDxtBlockSide - 1) / kDxtBlockSide;
    const std::size_t block = std::size_t{storedRow / kDxtBlockSide} * across + x / kDxtBlockSide;
    std::array<TRgba, kPixelsPerBlock> pixels;
    DecodeBlock(kind, data + block * DxtBlockBytes(kind), pixels);
    return pixels[(storedRow % kDxtBlockSide) * kDxtBlockSide + x % kDxtBlockSide];
}

} // namespace vellocar::media::detail
