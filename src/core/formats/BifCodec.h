#pragma once
// The BIF format in memory: each record's layout, declared once, the reader of the header and
// tables (bytes to tables) and the writer of the header and variable table. No file system in
// here: BifFiles.cpp and the build bring the bytes in and out.
//
// Layout (all integers little-endian):
//   header           20 bytes at 0 (bytes up to VarTableOffset beyond it: HeaderExtra)
//   variable table   VarResCount x 16 bytes at VarTableOffset
//   fixed table      FixedResCount x 20 bytes right after it
//   resource bytes   each FileSize bytes at its Offset
// E1 ("BIFFE1  "): the header, then the 24-byte object ID of its KEY; variable entries of 24
// bytes, which add CompressionType and UncompressedSize. One writer reserves more room per
// entry than it fills: the table is read from VarTableOffset, entries one after another.

#include "base/Records.h"
#include "formats/BifTables.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vellocar::bifcodec {

using Header = byteio::TRecordLayout<&TBifTables::FileType, &TBifTables::FileVersion, &TBifTables::VarResCount,
                                     &TBifTables::FixedResCount, &TBifTables::VarTableOffset>;
using VarEntry = byteio::TRecordLayout<&TNWNVarResEntry::Id, &TNWNVarResEntry::Offset, &TNWNVarResEntry::FileSize,
                                       &TNWNVarResEntry::ResType>;
using FixedEntry =
    byteio::TRecordLayout<&TNWNFixedResEntry::Id, &TNWNFixedResEntry::Offset, &TNWNFixedResEntry::PartCount,
                          &TNWNFixedResEntry::PartSize, &TNWNFixedResEntry::ResType>;
using VarEntryE1 = byteio::TRecordLayout<&TNWNVarResEntry::Id, &TNWNVarResEntry::Offset, &TNWNVarResEntry::FileSize,
                                         &TNWNVarResEntry::ResType, &TNWNVarResEntry::CompressionType,
                                         &TNWNVarResEntry::UncompressedSize>;
static_assert(Header::Size == 20 && VarEntry::Size == 16 && FixedEntry::Size == 20 && VarEntryE1::Size == 24);
inline constexpr std::size_t kOidAt = Header::Size; // an E1 BIF's object ID

inline constexpr TFourCC kFileType{'B', 'I', 'F', 'F'};
inline constexpr TFourCC kVersion1{'V', '1', ' ', ' '};
inline constexpr TFourCC kVersionE1{'E', '1', ' ', ' '};

// How many bytes a variable entry of a BIF of this version takes.
inline std::size_t VarEntrySize(const TFourCC& version) {
    return version == kVersionE1 ? VarEntryE1::Size : VarEntry::Size;
}

// How many leading bytes of a BIF of fileSize bytes hold its header and tables, judged from
// the leading bytes at hand: a number beyond prefix.size() asks for more (at most three rounds).
// Raises EFormatError, naming the file as name, when a table does not fit the file or the BIF is
// of a version this reader does not read.
std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name);

// Reads the header and tables from a BIF's leading bytes (at least BytesNeeded of them). A
// table offset below the header's end is taken as it stands: the table is read over the
// header. Raises EFormatError naming the file and the fault.
TBifTables Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name);

// The header of a BIF of varCount variable resources whose table follows the header directly,
// with no fixed resources: what every BIF we write starts with.
void PutHeader(std::span<std::uint8_t, Header::Size> out, std::uint32_t varCount);

// One variable-table entry.
void PutVarEntry(std::span<std::uint8_t, VarEntry::Size> out, const TNWNVarResEntry& entry);

} // namespace vellocar::bifcodec
