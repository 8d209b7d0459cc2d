// The hex dump of a resource that is neither text nor a picture.

#include "media/HexDump.h"

#include "base/Text.h"

#include <algorithm>

namespace vellocar::media {

namespace {

constexpr int kOffsetDigits = 8;
constexpr std::size_t kGroup = 8; // an extra blank between the two halves of a line

void AppendOffset(std::string& out, std::uint64_t offset) {
    int digits = kOffsetDigits;
    while (digits < 16 && (offset >> (4 * digits)) != 0) ++digits;
    for (int d = digits - 1; d >= 0; --d) out += "0123456789abcdef"[(offset >> (4 * d)) & 0xF];
}

} // namespace

std::string HexDump(std::span<const std::uint8_t> bytes, std::uint64_t firstOffset) {
    std::string out;
    // 78 characters a full line with an 8-digit offset.
    out.reserve((bytes.size() / kHexDumpBytesPerLine + 1) * 80);
    for (std::size_t line = 0; line < bytes.size(); line += kHexDumpBytesPerLine) {
        const std::span<const std::uint8_t> part =
            bytes.subspan(line, std::min(kHexDumpBytesPerLine, bytes.size() - line));
        AppendOffset(out, firstOffset + line);
        out += ' ';
        for (std::size_t i = 0; i < kHexDumpBytesPerLine; ++i) {
            if (i % kGroup == 0) out += ' ';
            if (i < part.size()) {
                AppendHex(out, part[i]);
                out += ' ';
            } else {
                out += "   ";
            }
        }
        out += " |";
        for (const std::uint8_t b : part) out += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
        out += "|\n";
    }
    return out;
}

} // namespace vellocar::media
