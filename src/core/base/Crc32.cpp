// CRC-32 over a table of the 256 byte values: see Crc32.h.

#include "base/Crc32.h"

#include <array>

namespace vellocar {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t previous) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < t.size(); ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = previous ^ 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) crc = table[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

} // namespace vellocar
