#pragma once
// A 2048 x 2048 DXT5 texture, as the game ships its largest ones (the standard DDS header, the
// full mipmap chain), made in memory from a fixed seed for the benchmarks.

#include <cstdint>
#include <vector>

namespace vellocar::bench {

inline constexpr std::uint32_t kSide = 2048;

// "DDS ", a 124-byte header for kSide x kSide DXT5 with every mipmap level, then the blocks of
// all levels: random alphas and colours, as a photographic texture compresses.
inline std::vector<std::uint8_t> Dxt5Texture() {
    std::vector<std::uint8_t> dds;
    auto u32 = [&](std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) dds.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    std::uint32_t levels = 0, blocks = 0;
    for (std::uint32_t side = kSide; side >= 1; side /= 2, ++levels) blocks += ((side + 3) / 4) * ((side + 3) / 4);
    dds = {'D', 'D', 'S', ' '};
    for (std::uint32_t v : {124u, 0xA1007u, kSide, kSide, kSide * kSide, 0u, levels}) u32(v);
    dds.resize(dds.size() + 44);
    for (std::uint32_t v : {32u, 4u}) u32(v);
    dds.insert(dds.end(), {'D', 'X', 'T', '5'});
    dds.resize(dds.size() + 20);
    for (std::uint32_t v : {0x401008u, 0u, 0u, 0u, 0u}) u32(v);
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    for (std::uint64_t i = 0; i < std::uint64_t{blocks} * 16; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        dds.push_back(static_cast<std::uint8_t>(state));
    }
    return dds;
}

} // namespace vellocar::bench
