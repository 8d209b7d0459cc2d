#pragma once
// BIF data archives ("BIFF" "V1  ", and "E1  " with compressed resources): the records and tables, field for field as the file holds
// them; where a KEY's BIF lies; and opening one with its KEY, as a value (OpenBif). The layout
// and the reading of the bytes are in BifCodec.h.

#include "KeyFiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

// Where the BIF that a KEY in keyFolder stores as storedName lies. First where the classic
// game keeps it: keyFolder + storedName (platform::ResolveStoredName). When nothing is there,
// the Enhanced Edition's layouts, whose KEYs sit one folder below the names' root: the KEY's
// parent folder + storedName (<game>/data/nwn_base.key naming data\base_2da.bif), then the
// KEY's own folder + the stored name's last part (the language KEYs in <game>/lang/xx/data).
// A name beyond ASCII is looked for as stored, then (Classic false) as this system spells it
// (FileNameOf: UTF-8 on Linux).
// found says whether a file stands there; when none does, the classic path is returned, so
// that the error names where the BIF was looked for first.
struct TBifLocation {
    std::string Path;
    bool Found = false;
    bool Classic = true; // the path is keyFolder + storedName
};
TBifLocation LocateBif(const std::string& keyFolder, const std::string& storedName);

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

// Which entry of key the BIF at path is: bifIndex where the caller knows it; otherwise the KEY
// Filename that ends path, else the first one that occurs in it (a path that holds none of them
// is refused with EFormatError); 0 without a KEY.
std::int32_t BifEntryOf(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex = {});

// Reads the header and tables of the BIF at path. Tables that do not fit the file are refused
// with EFormatError before anything is allocated.
TBifTables ReadBifTables(const std::string& path);

// Why the BIF at path, read as tables, cannot be a BIF of key: a BIF of the other version (V1
// and E1 are made in pairs), or an E1 BIF whose object ID is not the KEY's (a BIF of another
// build of the KEY, whose resources the KEY's entries do not describe); "" when it can be.
std::string BifKeyMismatch(const TBifTables& tables, const TNWNKeyFile& key);

// Both: the BIF at path read as entry BifEntryOf of key, refused with EFormatError when it cannot
// be a BIF of key (BifKeyMismatch).
TOpenedBif OpenBif(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex = {});

// The lines a list shows for BIF bif of key: one per KEY entry in KEY order, each the
// resource's name and extension as this system spells names.
std::vector<std::string> ResourceLines(const TNWNKeyFile& key, std::size_t bif);

} // namespace vellocar
