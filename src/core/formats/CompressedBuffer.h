#pragma once
// The compressed buffers of E1 BIFs and E1.0 ERF archives (HAK, MOD, ...): a resource whose entry
// says CompressionType 1 is stored as a 16-byte header (magic "XRES", header version 3,
// algorithm, uncompressed size), then for zlib a version (1) and a zlib stream, for zstd a
// version (1), a dictionary (0) and a zstd frame, for none the bytes themselves. Unpacking is
// bounded: the declared size must be the entry's and at most kMaxUnpackedSize, checked before
// anything is allocated, and no stream gives more. Both kinds of archive hand their resources
// here through the one reading of ResourceRead.h.

#include "base/Records.h"
#include "formats/KeyModel.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellocar::compressedbuf {

struct THeader {
    TFourCC Magic{};
    std::uint32_t Version = 0;
    std::uint32_t Algorithm = 0;
    std::uint32_t UncompressedSize = 0;
};
using Header =
    byteio::TRecordLayout<&THeader::Magic, &THeader::Version, &THeader::Algorithm, &THeader::UncompressedSize>;
static_assert(Header::Size == 16);

inline constexpr TFourCC kMagic{'X', 'R', 'E', 'S'};
inline constexpr std::uint32_t kHeaderVersion = 3;
inline constexpr std::uint32_t kStreamVersion = 1; // of the zlib and of the zstd part alike
inline constexpr std::size_t kZlibHeaderSize = 4; // its version
inline constexpr std::size_t kZstdHeaderSize = 8; // its version and dictionary

enum class TAlgorithm : std::uint32_t { None = 0, Zlib = 1, Zstd = 2 };

// What an E1 BIF's or E1.0 archive's entry says of its bytes (CompressionType).
inline constexpr std::uint32_t kStoredAsIs = 0;
inline constexpr std::uint32_t kCompressedBuffer = 1;

// The most one resource may unpack to: a resource of the game is a few MiB at most, and the
// unpacked bytes are held in memory whole.
inline constexpr std::uint32_t kMaxUnpackedSize = 256u << 20;

// A compressed buffer is never much larger than what it unpacks to (zlib and zstd add a few bytes
// per block to bytes they cannot shrink): one larger than this is not read into memory at all.
inline constexpr std::uint32_t kMaxStoredSize = kMaxUnpackedSize + (1u << 20);

// Refuses, as Unpack would, a resource whose sizes alone rule it out (a declared size over
// kMaxUnpackedSize, a stored size over kMaxStoredSize or, kept as it is, not the declared
// one), before its stored bytes are read.
void CheckSizes(std::uint64_t storedSize, std::uint32_t compression, std::uint32_t uncompressedSize);

// Whether this build unpacks zstd (the Windows build has no zstd library to link).
bool ReadsZstd();

// The bytes of a resource stored as stored under an E1 entry that says compression and
// uncompressedSize: stored itself when it is kept as it is (then both sizes must agree), else
// the compressed buffer unpacked to exactly uncompressedSize bytes. Raises EFormatError with the
// fault, in words that follow the resource's name ("its compressed buffer ...").
std::vector<std::uint8_t> Unpack(std::span<const std::uint8_t> stored, std::uint32_t compression,
                                 std::uint32_t uncompressedSize);

// Unpack into the first uncompressedSize bytes of room, which it grows when it is smaller and
// never shrinks, and returns them: one buffer then serves every resource of an export, neither
// allocated nor cleared again for each. What room held past them is left as it was.
std::span<const std::uint8_t> UnpackInto(std::span<const std::uint8_t> stored, std::uint32_t compression,
                                         std::uint32_t uncompressedSize, std::vector<std::uint8_t>& room);

} // namespace vellocar::compressedbuf
