#pragma once
// The BIF format in memory: its records, declared once with their field offsets, the reader of
// the header and tables (bytes to tables) and the writer of the header and variable table. No
// file system in here: BifFiles.cpp and the build bring the bytes in and out.
//
// Layout (all integers little-endian):
//   header           20 bytes at 0 (bytes up to VarTableOffset beyond it: HeaderExtra)
//   variable table   VarResCount x 16 bytes at VarTableOffset
//   fixed table      FixedResCount x 20 bytes right after it
//   resource bytes   each FileSize bytes at its Offset

#include "BifFiles.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellocar::bifcodec {

namespace header {
inline constexpr std::size_t FileType = 0;
inline constexpr std::size_t FileVersion = 4;
inline constexpr std::size_t VarResCount = 8;
inline constexpr std::size_t FixedResCount = 12;
inline constexpr std::size_t VarTableOffset = 16;
inline constexpr std::size_t Size = kBifHeaderSize;
static_assert(VarTableOffset + 4 == Size);
} // namespace header

namespace varentry {
inline constexpr std::size_t Id = 0;
inline constexpr std::size_t Offset = 4;
inline constexpr std::size_t FileSize = 8;
inline constexpr std::size_t ResType = 12;
inline constexpr std::size_t Size = kBifVarEntrySize;
static_assert(ResType + 4 == Size);
} // namespace varentry

namespace fixedentry {
inline constexpr std::size_t Id = 0;
inline constexpr std::size_t Offset = 4;
inline constexpr std::size_t PartCount = 8;
inline constexpr std::size_t PartSize = 12;
inline constexpr std::size_t ResType = 16;
inline constexpr std::size_t Size = kBifFixedEntrySize;
static_assert(ResType + 4 == Size);
} // namespace fixedentry

inline constexpr TFourCC kFileType{'B', 'I', 'F', 'F'};
inline constexpr TFourCC kVersion1{'V', '1', ' ', ' '};

// The header and both tables of a BIF, field for field.
struct TBifTables {
    TFourCC FileType{};
    TFourCC FileVersion{};
    std::uint32_t VarResCount = 0;
    std::uint32_t FixedResCount = 0;
    std::uint32_t VarTableOffset = 0;
    TNWNBinaryData HeaderExtra;
    std::vector<TNWNVarResEntry> VarResources;
    std::vector<TNWNFixedResEntry> FixedResources;
};

// How many leading bytes of a BIF of fileSize bytes hold its header and tables, judged from
// the leading bytes at hand: a number beyond prefix.size() asks for more (at most two rounds).
// Raises EFormatError, naming the file as name, when a table does not fit the file.
std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name);

// Reads the header and tables from a BIF's leading bytes (at least BytesNeeded of them). A
// table offset below the header's end is taken as it stands: the table is read over the
// header. Raises EFormatError naming the file and the fault.
TBifTables Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name);

// The header of a BIF of varCount variable resources whose table follows the header directly,
// with no fixed resources: what every BIF we write starts with.
void PutHeader(std::span<std::uint8_t, header::Size> out, std::uint32_t varCount);

// One variable-table entry.
void PutVarEntry(std::span<std::uint8_t, varentry::Size> out, const TNWNVarResEntry& entry);

} // namespace vellocar::bifcodec
