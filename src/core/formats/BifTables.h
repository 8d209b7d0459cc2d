#pragma once
// BIF data archives ("BIFF" "V1  ", and "E1  " with compressed resources): the records and
// tables, field for field as the file holds them, and a BIF opened with its KEY. The layout and
// the reading of the bytes are in BifCodec.h; finding and opening a BIF, in BifFiles.h.

#include "formats/KeyModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellocar {

using TNWNBinaryData = std::vector<std::uint8_t>;

// FileSize is the bytes the BIF stores; an E1 BIF adds how they are stored (0 as they are, 1 a
// compressed buffer) and the size of the resource once read. A V1 BIF reads as 0 and FileSize.
struct TNWNVarResEntry {
    std::uint32_t Id = 0;
    std::uint32_t Offset = 0;
    std::uint32_t FileSize = 0;
    std::uint32_t ResType = 0;
    std::uint32_t CompressionType = 0;
    std::uint32_t UncompressedSize = 0;
};

// Whether a resource's bytes are its stored bytes (FileSize of them), as in every V1 BIF and an
// ERF; else they are a compressed buffer to unpack (compressedbuf::Unpack).
inline bool IsStoredAsIs(const TNWNVarResEntry& e) { return e.CompressionType == 0; }

// The resource's size as a list shows it: its size once read.
inline std::uint32_t ResourceSize(const TNWNVarResEntry& e) {
    return e.CompressionType == 0 ? e.FileSize : e.UncompressedSize;
}

struct TNWNFixedResEntry {
    std::uint32_t Id = 0;
    std::uint32_t Offset = 0;
    std::uint32_t PartCount = 0;
    std::uint32_t PartSize = 0;
    std::uint32_t ResType = 0;
};

// The header and both tables of a BIF, field for field; HeaderExtra holds the bytes between
// the header and a variable table that starts later. An E1 BIF's object ID follows its header
// (zeros for V1).
struct TBifTables {
    TFourCC FileType{};
    TFourCC FileVersion{};
    std::uint32_t VarResCount = 0;
    std::uint32_t FixedResCount = 0;
    std::uint32_t VarTableOffset = 0;
    TNWNBinaryData HeaderExtra;
    TOid Oid{};
    std::vector<TNWNVarResEntry> VarResources;
    std::vector<TNWNFixedResEntry> FixedResources;
};

// A BIF read with its KEY: its tables, and which entry of the KEY it is.
struct TOpenedBif {
    std::string Path;
    std::int32_t BifIndex = 0;
    TBifTables Tables;
};

} // namespace vellocar
