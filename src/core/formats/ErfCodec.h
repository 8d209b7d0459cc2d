#pragma once
// The ERF family in memory (ERF, HAK, MOD, NWM, SAV, versions "V1.0" and "E1.0"): each record's
// layout, declared once, the reader of the header and tables (bytes to model), the reader for a
// check (every fault told) and the writer (resources to bytes, V1.0). No file system in here:
// ErfFiles.cpp brings the bytes in.
//
// Layout (all integers little-endian):
//   header             160 bytes at 0
//   localized strings  LanguageCount x (LanguageID, StringSize, StringSize bytes), within
//                      LocalizedStringSize bytes at OffsetToLocalizedString
//   key list           EntryCount x 24 bytes at OffsetToKeyList: entry i names resource i
//   resource list      EntryCount x 8 bytes at OffsetToResourceList
//   resource bytes     each ResourceSize bytes at its OffsetToResource
// E1.0, the Enhanced Edition's: the header's reserved bytes start with a 24-byte object ID; a key
// entry adds the SHA-1 of its resource's uncompressed bytes (44 bytes), a resource entry how its
// bytes are stored, as an E1 BIF's (0 as they are, 1 a compressed buffer), and their size once
// read (16 bytes).

#include "base/Dates.h"
#include "base/Records.h"
#include "formats/KeyModel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellocar {

inline constexpr std::size_t kErfReservedSize = 92; // after the object ID

// One description, its text as the archive holds it (the game's code page for its language).
struct TErfLocalizedString {
    std::uint32_t LanguageId = 0;
    std::string Text;
    bool operator==(const TErfLocalizedString&) const = default;
};

struct TErfKeyEntry {
    TResRef ResRef{};
    std::uint32_t ResId = 0;
    std::uint16_t ResType = 0;
    std::uint16_t Unused = 0;
    TSha1 Sha1{}; // E1.0: of the resource's bytes once read
};

// Size is the bytes the archive stores. A V1.0 archive's entry reads as stored as it is, its
// UncompressedSize its Size.
struct TErfResourceEntry {
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
    std::uint32_t CompressionType = 0; // compressedbuf::kStoredAsIs or kCompressedBuffer
    std::uint32_t UncompressedSize = 0;
};

// The header and tables of an archive, field for field. Keys[i] names Resources[i]: the two
// lists are paired by position, as the game pairs them.
struct TErfFile {
    TFourCC FileType{};
    TFourCC FileVersion{};
    std::uint32_t LanguageCount = 0;
    std::uint32_t LocalizedStringSize = 0;
    std::uint32_t EntryCount = 0;
    std::uint32_t OffsetToLocalizedString = 0;
    std::uint32_t OffsetToKeyList = 0;
    std::uint32_t OffsetToResourceList = 0;
    std::uint32_t BuildYear = 0; // since 1900
    std::uint32_t BuildDay = 0; // since 1 January
    std::uint32_t DescriptionStrRef = 0;
    TOid Oid{}; // E1.0's object ID; in a V1.0 archive, reserved bytes like those after it
    std::array<std::uint8_t, kErfReservedSize> Reserved{};
    std::vector<TErfLocalizedString> Strings;
    std::vector<TErfKeyEntry> Keys;
    std::vector<TErfResourceEntry> Resources;
};

// What a writer makes an archive of.
struct TErfResource {
    TResRef ResRef{}; // up to its first zero byte
    std::uint16_t ResType = 0;
    std::vector<std::uint8_t> Bytes;
};
struct TErfContent {
    TFourCC FileType{'H', 'A', 'K', ' '};
    LocalDate Built; // the build's date (today's, or SOURCE_DATE_EPOCH's, as a KEY's)
    std::uint32_t DescriptionStrRef = 0xFFFFFFFF; // none
    std::vector<TErfLocalizedString> Strings;
    std::vector<TErfResource> Resources;
};

// One resource of an archive that a writer lays out, its bytes elsewhere.
struct TErfPlannedResource {
    TResRef ResRef{}; // up to its first zero byte
    std::uint16_t ResType = 0;
    std::uint64_t Size = 0;
};
struct TErfLayout {
    std::vector<std::uint8_t> Front; // header, strings, key list and resource list
    std::vector<std::size_t> Order; // Order[place]: the resource whose bytes come place-th
    std::uint64_t Size = 0; // the whole archive's
};

} // namespace vellocar

namespace vellocar::erfcodec {

using Header =
    byteio::TRecordLayout<&TErfFile::FileType, &TErfFile::FileVersion, &TErfFile::LanguageCount,
                          &TErfFile::LocalizedStringSize, &TErfFile::EntryCount, &TErfFile::OffsetToLocalizedString,
                          &TErfFile::OffsetToKeyList, &TErfFile::OffsetToResourceList, &TErfFile::BuildYear,
                          &TErfFile::BuildDay, &TErfFile::DescriptionStrRef, &TErfFile::Oid, &TErfFile::Reserved>;
using KeyRow =
    byteio::TRecordLayout<&TErfKeyEntry::ResRef, &TErfKeyEntry::ResId, &TErfKeyEntry::ResType, &TErfKeyEntry::Unused>;
using ResourceRow = byteio::TRecordLayout<&TErfResourceEntry::Offset, &TErfResourceEntry::Size>;
using KeyRowE1 = byteio::TRecordLayout<&TErfKeyEntry::ResRef, &TErfKeyEntry::ResId, &TErfKeyEntry::ResType,
                                       &TErfKeyEntry::Unused, &TErfKeyEntry::Sha1>;
using ResourceRowE1 = byteio::TRecordLayout<&TErfResourceEntry::Offset, &TErfResourceEntry::Size,
                                            &TErfResourceEntry::CompressionType, &TErfResourceEntry::UncompressedSize>;
static_assert(Header::Size == 160 && KeyRow::Size == 24 && ResourceRow::Size == 8 && KeyRowE1::Size == 44 &&
              ResourceRowE1::Size == 16);
// A localized string's LanguageID and StringSize, before its bytes.
inline constexpr std::size_t kStringHeadSize = 8;

inline constexpr TFourCC kVersion1{'V', '1', '.', '0'};
inline constexpr TFourCC kVersionE1{'E', '1', '.', '0'};

// How many bytes a key entry and a resource entry of an archive of this version take.
inline std::size_t KeyRowSize(const TFourCC& version) { return version == kVersionE1 ? KeyRowE1::Size : KeyRow::Size; }
inline std::size_t ResourceRowSize(const TFourCC& version) {
    return version == kVersionE1 ? ResourceRowE1::Size : ResourceRow::Size;
}

// The entry as a KEY's would be, its ResId the place given (entry i names resource i), so that an
// archive's resources are listed, named and exported as a BIF's are.
TNWNKeyEntry KeyEntryOf(const TErfKeyEntry& entry, std::uint32_t place);

// Whether head (at least 4 bytes) starts with the type of an archive of the family.
bool IsErfType(std::span<const std::uint8_t> head);

// The archive's kind for a message, its type without the blank ("HAK"); "ERF" for a type that
// is none of the family's.
std::string KindOf(const TFourCC& type);

// How many leading bytes of an archive of fileSize bytes hold its header and tables, judged
// from the leading bytes at hand: a number beyond prefix.size() asks for more (at most two
// rounds). Raises EFormatError, naming the file as name, when it is no archive of the family of
// a version read here, or a table does not fit the file.
std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name);

// Reads the header and tables from an archive's leading bytes (at least BytesNeeded of them).
// Every count and offset is checked against fileSize before anything is allocated for it.
// Where the resources' bytes lie, and how they unpack, is not checked here (a reader of one
// resource checks its own).
// Raises EFormatError naming the file and the fault.
TErfFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name);

// Told each fault of an archive, in words that follow the archive's name.
using TFaultSink = std::function<void(const std::string& fault)>;

// How many leading bytes ParseForCheck wants: the header, then every table as far as it lies
// within the file. Never raises; never more than fileSize.
std::uint64_t CheckBytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize);

// Reads an archive as a check needs it, from its leading bytes (CheckBytesNeeded of them): every
// fault is told to fault as it is found, and the reading goes on with what lies within the file.
// Besides Parse's faults: resources that run past the end of the file or overlap another's bytes
// or the tables, two entries that are one resource (ResourceKey), a key entry whose ResID is not
// its place, and key and resource lists of which only one lies within the file. Nothing when
// not even a header of the family of a version read here is there. Whatever Parse accepts gives
// Parse's model here. The SHA-1s of an E1.0 archive need its resources' bytes: they are the
// caller's to check (VerifyErfArchive).
std::optional<TErfFile> ParseForCheck(std::span<const std::uint8_t> bytes, std::uint64_t fileSize,
                                      const TFaultSink& fault);

// The most bytes an archive that Vellocar writes may hold: its offsets are 32-bit, and readers
// that take them as signed numbers fail beyond 2 GiB.
inline constexpr std::uint64_t kMaxWrittenSize = 0x7FFFFFFF;

// The front of an archive of head's type, date and strings (head's Resources are not looked at)
// that holds resources, their bytes elsewhere: header, localized strings, key list and resource
// list, as bytes, then the resources' bytes in Order (Order[place] is the index in resources of
// the one at place), Size bytes in all. Refused as Serialize refuses, and when the archive
// would hold more than kMaxWrittenSize bytes or kMaxResourcesPerBif resources.
TErfLayout Layout(const TErfContent& head, std::span<const TErfPlannedResource> resources, const std::string& name);

// The bytes of an archive of content: header, localized strings, key list, resource list, then
// the resources' bytes, the resources in the order a build packs a folder in (FolderOrderLess of
// their lines "name.ext", then by type), each ResID its place. Refused with EFormatError naming
// the archive as name: a type that is none of the family's, an empty name, two resources that
// are one (ResourceKey), or more than Layout allows.
std::vector<std::uint8_t> Serialize(const TErfContent& content, const std::string& name);

} // namespace vellocar::erfcodec
