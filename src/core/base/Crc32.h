#pragma once
// CRC-32 as Ethernet, zlib and PNG compute it (reflected polynomial 0xEDB88320), in pieces:
// Crc32(b, Crc32(a)) is the checksum of a followed by b.

#include <cstdint>
#include <span>

namespace vellocar {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t previous = 0);

} // namespace vellocar
