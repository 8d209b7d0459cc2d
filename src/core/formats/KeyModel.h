#pragma once
// KEY index files ("KEY " "V1  ", and the "E1  " of the Enhanced Edition's tools): the model,
// field for field as the file holds it. The layout of each record and the reading and writing
// of the bytes are in KeyCodec.h; the model's loading and saving, and its members that know the
// layout, in KeyFiles.cpp, over the codec, which sees only this header.

#include "base/Sha1.h"
#include "names/ArchiveNames.h"
#include "names/ResourceTypes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

inline constexpr std::size_t kResRefSize = 16;
inline constexpr std::size_t kKeyReservedSize = 32;

// ResId = BIF index << 20 | index in that BIF's variable table.
inline constexpr unsigned kResIdBifShift = 20;
inline constexpr std::uint32_t kResIdIndexMask = (1u << kResIdBifShift) - 1;
inline constexpr std::uint32_t kMaxBifsPerKey = 1u << (32 - kResIdBifShift); // 4096
inline constexpr std::uint32_t kMaxResourcesPerBif = 1u << kResIdBifShift; // 1,048,576

using TFourCC = std::array<char, 4>;
using TResRef = std::array<char, kResRefSize>;

// What a KEY or BIF of another version than the one read here is, for a fault: "of version
// "V1.1", which Vellocar does not read (it reads KEY version "V1  ")".
std::string OtherVersionText(std::string_view kind, std::string_view found, const TFourCC& read);

// A ResRef as text: up to its first zero byte, all 16 characters when it has none.
std::string ResRefToString(const TResRef& resRef);

// One row of the file table, field for field.
struct TNWNFileTableEntry {
    std::uint32_t FileSize = 0;
    std::uint32_t FilenameOffset = 0;
    std::uint16_t FilenameSize = 0;
    std::uint16_t Drives = 0;
};

// One row of the key table, field for field. ResRef is held as the 16 bytes of the file. An E1
// KEY adds the SHA-1 of the resource's uncompressed bytes; a V1 KEY leaves it zero.
struct TNWNKeyEntry {
    TResRef ResRef{};
    std::uint16_t ResType = 0;
    std::uint32_t ResId = 0;
    TSha1 Sha1{};
};

// How a resource is listed and named as a loose file: its ResRef as text, a point, and the
// extension of its type ("abcdefgh.2da"; "name." for a type the table does not know), as the
// archive's bytes spell it.
TArchiveName ResourceLine(const TNWNKeyEntry& entry);
// The line as this system shows it (ShownName of ResourceLine), appended to out without a
// string of its own: the listing of a large KEY makes one per entry.
void AppendShownLine(std::string& out, const TNWNKeyEntry& entry);

// A BIF's name as the KEY stores it ("data\2da.bif", no zero byte) and its key entries in
// key-table order.
struct TNWNFilenameEntry {
    std::string Filename;
    std::vector<TNWNKeyEntry> Resources;
};

// An E1 KEY and its BIFs carry one object ID, 24 ASCII characters (the first 24 of the KEY's
// reserved bytes, right after the BIF's header), so that a BIF of another build of the KEY is
// known for what it is.
inline constexpr std::size_t kOidSize = 24;
using TOid = std::array<char, kOidSize>;

// Which parts of a KEY a reader fills: every BIF's key entries, one BIF's, or none (the BIF
// names alone; the key table is still checked to lie within the file, and with one BIF every
// entry is still checked to name a BIF of the table).
struct TKeyParts {
    bool Entries = true;
    std::optional<std::size_t> OnlyBif;
};

class TNWNKeyFile {
public:
    TFourCC FileType{};
    TFourCC FileVersion{};
    std::uint32_t BifCount = 0;
    std::uint32_t KeyCount = 0;
    std::uint32_t OffsetToFileTable = 0;
    std::uint32_t OffsetToKeyTable = 0;
    std::uint32_t BuildYear = 0;
    std::uint32_t BuildDay = 0;
    std::array<std::uint8_t, kKeyReservedSize> Reserved{};
    std::vector<TNWNFileTableEntry> FileTable;
    std::vector<TNWNFilenameEntry> Filenames;

    // Whether the KEY is of version "E1  " (42-byte key entries with a SHA-1, an object ID).
    bool IsE1() const;
    // The object ID of an E1 KEY; zeros for a V1 KEY.
    TOid Oid() const;

    // Not part of the file: the path LoadFromFile read or SaveToFile wrote, "" for a model
    // built in memory. An export uses it to refuse writing over the KEY it reads from.
    std::string Path;

    // Reads the KEY at path into this model, reading only the bytes its tables point at
    // (keycodec::Parse checks them all first). A fault raises, naming the file, and leaves the
    // model as it was.
    void LoadFromFile(const std::string& path, const TKeyParts& parts = {});

    // Writes the model (keycodec::Serialize) to path, replacing what is there, flushed; a file
    // that could not be written whole is removed. The model's layout fields then say where the
    // file holds its tables.
    void SaveToFile(const std::string& path);
};

} // namespace vellocar
