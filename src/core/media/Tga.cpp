// TGA: an 18-byte header, an image ID, an optional colour map (skipped: the true-colour and
// grey types do not use it), then the pixels, stored as blue, green, red (and alpha), or one
// grey byte; raw, or in run-length packets of up to 128 pixels.
//
// Layout (all integers little-endian):
//   header      18 bytes at 0 (TTgaHeader)
//   image ID    IdLength bytes
//   colour map  ColourMapLength entries of ColourMapEntryBits, when ColourMapType is 1
//   pixels      Width x Height, rows bottom first unless the descriptor's bit 5 says top first

#include "base/ByteIO.h"
#include "base/Records.h"
#include "TextureDetail.h"

#include <algorithm>

namespace vellocar::media {

namespace {

struct TTgaHeader {
    std::uint8_t IdLength = 0;
    std::uint8_t ColourMapType = 0;
    std::uint8_t ImageType = 0;
    std::uint16_t ColourMapFirst = 0;
    std::uint16_t ColourMapLength = 0;
    std::uint8_t ColourMapEntryBits = 0;
    std::uint16_t XOrigin = 0;
    std::uint16_t YOrigin = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t PixelBits = 0;
    std::uint8_t Descriptor = 0;
};
using TgaHeader =
    byteio::TRecordLayout<&TTgaHeader::IdLength, &TTgaHeader::ColourMapType, &TTgaHeader::ImageType,
                          &TTgaHeader::ColourMapFirst, &TTgaHeader::ColourMapLength, &TTgaHeader::ColourMapEntryBits,
                          &TTgaHeader::XOrigin, &TTgaHeader::YOrigin, &TTgaHeader::Width, &TTgaHeader::Height,
                          &TTgaHeader::PixelBits, &TTgaHeader::Descriptor>;
static_assert(TgaHeader::Size == 18);

constexpr std::uint8_t kTrueColour = 2;
constexpr std::uint8_t kGrey = 3;
constexpr std::uint8_t kTrueColourRunLength = 10;
constexpr std::uint8_t kRightToLeft = 0x10;
constexpr std::uint8_t kTopFirst = 0x20;
constexpr std::uint8_t kRunPacket = 0x80; // else a packet of raw pixels
constexpr std::uint8_t kPacketCount = 0x7F; // the pixels of a packet, less one
constexpr std::uint32_t kMostPerPacket = 128;

// The pixels in the order they are stored, one at a time, raw or from run-length packets.
class TPixelSource {
public:
    TPixelSource(std::span<const std::uint8_t> data, std::uint32_t bytesPerPixel, bool runLength)
        : data_(data), size_(bytesPerPixel), runLength_(runLength) {}

    // The next pixel's bytes; raises when the data ends first (index is the pixel's, for the
    // message).
    const std::uint8_t* Next(std::uint64_t index, std::uint64_t total) {
        if (!runLength_) {
            const std::uint8_t* p = data_.data() + at_;
            at_ += size_;
            return p;
        }
        if (left_ == 0) {
            if (at_ >= data_.size()) Ended(index, total);
            const std::uint8_t packet = data_[at_++];
            left_ = (packet & kPacketCount) + 1u;
            repeat_ = (packet & kRunPacket) != 0;
            if (repeat_) current_ = Take(index, total);
        }
        --left_;
        return repeat_ ? current_ : Take(index, total);
    }

private:
    const std::uint8_t* Take(std::uint64_t index, std::uint64_t total) {
        if (data_.size() - at_ < size_) Ended(index, total);
        const std::uint8_t* p = data_.data() + at_;
        at_ += size_;
        return p;
    }
    [[noreturn]] static void Ended(std::uint64_t index, std::uint64_t total) {
        detail::Refuse("a TGA whose run-length data ends at pixel " + std::to_string(index) + " of " +
                       std::to_string(total));
    }

    std::span<const std::uint8_t> data_;
    std::size_t size_;
    bool runLength_;
    std::size_t at_ = 0;
    std::uint32_t left_ = 0;
    bool repeat_ = false;
    const std::uint8_t* current_ = nullptr;
};

std::string Describe(const TTgaHeader& h) {
    std::string format = "TGA, " + std::to_string(h.PixelBits) + " bits";
    if (h.ImageType == kGrey) format += " grey";
    if (h.ImageType == kTrueColourRunLength) format += ", run-length";
    format += (h.Descriptor & kTopFirst) ? ", origin top" : ", origin bottom";
    format += (h.Descriptor & kRightToLeft) ? " right" : " left";
    return format;
}

} // namespace

TImage DecodeTga(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < TgaHeader::Size)
        detail::Refuse("a TGA of " + std::to_string(bytes.size()) + " bytes: its header takes " +
                       std::to_string(TgaHeader::Size));
    const TTgaHeader h = TgaHeader::Read(bytes.data());
    const bool trueColour = h.ImageType == kTrueColour || h.ImageType == kTrueColourRunLength;
    if (!trueColour && h.ImageType != kGrey)
        detail::Refuse("a TGA of image type " + std::to_string(h.ImageType) +
                       ", which is not read here (types 2 and 10, true colour, and 3, grey, are)");
    if (trueColour ? h.PixelBits != 24 && h.PixelBits != 32 : h.PixelBits != 8)
        detail::Refuse("a TGA of type " + std::to_string(h.ImageType) + " with " + std::to_string(h.PixelBits) +
                       " bits a pixel, which is not read here (" + (trueColour ? "24 or 32" : "8") + " are)");
    detail::CheckSides("a TGA", h.Width, h.Height);

    const std::uint64_t mapBytes =
        h.ColourMapType == 1 ? std::uint64_t{h.ColourMapLength} * ((h.ColourMapEntryBits + 7u) / 8) : 0;
    const std::uint64_t dataAt = TgaHeader::Size + std::uint64_t{h.IdLength} + mapBytes;
    const std::uint32_t bytesPerPixel = h.PixelBits / 8u;
    const std::uint64_t pixels = std::uint64_t{h.Width} * h.Height;
    const bool runLength = h.ImageType == kTrueColourRunLength;
    // Run-length data holds at least one packet header and one pixel per 128 pixels.
    const std::uint64_t needed =
        runLength ? (pixels + kMostPerPacket - 1) / kMostPerPacket * (1 + bytesPerPixel) : pixels * bytesPerPixel;
    if (dataAt > bytes.size() || bytes.size() - dataAt < needed)
        detail::Refuse("a TGA of " + std::to_string(h.Width) + " x " + std::to_string(h.Height) + " pixels needs " +
                       (runLength ? "at least " : "") + std::to_string(needed) + " bytes of pixels after " +
                       std::to_string(dataAt) + " bytes of header, the file holds " + std::to_string(bytes.size()));

    TImage image = detail::NewImage(h.Width, h.Height, Describe(h));
    TPixelSource source(bytes.subspan(static_cast<std::size_t>(dataAt)), bytesPerPixel, runLength);
    const bool topFirst = (h.Descriptor & kTopFirst) != 0;
    const bool rightToLeft = (h.Descriptor & kRightToLeft) != 0;
    std::uint64_t index = 0;
    for (std::uint32_t row = 0; row < image.Height; ++row) {
        for (std::uint32_t column = 0; column < image.Width; ++column, ++index) {
            const std::uint8_t* in = source.Next(index, pixels);
            const std::uint32_t x = rightToLeft ? image.Width - 1 - column : column;
            std::uint8_t* out = image.Rgba.data() + detail::PixelAt(image, x, row, topFirst);
            if (bytesPerPixel == 1) {
                out[0] = out[1] = out[2] = in[0];
                out[3] = 255;
            } else {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = bytesPerPixel == 4 ? in[3] : 255;
            }
        }
    }
    return image;
}

} // namespace vellocar::media
