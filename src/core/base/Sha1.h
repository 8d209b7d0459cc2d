#pragma once
// SHA-1 (FIPS 180-4), in pieces: an E1 KEY keeps one per resource, of the resource's
// uncompressed bytes, and verify compares it with the bytes the BIF gives back. Used as a
// checksum against damage, not against someone who means harm.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vellocar {

inline constexpr std::size_t kSha1Size = 20;
using TSha1 = std::array<std::uint8_t, kSha1Size>;

class TSha1Hasher {
public:
    void Add(std::span<const std::uint8_t> bytes);
    // The digest of everything added; the hasher is spent after it.
    TSha1 Finish();

private:
    void Block(const std::uint8_t* block);

    static constexpr std::size_t kBlockSize = 64;
    std::array<std::uint32_t, 5> state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    std::array<std::uint8_t, kBlockSize> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

TSha1 Sha1Of(std::span<const std::uint8_t> bytes);

// The digest as 40 lower-case hex digits, as sha1sum prints it.
std::string Sha1Hex(const TSha1& digest);

} // namespace vellocar
