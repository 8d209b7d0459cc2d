// Text resources: recognised by type or by content, decoded from Windows-1252.

#include "media/TextView.h"

#include "base/ByteIO.h"
#include "base/Text.h"

#include <algorithm>
#include <array>

namespace vellocar::media {

namespace {

// The types the game keeps as text.
constexpr std::array kTextTypes{restype::kIni, restype::kTxt,   restype::kNss,
                                restype::kSet, restype::kTwoDa, restype::kTxi};

} // namespace

bool IsTextType(TResType resType) {
    return std::find(kTextTypes.begin(), kTextTypes.end(), resType) != kTextTypes.end();
}

bool IsPrintableText(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) {
        if (b < 0x20) return b == '\t' || b == '\n' || b == '\r' || b == '\f';
        return b != 0x7F && !IsUndefinedInWindows1252(b);
    });
}

bool ReadsAsText(TResType resType, std::span<const std::uint8_t> bytes) {
    return IsTextType(resType) || IsPrintableText(bytes);
}

std::string TextOf(std::span<const std::uint8_t> bytes) {
    return Windows1252ToUtf8(byteio::AsChars(bytes.data(), bytes.size()));
}

} // namespace vellocar::media
