#pragma once
// The KEY format in memory: its records, declared once with their field offsets, the reader
// (bytes to model) and the writer (model to bytes). No file system in here: KeyFiles.cpp
// brings the bytes in and out.
//
// Layout (all integers little-endian):
//   header      64 bytes at 0
//   file table  BifCount x 12 bytes at OffsetToFileTable
//   names       each FilenameSize bytes at its FilenameOffset
//   key table   KeyCount x 22 bytes at OffsetToKeyTable

#include "KeyFiles.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellocar::keycodec {

// Field offsets within each record.
namespace header {
inline constexpr std::size_t FileType = 0;
inline constexpr std::size_t FileVersion = 4;
inline constexpr std::size_t BifCount = 8;
inline constexpr std::size_t KeyCount = 12;
inline constexpr std::size_t OffsetToFileTable = 16;
inline constexpr std::size_t OffsetToKeyTable = 20;
inline constexpr std::size_t BuildYear = 24;
inline constexpr std::size_t BuildDay = 28;
inline constexpr std::size_t Reserved = 32;
inline constexpr std::size_t Size = kKeyHeaderSize;
static_assert(Reserved + kKeyReservedSize == Size);
} // namespace header

namespace filetable {
inline constexpr std::size_t FileSize = 0;
inline constexpr std::size_t FilenameOffset = 4;
inline constexpr std::size_t FilenameSize = 8;
inline constexpr std::size_t Drives = 10;
inline constexpr std::size_t Size = kKeyFileTableEntrySize;
static_assert(Drives + 2 == Size);
} // namespace filetable

namespace keytable {
inline constexpr std::size_t ResRef = 0;
inline constexpr std::size_t ResType = 16;
inline constexpr std::size_t ResId = 18;
inline constexpr std::size_t Size = kKeyEntrySize;
static_assert(ResRef + kResRefSize == ResType && ResId + 4 == Size);
} // namespace keytable

inline constexpr TFourCC kFileType{'K', 'E', 'Y', ' '};
inline constexpr TFourCC kVersion1{'V', '1', ' ', ' '};

// How many leading bytes of a KEY of fileSize bytes must be at hand to read it, judged from
// the leading bytes already at hand: a number beyond prefix.size() asks for more, and is
// asked again with them (at most three rounds: header, tables, names). Raises EFormatError,
// naming the file as name, when the header or a table cannot fit the file.
std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name);

// Reads a KEY from its leading bytes (at least BytesNeeded of them). Every count, offset and
// name is checked against fileSize before anything is allocated for it, and the memory the
// model takes stays proportional to the file. Raises EFormatError naming the file and fault.
TNWNKeyFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name);

// Fills OffsetToFileTable, every FilenameOffset, OffsetToKeyTable and KeyCount from the names
// and key entries; raises EFormatError when they would not fit the 32-bit offsets.
void ComputeLayout(TNWNKeyFile& key);

// The bytes of a KEY: header, file table, names (each followed by one zero byte), key table
// grouped by BIF in table order. Computes the layout first; a model whose BifCount, file table
// and names disagree is refused with EFormatError.
std::vector<std::uint8_t> Serialize(TNWNKeyFile& key, const std::string& name);

} // namespace vellocar::keycodec
