#pragma once
// Bytes as a hex dump, 16 to a line: the offset, the bytes in hex, and the printable ones as
// characters ("." for the others):
//
//   00000000  42 49 46 46 56 31 20 20  02 00 00 00 00 00 00 00  |BIFFV1  ........|

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vellocar::media {

inline constexpr std::size_t kHexDumpBytesPerLine = 16;

// The lines of bytes, each ending with "\n", offsets counted from firstOffset (so that a viewer
// can show a large resource a page at a time). The offset takes 8 hexadecimal digits, more
// when it needs them.
std::string HexDump(std::span<const std::uint8_t> bytes, std::uint64_t firstOffset = 0);

} // namespace vellocar::media
