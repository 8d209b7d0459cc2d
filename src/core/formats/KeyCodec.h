#pragma once
// The KEY format in memory: each record's layout, declared once, the reader (bytes to model)
// and the writer (model to bytes). No file system in here: KeyFiles.cpp brings the bytes in and
// out.
//
// Layout (all integers little-endian):
//   header      64 bytes at 0
//   file table  BifCount x 12 bytes at OffsetToFileTable
//   names       each FilenameSize bytes at its FilenameOffset
//   key table   KeyCount x 22 bytes at OffsetToKeyTable
// E1 ("KEY E1  ") is laid out alike, but for a 24-byte object ID at the start of the reserved
// bytes and the SHA-1 of the resource's uncompressed bytes after each key entry (42 bytes).

#include "base/Records.h"
#include "formats/KeyModel.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellocar::keycodec {

using Header =
    byteio::TRecordLayout<&TNWNKeyFile::FileType, &TNWNKeyFile::FileVersion, &TNWNKeyFile::BifCount,
                          &TNWNKeyFile::KeyCount, &TNWNKeyFile::OffsetToFileTable, &TNWNKeyFile::OffsetToKeyTable,
                          &TNWNKeyFile::BuildYear, &TNWNKeyFile::BuildDay, &TNWNKeyFile::Reserved>;
using FileTableRow = byteio::TRecordLayout<&TNWNFileTableEntry::FileSize, &TNWNFileTableEntry::FilenameOffset,
                                           &TNWNFileTableEntry::FilenameSize, &TNWNFileTableEntry::Drives>;
using KeyTableRow = byteio::TRecordLayout<&TNWNKeyEntry::ResRef, &TNWNKeyEntry::ResType, &TNWNKeyEntry::ResId>;
using KeyTableRowE1 =
    byteio::TRecordLayout<&TNWNKeyEntry::ResRef, &TNWNKeyEntry::ResType, &TNWNKeyEntry::ResId, &TNWNKeyEntry::Sha1>;
static_assert(Header::Size == 64 && FileTableRow::Size == 12 && KeyTableRow::Size == 22 && KeyTableRowE1::Size == 42);
inline constexpr std::size_t kOidAt = 32; // an E1 KEY's object ID, in the header

inline constexpr TFourCC kFileType{'K', 'E', 'Y', ' '};
inline constexpr TFourCC kVersion1{'V', '1', ' ', ' '};
inline constexpr TFourCC kVersionE1{'E', '1', ' ', ' '};

// How many leading bytes of a KEY of fileSize bytes must be at hand to read it, judged from
// the leading bytes already at hand: a number beyond prefix.size() asks for more, and is
// asked again with them (at most three rounds: header, tables, names). Raises EFormatError,
// naming the file as name, when the header or a table cannot fit the file, or when the KEY is
// of a version this reader does not read.
std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name,
                          const TKeyParts& parts = {});

// Told each fault of a KEY's structure, in words that follow the KEY's name.
using TFaultSink = std::function<void(const std::string& fault)>;

// Reads a KEY as a check needs it, from the bytes of the whole file: every fault of its
// structure is told to fault as it is found, and the reading goes on with what lies within the
// file (the rows of a table before its end, the names that fit, the key entries that name a row
// of the file table). Nothing when not even a header of this version is there. fault hears
// nothing exactly when Parse accepts the file, and the model is then Parse's.
std::optional<TNWNKeyFile> ParseForCheck(std::span<const std::uint8_t> file, const TFaultSink& fault);

// Reads a KEY from its leading bytes (at least BytesNeeded of them). Every count, offset and
// name is checked against fileSize before anything is allocated for it, and the memory the
// model takes stays proportional to the file. Raises EFormatError naming the file and fault.
// With parts, only what they name is read (the rest of the file table's and key table's checks
// made all the same), so that a command reads no more than it shows.
TNWNKeyFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name,
                  const TKeyParts& parts = {});

// Fills OffsetToFileTable, every FilenameOffset, OffsetToKeyTable and KeyCount from the names
// and key entries; raises EFormatError when they would not fit the 32-bit offsets.
void ComputeLayout(TNWNKeyFile& key);

// The bytes of a KEY: header, file table, names (each followed by one zero byte), key table
// grouped by BIF in table order, laid out as ComputeLayout would lay the model out (whose own
// layout fields are not read). A model whose BifCount, file table and names disagree, or one of
// a version other than V1 (Vellocar reads E1 but writes V1 only), is refused with EFormatError.
std::vector<std::uint8_t> Serialize(const TNWNKeyFile& key, const std::string& name);

} // namespace vellocar::keycodec
