// Reading and writing KEY index files.

#include "KeyFiles.h"

#include "ByteIO.h"
#include "Errors.h"
#include "Platform.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vellocar {

namespace {

using byteio::RangeEnd;
using byteio::PastEnd;

// Header field offsets.
constexpr std::size_t kKeyBifCountAt = 8;
constexpr std::size_t kKeyKeyCountAt = 12;
constexpr std::size_t kKeyFileTableAt = 16;
constexpr std::size_t kKeyKeyTableAt = 20;
constexpr std::size_t kKeyBuildYearAt = 24;
constexpr std::size_t kKeyBuildDayAt = 28;
constexpr std::size_t kKeyReservedAt = 32;
static_assert(kKeyReservedAt + kKeyReservedSize == kKeyHeaderSize);
static_assert(4 + 4 + 2 + 2 == kKeyFileTableEntrySize);
static_assert(kResRefSize + 2 + 4 == kKeyEntrySize);

std::string Fault(const std::string& path, const std::string& what) {
    return "Cannot open KEY \"" + path + "\": " + what;
}

// The key table and every name must lie within the file; the file table too. Returns how many
// leading bytes of the file hold everything the header points at.
std::uint64_t CheckTable(const std::string& path, const char* table, std::uint64_t offset,
                         std::uint64_t count, std::uint64_t entrySize, std::uint64_t fileSize) {
    const auto end = RangeEnd(offset, count, entrySize, fileSize);
    if (!end) throw EFormatError(Fault(path, PastEnd(table, offset, count, entrySize, fileSize)));
    return *end;
}

std::string NamePastEnd(const std::string& path, std::uint32_t index, const TNWNFileTableEntry& e,
                        std::uint64_t fileSize) {
    return Fault(path, "the name of BIF " + std::to_string(index) + " runs past the end of the file (offset " +
                           std::to_string(e.FilenameOffset) + ", " + std::to_string(e.FilenameSize) +
                           " bytes, file " + std::to_string(fileSize) + " bytes)");
}

std::vector<std::uint8_t> ReadPrefix(platform::File& file, std::uint64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.Seek(0);
    if (!bytes.empty()) file.ReadExact(bytes.data(), bytes.size());
    return bytes;
}

} // namespace

std::string ResRefToString(const TResRef& resRef) {
    const auto end = std::find(resRef.begin(), resRef.end(), '\0');
    return std::string(resRef.begin(), end);
}

namespace {

TNWNKeyFile ReadKey(platform::File& file, const std::string& path) {
    const std::uint64_t fileSize = file.Size();
    if (fileSize < kKeyHeaderSize)
        throw EFormatError(Fault(path, "the file is too short for a KEY header (file " + std::to_string(fileSize) +
                                           " bytes, header " + std::to_string(kKeyHeaderSize) + " bytes)"));

    // Everything is parsed into a fresh model, which replaces this one only when complete.
    TNWNKeyFile key;
    key.Path = path;

    std::array<std::uint8_t, kKeyHeaderSize> header{};
    file.ReadExact(header.data(), header.size());
    {
        byteio::Reader r(header.data(), header.size());
        r.Bytes(key.FileType);
        r.Bytes(key.FileVersion);
    }
    key.BifCount = byteio::Get32(&header[kKeyBifCountAt]);
    key.KeyCount = byteio::Get32(&header[kKeyKeyCountAt]);
    key.OffsetToFileTable = byteio::Get32(&header[kKeyFileTableAt]);
    key.OffsetToKeyTable = byteio::Get32(&header[kKeyKeyTableAt]);
    key.BuildYear = byteio::Get32(&header[kKeyBuildYearAt]);
    key.BuildDay = byteio::Get32(&header[kKeyBuildDayAt]);
    std::copy_n(header.begin() + kKeyReservedAt, kKeyReservedSize, key.Reserved.begin());

    // Both tables are measured against the real size before anything is allocated for them.
    std::uint64_t needed = kKeyHeaderSize;
    needed = std::max(needed, CheckTable(path, "the file table", key.OffsetToFileTable, key.BifCount,
                                         kKeyFileTableEntrySize, fileSize));
    needed = std::max(needed, CheckTable(path, "the key table", key.OffsetToKeyTable, key.KeyCount,
                                         kKeyEntrySize, fileSize));

    std::vector<std::uint8_t> fileTable(key.BifCount * kKeyFileTableEntrySize);
    file.Seek(key.OffsetToFileTable);
    if (!fileTable.empty()) file.ReadExact(fileTable.data(), fileTable.size());

    key.FileTable.resize(key.BifCount);
    byteio::Reader ft(fileTable.data(), fileTable.size());
    for (std::uint32_t i = 0; i < key.BifCount; ++i) {
        TNWNFileTableEntry& e = key.FileTable[i];
        e.FileSize = ft.U32();
        e.FilenameOffset = ft.U32();
        e.FilenameSize = ft.U16();
        e.Drives = ft.U16();
        // A name may claim more bytes than the file has left, provided its zero byte comes
        // before the end: SaveToFile keeps FilenameSize as read, so a last name whose size
        // was generous is followed by fewer bytes once saved, and must still load.
        if (e.FilenameSize == 0) continue;   // the empty name, wherever it claims to lie
        if (e.FilenameOffset >= fileSize) throw EFormatError(NamePastEnd(path, i, e, fileSize));
        needed = std::max(needed, std::min<std::uint64_t>(std::uint64_t{e.FilenameOffset} + e.FilenameSize, fileSize));
    }

    // One read brings in every byte the header and the file table point at.
    const std::vector<std::uint8_t> bytes = ReadPrefix(file, needed);

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
        if (last == stop && available < e.FilenameSize) throw EFormatError(NamePastEnd(path, i, e, fileSize));
        nameLengths[i] = static_cast<std::uint16_t>(last - first);
        nameBytes += nameLengths[i];
        if (nameBytes > fileSize)
            throw EFormatError(Fault(path, "the BIF names add up to more bytes than the file holds (" +
                                               std::to_string(nameBytes) + " bytes by BIF " + std::to_string(i) +
                                               ", file " + std::to_string(fileSize) +
                                               " bytes): file-table rows share their names"));
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
    const std::uint8_t* table = bytes.data() + key.OffsetToKeyTable;
    std::vector<std::uint32_t> perBif(key.BifCount, 0);
    for (std::uint32_t k = 0; k < key.KeyCount; ++k) {
        const std::uint8_t* entry = table + std::size_t{k} * kKeyEntrySize;
        const std::uint32_t resId = byteio::Get32(entry + kResRefSize + 2);
        const std::uint32_t bif = resId >> kResIdBifShift;
        if (bif >= key.BifCount) {
            TResRef ref{};
            std::copy_n(entry, kResRefSize, ref.begin());
            throw EFormatError(Fault(path, "key entry " + std::to_string(k) + " (\"" + ResRefToString(ref) +
                                               "\") names BIF " + std::to_string(bif) + ", but the file table has " +
                                               std::to_string(key.BifCount) + " entries"));
        }
        ++perBif[bif];
    }
    for (std::uint32_t i = 0; i < key.BifCount; ++i) key.Filenames[i].Resources.reserve(perBif[i]);
    for (std::uint32_t k = 0; k < key.KeyCount; ++k) {
        byteio::Reader r(table, std::size_t{key.KeyCount} * kKeyEntrySize, std::size_t{k} * kKeyEntrySize);
        TNWNKeyEntry e;
        r.Bytes(e.ResRef);
        e.ResType = r.U16();
        e.ResId = r.U32();
        key.Filenames[e.ResId >> kResIdBifShift].Resources.push_back(e);
    }

    return key;
}

} // namespace

void TNWNKeyFile::LoadFromFile(const std::string& path) {
    platform::File file = platform::File::OpenRead(path);
    try {
        *this = ReadKey(file, path);
    } catch (const EReadError&) {
        // Only a file that changes while it is read gets here: its size was checked first.
        throw EReadError(Fault(path, "the file could not be read in full (Stream read error)"));
    }
}

void TNWNKeyFile::ComputeLayout() {
    const std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
    auto tooLarge = []() { return EFormatError("the tables would not fit the 32-bit offsets of a KEY"); };
    const auto namesStart = RangeEnd(kKeyHeaderSize, Filenames.size(), kKeyFileTableEntrySize, limit);
    if (!namesStart) throw tooLarge();

    OffsetToFileTable = static_cast<std::uint32_t>(kKeyHeaderSize);
    std::uint64_t offset = *namesStart;
    std::uint64_t keys = 0;
    for (std::size_t i = 0; i < Filenames.size(); ++i) {
        if (i < FileTable.size()) FileTable[i].FilenameOffset = static_cast<std::uint32_t>(offset);
        const auto next = RangeEnd(offset, Filenames[i].Filename.size() + 1, 1, limit);
        if (!next) throw tooLarge();
        offset = *next;
        keys += Filenames[i].Resources.size();
    }
    if (!RangeEnd(offset, keys, kKeyEntrySize, limit)) throw tooLarge();
    OffsetToKeyTable = static_cast<std::uint32_t>(offset);
    KeyCount = static_cast<std::uint32_t>(keys);
}

void TNWNKeyFile::SaveToFile(const std::string& path) {
    // A header whose BifCount disagrees with the rows written would make a KEY that no reader
    // can trust, so such a model is refused before the file is touched.
    if (FileTable.size() != Filenames.size() || BifCount != Filenames.size())
        throw EFormatError("Cannot save KEY \"" + path + "\": BifCount " + std::to_string(BifCount) + ", " +
                           std::to_string(FileTable.size()) + " file-table rows and " +
                           std::to_string(Filenames.size()) + " names do not agree");
    try {
        ComputeLayout();
    } catch (const EFormatError& e) {
        throw EFormatError("Cannot save KEY \"" + path + "\": " + e.what());
    }

    // The whole file is built in memory and written in one go.
    std::vector<std::uint8_t> out;
    out.reserve(OffsetToKeyTable + std::size_t{KeyCount} * kKeyEntrySize);
    byteio::Writer w(out);
    w.Bytes(FileType);
    w.Bytes(FileVersion);
    w.U32(BifCount);
    w.U32(KeyCount);
    w.U32(OffsetToFileTable);
    w.U32(OffsetToKeyTable);
    w.U32(BuildYear);
    w.U32(BuildDay);
    w.Bytes(Reserved);
    for (const TNWNFileTableEntry& e : FileTable) {
        w.U32(e.FileSize);
        w.U32(e.FilenameOffset);
        w.U16(e.FilenameSize);
        w.U16(e.Drives);
    }
    for (const TNWNFilenameEntry& f : Filenames) {
        w.Bytes(f.Filename);
        w.Zero();
    }
    for (const TNWNFilenameEntry& f : Filenames) {
        for (const TNWNKeyEntry& e : f.Resources) {
            w.Bytes(e.ResRef);
            w.U16(e.ResType);
            w.U32(e.ResId);
        }
    }

    platform::File file = platform::File::Create(path);
    try {
        file.WriteAll(out.data(), out.size());
        file.Flush();
        file.Close();
    } catch (...) {
        // A partly written KEY is worse than none: it would load as garbage or not at all.
        platform::RemoveFile(path);
        throw;
    }
    Path = path;
}

} // namespace vellocar
