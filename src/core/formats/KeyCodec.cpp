// The KEY reader and writer over bytes: the header, then one function per table.

#include "KeyCodec.h"

#include "ByteIO.h"
#include "Errors.h"
#include "Text.h"

#include <algorithm>
#include <limits>

namespace vellocar::keycodec {

namespace {

using byteio::PastEnd;
using byteio::RangeEnd;

std::string Fault(const std::string& name, const std::string& what) {
    return "Cannot open KEY " + Quoted(name) + ": " + what;
}

std::string NamePastEnd(const std::string& name, std::uint32_t index, std::uint32_t offset, std::uint16_t size,
                        std::uint64_t fileSize) {
    return Fault(name,
                 "the name of BIF " + std::to_string(index) + " runs past the end of the file (offset " +
                     std::to_string(offset) + ", " + std::to_string(size) + " bytes, file " + std::to_string(fileSize) +
                     " bytes)");
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

// Another version (NWN2's "V1.1", the "E1  " of other games) lays its tables out otherwise:
// read as this one, it would list garbage.
void RefuseOtherVersions(const TNWNKeyFile& header, const std::string& name) {
    if (header.FileVersion != kVersion1)
        throw EFormatError(Fault(name,
                                 "it is of version \"" +
                                     Printable(std::string_view(header.FileVersion.data(), header.FileVersion.size())) +
                                     "\", which Vellocar does not read (it reads KEY version \"V1  \")"));
}

// The file table's rows, which BytesNeeded has checked to lie within bytes.
std::vector<TNWNFileTableEntry> ReadFileTable(std::span<const std::uint8_t> bytes, const TNWNKeyFile& header) {
    std::vector<TNWNFileTableEntry> rows(header.BifCount);
    for (std::uint32_t i = 0; i < header.BifCount; ++i)
        FileTableRow::Read(Row(bytes, header.OffsetToFileTable, i, FileTableRow::Size), rows[i]);
    return rows;
}

// Each BIF's name, up to its first zero byte. Each row gets its own copy of its name, so rows
// that all point at one long name would multiply it: 40,000 rows sharing a 65,535-byte name ask
// for 2.6 GB from a 545 KB file. Distinct names lie side by side in the file and never add up
// to more than its size, so a total beyond that is refused, measured before any name is copied.
// The running total also bounds the scanning for zero bytes.
std::vector<TNWNFilenameEntry> ReadNames(std::span<const std::uint8_t> bytes, const TNWNKeyFile& key,
                                         std::uint64_t fileSize, const std::string& name) {
    std::vector<std::uint16_t> lengths(key.BifCount, 0);
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < key.BifCount; ++i) {
        const TNWNFileTableEntry& e = key.FileTable[i];
        if (e.FilenameSize == 0) continue;
        const auto* first = bytes.data() + e.FilenameOffset;
        const auto available = std::min<std::uint64_t>(e.FilenameSize, bytes.size() - e.FilenameOffset);
        const auto* stop = first + available;
        const auto* last = std::find(first, stop, std::uint8_t{0});
        if (last == stop && available < e.FilenameSize)
            throw EFormatError(NamePastEnd(name, i, e.FilenameOffset, e.FilenameSize, fileSize));
        lengths[i] = static_cast<std::uint16_t>(last - first);
        total += lengths[i];
        if (total > fileSize)
            throw EFormatError(Fault(name,
                                     "the BIF names add up to more bytes than the file holds (" +
                                         std::to_string(total) + " bytes by BIF " + std::to_string(i) + ", file " +
                                         std::to_string(fileSize) + " bytes): file-table rows share their names"));
    }
    std::vector<TNWNFilenameEntry> names(key.BifCount);
    for (std::uint32_t i = 0; i < key.BifCount; ++i) {
        const auto* first = bytes.data() + key.FileTable[i].FilenameOffset;
        if (lengths[i] > 0) names[i].Filename.assign(first, first + lengths[i]);
    }
    return names;
}

// Each key entry, to the BIF its ResId names, in key-table order. The BIF indices are checked
// (and each BIF's share counted) in a first pass, so that nothing is half-built when one is out
// of range and each Resources array is allocated once.
void ReadKeyTable(std::span<const std::uint8_t> bytes, TNWNKeyFile& key, const std::string& name) {
    std::vector<std::uint32_t> perBif(key.BifCount, 0);
    for (std::uint32_t k = 0; k < key.KeyCount; ++k) {
        const TNWNKeyEntry e = KeyTableRow::Read(Row(bytes, key.OffsetToKeyTable, k, KeyTableRow::Size));
        const std::uint32_t bif = e.ResId >> kResIdBifShift;
        if (bif >= key.BifCount)
            throw EFormatError(Fault(name,
                                     "key entry " + std::to_string(k) + " (\"" + ResRefToString(e.ResRef) +
                                         "\") names BIF " + std::to_string(bif) + ", but the file table has " +
                                         std::to_string(key.BifCount) + " entries"));
        ++perBif[bif];
    }
    for (std::uint32_t i = 0; i < key.BifCount; ++i) key.Filenames[i].Resources.reserve(perBif[i]);
    for (std::uint32_t k = 0; k < key.KeyCount; ++k) {
        const TNWNKeyEntry e = KeyTableRow::Read(Row(bytes, key.OffsetToKeyTable, k, KeyTableRow::Size));
        key.Filenames[e.ResId >> kResIdBifShift].Resources.push_back(e);
    }
}

} // namespace

std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name) {
    if (fileSize < Header::Size)
        throw EFormatError(Fault(name,
                                 "the file is too short for a KEY header (file " + std::to_string(fileSize) +
                                     " bytes, header " + std::to_string(Header::Size) + " bytes)"));
    if (prefix.size() < Header::Size) return Header::Size;
    const TNWNKeyFile header = Header::Read(prefix.data());
    RefuseOtherVersions(header, name);

    const std::uint64_t fileTableEnd =
        TableEnd(name, "the file table", header.OffsetToFileTable, header.BifCount, FileTableRow::Size, fileSize);
    const std::uint64_t keyTableEnd =
        TableEnd(name, "the key table", header.OffsetToKeyTable, header.KeyCount, KeyTableRow::Size, fileSize);
    std::uint64_t needed = std::max({std::uint64_t{Header::Size}, fileTableEnd, keyTableEnd});
    if (prefix.size() < fileTableEnd) return needed;

    // A name may claim more bytes than the file has left, provided its zero byte comes before
    // the end: a saved KEY keeps FilenameSize as read, so a last name whose size was generous
    // is followed by fewer bytes once saved, and must still load.
    for (std::uint32_t i = 0; i < header.BifCount; ++i) {
        const TNWNFileTableEntry row = FileTableRow::Read(Row(prefix, header.OffsetToFileTable, i, FileTableRow::Size));
        if (row.FilenameSize == 0) continue; // the empty name, wherever it claims to lie
        if (row.FilenameOffset >= fileSize)
            throw EFormatError(NamePastEnd(name, i, row.FilenameOffset, row.FilenameSize, fileSize));
        needed =
            std::max(needed, std::min<std::uint64_t>(std::uint64_t{row.FilenameOffset} + row.FilenameSize, fileSize));
    }
    return needed;
}

TNWNKeyFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name) {
    if (BytesNeeded(bytes, fileSize, name) > bytes.size()) throw EReadError("Stream read error");
    TNWNKeyFile key = Header::Read(bytes.data());
    key.FileTable = ReadFileTable(bytes, key);
    key.Filenames = ReadNames(bytes, key, fileSize, name);
    ReadKeyTable(bytes, key, name);
    return key;
}

void ComputeLayout(TNWNKeyFile& key) {
    const std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
    auto tooLarge = []() { return EFormatError("the tables would not fit the 32-bit offsets of a KEY"); };
    const auto namesStart = RangeEnd(Header::Size, key.Filenames.size(), FileTableRow::Size, limit);
    if (!namesStart) throw tooLarge();

    key.OffsetToFileTable = static_cast<std::uint32_t>(Header::Size);
    std::uint64_t offset = *namesStart;
    std::uint64_t keys = 0;
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        if (i < key.FileTable.size()) key.FileTable[i].FilenameOffset = static_cast<std::uint32_t>(offset);
        const auto next = RangeEnd(offset, key.Filenames[i].Filename.size() + 1, 1, limit);
        if (!next) throw tooLarge();
        offset = *next;
        keys += key.Filenames[i].Resources.size();
    }
    if (!RangeEnd(offset, keys, KeyTableRow::Size, limit)) throw tooLarge();
    key.OffsetToKeyTable = static_cast<std::uint32_t>(offset);
    key.KeyCount = static_cast<std::uint32_t>(keys);
}

std::vector<std::uint8_t> Serialize(TNWNKeyFile& key, const std::string& name) {
    // A header whose BifCount disagrees with the rows written would make a KEY that no reader
    // can trust, so such a model is refused.
    if (key.FileTable.size() != key.Filenames.size() || key.BifCount != key.Filenames.size())
        throw EFormatError("Cannot save KEY " + Quoted(name) + ": BifCount " + std::to_string(key.BifCount) + ", " +
                           std::to_string(key.FileTable.size()) + " file-table rows and " +
                           std::to_string(key.Filenames.size()) + " names do not agree");
    try {
        ComputeLayout(key);
    } catch (const EFormatError& e) {
        throw EFormatError("Cannot save KEY " + Quoted(name) + ": " + e.what());
    }

    std::vector<std::uint8_t> out(std::size_t{key.OffsetToKeyTable} + std::size_t{key.KeyCount} * KeyTableRow::Size);
    Header::Write(key, out.data());
    for (std::size_t i = 0; i < key.FileTable.size(); ++i) {
        const TNWNFileTableEntry& e = key.FileTable[i];
        FileTableRow::Write(e, out.data() + key.OffsetToFileTable + i * FileTableRow::Size);
        const std::string& filename = key.Filenames[i].Filename;
        std::copy(filename.begin(), filename.end(), out.data() + e.FilenameOffset); // its zero byte is there
    }
    std::uint8_t* row = out.data() + key.OffsetToKeyTable;
    for (const TNWNFilenameEntry& f : key.Filenames) {
        for (const TNWNKeyEntry& e : f.Resources) {
            KeyTableRow::Write(e, row);
            row += KeyTableRow::Size;
        }
    }
    return out;
}

} // namespace vellocar::keycodec
