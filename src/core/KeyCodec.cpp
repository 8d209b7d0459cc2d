#include "KeyCodec.h"

#include "ByteIO.h"
#include "Errors.h"

#include <algorithm>
#include <limits>

namespace vellocar::keycodec {

namespace {

using byteio::Get16;
using byteio::Get32;
using byteio::PastEnd;
using byteio::RangeEnd;

std::string Fault(const std::string& name, const std::string& what) {
    return "Cannot open KEY \"" + name + "\": " + what;
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

} // namespace

std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name) {
    if (fileSize < header::Size)
        throw EFormatError(Fault(name,
                                 "the file is too short for a KEY header (file " + std::to_string(fileSize) +
                                     " bytes, header " + std::to_string(header::Size) + " bytes)"));
    if (prefix.size() < header::Size) return header::Size;
    // Another version (NWN2's "V1.1", the "E1  " of other games) lays its tables out otherwise:
    // read as this one, it would list garbage.
    if (!std::equal(kVersion1.begin(), kVersion1.end(), prefix.begin() + header::FileVersion))
        throw EFormatError(Fault(name,
                                 "it is of version \"" + byteio::Printable(&prefix[header::FileVersion], 4) +
                                     "\", which Vellocar does not read (it reads KEY version \"V1  \")"));

    const std::uint32_t bifCount = Get32(&prefix[header::BifCount]);
    const std::uint32_t fileTableAt = Get32(&prefix[header::OffsetToFileTable]);
    const std::uint64_t fileTableEnd =
        TableEnd(name, "the file table", fileTableAt, bifCount, filetable::Size, fileSize);
    const std::uint64_t keyTableEnd = TableEnd(name, "the key table", Get32(&prefix[header::OffsetToKeyTable]),
                                               Get32(&prefix[header::KeyCount]), keytable::Size, fileSize);
    std::uint64_t needed = std::max({std::uint64_t{header::Size}, fileTableEnd, keyTableEnd});
    if (prefix.size() < fileTableEnd) return needed;

    // A name may claim more bytes than the file has left, provided its zero byte comes before
    // the end: a saved KEY keeps FilenameSize as read, so a last name whose size was generous
    // is followed by fewer bytes once saved, and must still load.
    for (std::uint32_t i = 0; i < bifCount; ++i) {
        const std::uint8_t* row = Row(prefix, fileTableAt, i, filetable::Size);
        const std::uint32_t offset = Get32(row + filetable::FilenameOffset);
        const std::uint16_t size = Get16(row + filetable::FilenameSize);
        if (size == 0) continue; // the empty name, wherever it claims to lie
        if (offset >= fileSize) throw EFormatError(NamePastEnd(name, i, offset, size, fileSize));
        needed = std::max(needed, std::min<std::uint64_t>(std::uint64_t{offset} + size, fileSize));
    }
    return needed;
}

TNWNKeyFile Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name) {
    if (BytesNeeded(bytes, fileSize, name) > bytes.size()) throw EReadError("Stream read error");

    TNWNKeyFile key;
    std::copy_n(bytes.begin() + header::FileType, key.FileType.size(), key.FileType.begin());
    std::copy_n(bytes.begin() + header::FileVersion, key.FileVersion.size(), key.FileVersion.begin());
    key.BifCount = Get32(&bytes[header::BifCount]);
    key.KeyCount = Get32(&bytes[header::KeyCount]);
    key.OffsetToFileTable = Get32(&bytes[header::OffsetToFileTable]);
    key.OffsetToKeyTable = Get32(&bytes[header::OffsetToKeyTable]);
    key.BuildYear = Get32(&bytes[header::BuildYear]);
    key.BuildDay = Get32(&bytes[header::BuildDay]);
    std::copy_n(bytes.begin() + header::Reserved, kKeyReservedSize, key.Reserved.begin());

    key.FileTable.resize(key.BifCount);
    for (std::uint32_t i = 0; i < key.BifCount; ++i) {
        const std::uint8_t* row = Row(bytes, key.OffsetToFileTable, i, filetable::Size);
        TNWNFileTableEntry& e = key.FileTable[i];
        e.FileSize = Get32(row + filetable::FileSize);
        e.FilenameOffset = Get32(row + filetable::FilenameOffset);
        e.FilenameSize = Get16(row + filetable::FilenameSize);
        e.Drives = Get16(row + filetable::Drives);
    }

    // Each row gets its own copy of its name, so rows that all point at one long name would
    // multiply it: 40,000 rows sharing a 65,535-byte name ask for 2.6 GB from a 545 KB file.
    // Distinct names lie side by side in the file and never add up to more than its size, so
    // a total beyond that is refused, measured before any name is copied. The running total
    // also bounds the scanning for zero bytes.
    std::vector<std::uint16_t> nameLengths(key.BifCount, 0);
    std::uint64_t nameBytes = 0;
    for (std::uint32_t i = 0; i < key.BifCount; ++i) {
        const TNWNFileTableEntry& e = key.FileTable[i];
        if (e.FilenameSize == 0) continue;
        const auto* first = bytes.data() + e.FilenameOffset;
        const auto available = std::min<std::uint64_t>(e.FilenameSize, bytes.size() - e.FilenameOffset);
        const auto* stop = first + available;
        const auto* last = std::find(first, stop, std::uint8_t{0});
        if (last == stop && available < e.FilenameSize)
            throw EFormatError(NamePastEnd(name, i, e.FilenameOffset, e.FilenameSize, fileSize));
        nameLengths[i] = static_cast<std::uint16_t>(last - first);
        nameBytes += nameLengths[i];
        if (nameBytes > fileSize)
            throw EFormatError(Fault(name,
                                     "the BIF names add up to more bytes than the file holds (" +
                                         std::to_string(nameBytes) + " bytes by BIF " + std::to_string(i) + ", file " +
                                         std::to_string(fileSize) + " bytes): file-table rows share their names"));
    }
    key.Filenames.resize(key.BifCount);
    for (std::uint32_t i = 0; i < key.BifCount; ++i) {
        if (nameLengths[i] == 0) continue;
        const auto* first = bytes.data() + key.FileTable[i].FilenameOffset;
        key.Filenames[i].Filename.assign(first, first + nameLengths[i]);
    }

    // Each key entry goes to the BIF its ResId names, in key-table order. The BIF indices are
    // checked (and each BIF's share counted) in a first pass, so that nothing is half-built
    // when one is out of range and each Resources array is allocated once.
    std::vector<std::uint32_t> perBif(key.BifCount, 0);
    for (std::uint32_t k = 0; k < key.KeyCount; ++k) {
        const std::uint8_t* row = Row(bytes, key.OffsetToKeyTable, k, keytable::Size);
        const std::uint32_t bif = Get32(row + keytable::ResId) >> kResIdBifShift;
        if (bif >= key.BifCount) {
            TResRef ref{};
            std::copy_n(row + keytable::ResRef, kResRefSize, ref.begin());
            throw EFormatError(Fault(name,
                                     "key entry " + std::to_string(k) + " (\"" + ResRefToString(ref) +
                                         "\") names BIF " + std::to_string(bif) + ", but the file table has " +
                                         std::to_string(key.BifCount) + " entries"));
        }
        ++perBif[bif];
    }
    for (std::uint32_t i = 0; i < key.BifCount; ++i) key.Filenames[i].Resources.reserve(perBif[i]);
    for (std::uint32_t k = 0; k < key.KeyCount; ++k) {
        const std::uint8_t* row = Row(bytes, key.OffsetToKeyTable, k, keytable::Size);
        TNWNKeyEntry e;
        std::copy_n(row + keytable::ResRef, kResRefSize, e.ResRef.begin());
        e.ResType = Get16(row + keytable::ResType);
        e.ResId = Get32(row + keytable::ResId);
        key.Filenames[e.ResId >> kResIdBifShift].Resources.push_back(e);
    }
    return key;
}

void ComputeLayout(TNWNKeyFile& key) {
    const std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
    auto tooLarge = []() { return EFormatError("the tables would not fit the 32-bit offsets of a KEY"); };
    const auto namesStart = RangeEnd(header::Size, key.Filenames.size(), filetable::Size, limit);
    if (!namesStart) throw tooLarge();

    key.OffsetToFileTable = static_cast<std::uint32_t>(header::Size);
    std::uint64_t offset = *namesStart;
    std::uint64_t keys = 0;
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        if (i < key.FileTable.size()) key.FileTable[i].FilenameOffset = static_cast<std::uint32_t>(offset);
        const auto next = RangeEnd(offset, key.Filenames[i].Filename.size() + 1, 1, limit);
        if (!next) throw tooLarge();
        offset = *next;
        keys += key.Filenames[i].Resources.size();
    }
    if (!RangeEnd(offset, keys, keytable::Size, limit)) throw tooLarge();
    key.OffsetToKeyTable = static_cast<std::uint32_t>(offset);
    key.KeyCount = static_cast<std::uint32_t>(keys);
}

std::vector<std::uint8_t> Serialize(TNWNKeyFile& key, const std::string& name) {
    // A header whose BifCount disagrees with the rows written would make a KEY that no reader
    // can trust, so such a model is refused.
    if (key.FileTable.size() != key.Filenames.size() || key.BifCount != key.Filenames.size())
        throw EFormatError("Cannot save KEY \"" + name + "\": BifCount " + std::to_string(key.BifCount) + ", " +
                           std::to_string(key.FileTable.size()) + " file-table rows and " +
                           std::to_string(key.Filenames.size()) + " names do not agree");
    try {
        ComputeLayout(key);
    } catch (const EFormatError& e) {
        throw EFormatError("Cannot save KEY \"" + name + "\": " + e.what());
    }

    std::vector<std::uint8_t> out(std::size_t{key.OffsetToKeyTable} + std::size_t{key.KeyCount} * keytable::Size);
    std::uint8_t* head = out.data();
    std::copy(key.FileType.begin(), key.FileType.end(), head + header::FileType);
    std::copy(key.FileVersion.begin(), key.FileVersion.end(), head + header::FileVersion);
    byteio::Put32(head + header::BifCount, key.BifCount);
    byteio::Put32(head + header::KeyCount, key.KeyCount);
    byteio::Put32(head + header::OffsetToFileTable, key.OffsetToFileTable);
    byteio::Put32(head + header::OffsetToKeyTable, key.OffsetToKeyTable);
    byteio::Put32(head + header::BuildYear, key.BuildYear);
    byteio::Put32(head + header::BuildDay, key.BuildDay);
    std::copy(key.Reserved.begin(), key.Reserved.end(), head + header::Reserved);
    for (std::size_t i = 0; i < key.FileTable.size(); ++i) {
        const TNWNFileTableEntry& e = key.FileTable[i];
        std::uint8_t* row = out.data() + key.OffsetToFileTable + i * filetable::Size;
        byteio::Put32(row + filetable::FileSize, e.FileSize);
        byteio::Put32(row + filetable::FilenameOffset, e.FilenameOffset);
        byteio::Put16(row + filetable::FilenameSize, e.FilenameSize);
        byteio::Put16(row + filetable::Drives, e.Drives);
        const std::string& filename = key.Filenames[i].Filename;
        std::copy(filename.begin(), filename.end(), out.data() + e.FilenameOffset); // its zero byte is there
    }
    std::uint8_t* row = out.data() + key.OffsetToKeyTable;
    for (const TNWNFilenameEntry& f : key.Filenames) {
        for (const TNWNKeyEntry& e : f.Resources) {
            std::copy(e.ResRef.begin(), e.ResRef.end(), row + keytable::ResRef);
            byteio::Put16(row + keytable::ResType, e.ResType);
            byteio::Put32(row + keytable::ResId, e.ResId);
            row += keytable::Size;
        }
    }
    return out;
}

} // namespace vellocar::keycodec
