// The KEY reader and writer over bytes: the header, then one function per table.

#include "formats/KeyCodec.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/FileKinds.h"
#include "platform/Platform.h"

#include <algorithm>
#include <limits>

namespace vellocar::keycodec {

namespace {

using byteio::PastEnd;
using byteio::RangeEnd;
using byteio::RowsWithin;

std::string Fault(const std::string& name, const std::string& what) { return CannotOpenAs("KEY", name, what); }

std::string NamePastEnd(std::uint32_t index, std::uint32_t offset, std::uint16_t size, std::uint64_t fileSize) {
    return "the name of BIF " + std::to_string(index) + " runs past the end of the file (offset " +
        std::to_string(offset) + ", " + std::to_string(size) + " bytes, file " + std::to_string(fileSize) + " bytes)";
}

// Where a table ends, refused when it does not fit the file.
std::uint64_t TableEnd(const std::string& name, const char* table, std::uint64_t offset, std::uint64_t count,
                       std::uint64_t entrySize, std::uint64_t fileSize) {
    const auto end = RangeEnd(offset, count, entrySize, fileSize);
    if (!end) throw EFormatError(Fault(name, PastEnd(table, offset, count, entrySize, fileSize)));
    return *end;
}

const std::uint8_t* Row(std::span<const std::uint8_t> bytes, std::uint64_t tableAt, std::size_t index,
                        std::size_t rowSize) {
    return bytes.data() + tableAt + index * rowSize;
}

// Why the file is no KEY of a version read here (V1, E1), "" when it is one. Another kind of
// file (a BIF, a HAK) or another version (NWN2's "V1.1") lays its tables out otherwise: read as
// this one, it would list garbage.
// A file too short to say is left to the check of its size. Judged before that check, so that a
// short file of another kind (an empty BIF has 20 bytes) is named as what it is.
std::string NotThisKey(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kKindBytes) return {};
    if (WrongKindText("KEY", bytes.first(kKindBytes), kFileType, kVersionE1).empty()) return {};
    return WrongKindText("KEY", bytes.first(kKindBytes), kFileType, kVersion1);
}

// How many bytes a key entry of this KEY's version takes.
std::uint64_t KeyRowSize(const TNWNKeyFile& header) {
    return header.FileVersion == kVersionE1 ? KeyTableRowE1::Size : KeyTableRow::Size;
}

TNWNKeyEntry ReadKeyRow(const std::uint8_t* at, bool e1) {
    return e1 ? KeyTableRowE1::Read(at) : KeyTableRow::Read(at);
}

std::string TooShort(std::uint64_t fileSize) {
    return "the file is too short for a KEY header (file " + std::to_string(fileSize) + " bytes, header " +
        std::to_string(Header::Size) + " bytes)";
}

// The file table's first rows, which lie within bytes.
std::vector<TNWNFileTableEntry> ReadFileTable(std::span<const std::uint8_t> bytes, const TNWNKeyFile& header,
                                              std::uint64_t rows) {
    std::vector<TNWNFileTableEntry> table(rows);
    for (std::size_t i = 0; i < rows; ++i)
        FileTableRow::Read(Row(bytes, header.OffsetToFileTable, i, FileTableRow::Size), table[i]);
    return table;
}

// Each BIF's name, up to its first zero byte; a name that runs past the end of the file stays
// empty. Each row gets its own copy of its name, so rows that all point at one long name would
// multiply it: 40,000 rows sharing a 65,535-byte name ask for 2.6 GB from a 545 KB file.
// Distinct names lie side by side in the file and never add up to more than its size, so past
// that total no more names are taken, measured before any name is copied. The running total
// also bounds the scanning for zero bytes.
std::vector<TNWNFilenameEntry> ReadNames(std::span<const std::uint8_t> bytes, const TNWNKeyFile& key,
                                         std::uint64_t fileSize, const TFaultSink& fault) {
    std::vector<std::uint16_t> lengths(key.FileTable.size(), 0);
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < key.FileTable.size(); ++i) {
        const TNWNFileTableEntry& e = key.FileTable[i];
        if (e.FilenameSize == 0) continue;
        if (e.FilenameOffset >= fileSize) {
            fault(NamePastEnd(i, e.FilenameOffset, e.FilenameSize, fileSize));
            continue;
        }
        const auto* first = bytes.data() + e.FilenameOffset;
        const auto available = std::min<std::uint64_t>(e.FilenameSize, bytes.size() - e.FilenameOffset);
        const auto* stop = first + available;
        const auto* last = std::find(first, stop, std::uint8_t{0});
        if (last == stop && available < e.FilenameSize) {
            fault(NamePastEnd(i, e.FilenameOffset, e.FilenameSize, fileSize));
            continue;
        }
        total += static_cast<std::uint64_t>(last - first);
        if (total > fileSize) {
            fault("the BIF names add up to more bytes than the file holds (" + std::to_string(total) +
                  " bytes by BIF " + std::to_string(i) + ", file " + std::to_string(fileSize) +
                  " bytes): file-table rows share their names");
            break;
        }
        lengths[i] = static_cast<std::uint16_t>(last - first);
    }
    std::vector<TNWNFilenameEntry> names(key.FileTable.size());
    for (std::uint32_t i = 0; i < key.FileTable.size(); ++i) {
        const auto* first = bytes.data() + key.FileTable[i].FilenameOffset;
        if (lengths[i] > 0) names[i].Filename.assign(first, first + lengths[i]);
    }
    return names;
}

// The first entries of the key table (those within the file), each to the BIF its ResId names,
// in key-table order; one that names no row of the file table is a fault, and left out. The
// BIF indices are checked (and each BIF's share counted) in a first pass, so that each
// Resources array is allocated once.
void ReadKeyTable(std::span<const std::uint8_t> bytes, TNWNKeyFile& key, std::uint64_t entries, const TFaultSink& fault,
                  const TKeyParts& parts) {
    const std::size_t rows = key.Filenames.size();
    const std::size_t rowSize = KeyRowSize(key);
    const bool e1 = key.IsE1();
    std::vector<std::uint32_t> perBif(rows, 0);
    constexpr std::size_t kResIdAt = kResRefSize + sizeof(TNWNKeyEntry::ResType); // within a row
    static_assert(kResIdAt + sizeof(TNWNKeyEntry::ResId) == KeyTableRow::Size, "the ResId ends a V1 row");
    for (std::uint32_t k = 0; k < entries; ++k) {
        // Only the ResId, for the count; the whole row when it names no BIF.
        const std::uint8_t* at = Row(bytes, key.OffsetToKeyTable, k, rowSize);
        const std::uint32_t bif = byteio::Get32(at + kResIdAt) >> kResIdBifShift;
        if (bif < rows) {
            ++perBif[bif];
            continue;
        }
        const TNWNKeyEntry e = ReadKeyRow(at, e1);
        fault("key entry " + std::to_string(k) + " (" + Quoted(platform::ShownName({ResRefToString(e.ResRef)})) +
              ") names BIF " + std::to_string(bif) + ", but the file table has " + std::to_string(rows) +
              (rows < key.BifCount ? " entries within the file" : " entries"));
    }
    const auto kept = [&](std::uint32_t bif) { return bif < rows && (!parts.OnlyBif || *parts.OnlyBif == bif); };
    for (std::uint32_t i = 0; i < rows; ++i)
        if (kept(i)) key.Filenames[i].Resources.reserve(perBif[i]);
    for (std::uint32_t k = 0; k < entries; ++k) {
        const std::uint8_t* at = Row(bytes, key.OffsetToKeyTable, k, rowSize);
        const std::uint32_t bif = byteio::Get32(at + kResIdAt) >> kResIdBifShift;
        if (kept(bif)) key.Filenames[bif].Resources.push_back(ReadKeyRow(at, e1));
    }
}

} // namespace

std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name,
                          const TKeyParts& parts) {
    const std::uint64_t headerBytes = std::min<std::uint64_t>(fileSize, Header::Size);
    if (prefix.size() < headerBytes) return headerBytes;
    if (const std::string wrong = NotThisKey(prefix); !wrong.empty()) throw EFormatError(Fault(name, wrong));
    if (fileSize < Header::Size) throw EFormatError(Fault(name, TooShort(fileSize)));
    const TNWNKeyFile header = Header::Read(prefix.data());

    const std::uint64_t fileTableEnd =
        TableEnd(name, "the file table", header.OffsetToFileTable, header.BifCount, FileTableRow::Size, fileSize);
    const std::uint64_t keyTableEnd =
        TableEnd(name, "the key table", header.OffsetToKeyTable, header.KeyCount, KeyRowSize(header), fileSize);
    // The key table is checked to lie within the file even where it is not read.
    std::uint64_t needed = std::max({std::uint64_t{Header::Size}, fileTableEnd, parts.Entries ? keyTableEnd : 0});
    if (prefix.size() < fileTableEnd) return needed;

    // A name may claim more bytes than the file has left, provided its zero byte comes before
    // the end: a saved KEY keeps FilenameSize as read, so a last name whose size was generous
    // is followed by fewer bytes once saved, and must still load.
    for (std::uint32_t i = 0; i < header.BifCount; ++i) {
        const TNWNFileTableEntry row = FileTableRow::Read(Row(prefix, header.OffsetToFileTable, i, FileTableRow::Size));
        if (row.FilenameSize == 0) continue; // the empty name, wherever it claims to lie
        if (row.FilenameOffset >= fileSize)
            throw EFormatError(Fault(name, NamePastEnd(i, row.FilenameOffset, row.FilenameSize, fileSize)));
        needed =
            std::max(needed, std::min<std::uint64_t>(std::uint64_t{row.FilenameOffset} + row.FilenameSize, fileSize));
    }
    return needed;
}

namespace {

// The reading of ParseForCheck and Parse: bytes holds every byte that the tables within a file of
// fileSize bytes point at.
std::optional<TNWNKeyFile> ReadKey(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const TFaultSink& fault,
                                   const TKeyParts& parts = {}) {
    if (const std::string wrong = NotThisKey(bytes.first(std::min<std::uint64_t>(bytes.size(), fileSize)));
        !wrong.empty()) {
        fault(wrong);
        return std::nullopt;
    }
    if (fileSize < Header::Size) {
        fault(TooShort(fileSize));
        return std::nullopt;
    }
    TNWNKeyFile key = Header::Read(bytes.data());
    const std::uint64_t rows =
        RowsWithin(fault, "the file table", key.OffsetToFileTable, key.BifCount, FileTableRow::Size, fileSize);
    const std::uint64_t entries =
        RowsWithin(fault, "the key table", key.OffsetToKeyTable, key.KeyCount, KeyRowSize(key), fileSize);
    key.FileTable = ReadFileTable(bytes, key, rows);
    key.Filenames = ReadNames(bytes, key, fileSize, fault);
    if (parts.Entries) ReadKeyTable(bytes, key, entries, fault, parts);
    return key;
}

} // namespace

std::optional<TNWNKeyFile> ParseForCheck(std::span<const std::uint8_t> file, const TFaultSink& fault) {
    return ReadKey(file, file.size(), fault);
}

TNWNKeyFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name,
                  const TKeyParts& parts) {
    if (BytesNeeded(bytes, fileSize, name, parts) > bytes.size()) throw EReadError("Stream read error");
    // The first fault ends the reading.
    return *ReadKey(
        bytes, fileSize, [&name](const std::string& what) { throw EFormatError(Fault(name, what)); }, parts);
}

namespace {

// Where a writer puts the tables and names of key: the names right after the file table, each
// followed by one zero byte, then the key table.
struct TLayout {
    std::vector<std::uint32_t> NameOffsets; // one per BIF entry
    std::uint32_t KeyTable = 0;
    std::uint32_t Keys = 0;
};

TLayout LayOut(const TNWNKeyFile& key) {
    const std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
    auto tooLarge = []() { return EFormatError("the tables would not fit the 32-bit offsets of a KEY"); };
    const auto namesStart = RangeEnd(Header::Size, key.Filenames.size(), FileTableRow::Size, limit);
    if (!namesStart) throw tooLarge();
    TLayout layout;
    layout.NameOffsets.reserve(key.Filenames.size());
    std::uint64_t offset = *namesStart;
    std::uint64_t keys = 0;
    for (const TNWNFilenameEntry& f : key.Filenames) {
        layout.NameOffsets.push_back(static_cast<std::uint32_t>(offset));
        const auto next = RangeEnd(offset, f.Filename.size() + 1, 1, limit);
        if (!next) throw tooLarge();
        offset = *next;
        keys += f.Resources.size();
    }
    if (!RangeEnd(offset, keys, KeyTableRow::Size, limit)) throw tooLarge();
    layout.KeyTable = static_cast<std::uint32_t>(offset);
    layout.Keys = static_cast<std::uint32_t>(keys);
    return layout;
}

} // namespace

void ComputeLayout(TNWNKeyFile& key) {
    const TLayout layout = LayOut(key);
    key.OffsetToFileTable = static_cast<std::uint32_t>(Header::Size);
    for (std::size_t i = 0; i < key.FileTable.size() && i < layout.NameOffsets.size(); ++i)
        key.FileTable[i].FilenameOffset = layout.NameOffsets[i];
    key.OffsetToKeyTable = layout.KeyTable;
    key.KeyCount = layout.Keys;
}

std::vector<std::uint8_t> Serialize(const TNWNKeyFile& key, const std::string& name) {
    // The writer lays out V1 rows: an E1 header over them would make a KEY no reader can read.
    if (key.FileVersion != kVersion1)
        throw EFormatError("Cannot save KEY " + Quoted(name) + ": it is of version " +
                           Quoted(Printable(std::string_view(key.FileVersion.data(), key.FileVersion.size()))) +
                           ", and Vellocar writes KEY version \"V1  \" only");
    // A header whose BifCount disagrees with the rows written would make a KEY that no reader
    // can trust, so such a model is refused.
    if (key.FileTable.size() != key.Filenames.size() || key.BifCount != key.Filenames.size())
        throw EFormatError("Cannot save KEY " + Quoted(name) + ": BifCount " + std::to_string(key.BifCount) + ", " +
                           std::to_string(key.FileTable.size()) + " file-table rows and " +
                           std::to_string(key.Filenames.size()) + " names do not agree");
    TLayout layout;
    try {
        layout = LayOut(key);
    } catch (const EFormatError& e) {
        throw EFormatError("Cannot save KEY " + Quoted(name) + ": " + e.what());
    }

    // The header as the layout has it: the model's own layout fields are not consulted.
    TNWNKeyFile header;
    header.FileType = key.FileType;
    header.FileVersion = key.FileVersion;
    header.BifCount = key.BifCount;
    header.KeyCount = layout.Keys;
    header.OffsetToFileTable = static_cast<std::uint32_t>(Header::Size);
    header.OffsetToKeyTable = layout.KeyTable;
    header.BuildYear = key.BuildYear;
    header.BuildDay = key.BuildDay;
    header.Reserved = key.Reserved;

    std::vector<std::uint8_t> out(std::size_t{layout.KeyTable} + std::size_t{layout.Keys} * KeyTableRow::Size);
    Header::Write(header, out.data());
    for (std::size_t i = 0; i < key.FileTable.size(); ++i) {
        TNWNFileTableEntry row = key.FileTable[i];
        row.FilenameOffset = layout.NameOffsets[i];
        FileTableRow::Write(row, out.data() + header.OffsetToFileTable + i * FileTableRow::Size);
        const std::string& filename = key.Filenames[i].Filename;
        std::copy(filename.begin(), filename.end(), out.data() + row.FilenameOffset); // its zero byte is there
    }
    std::uint8_t* at = out.data() + layout.KeyTable;
    for (const TNWNFilenameEntry& f : key.Filenames) {
        for (const TNWNKeyEntry& e : f.Resources) {
            KeyTableRow::Write(e, at);
            at += KeyTableRow::Size;
        }
    }
    return out;
}

} // namespace vellocar::keycodec
