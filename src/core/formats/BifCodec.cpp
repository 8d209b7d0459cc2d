// The BIF reader and writer over bytes, record by record as BifCodec.h lays them out.

#include "formats/BifCodec.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/FileKinds.h"

#include <algorithm>

namespace vellocar::bifcodec {

namespace {

using byteio::PastEnd;
using byteio::RangeEnd;

std::string Fault(const std::string& name, const std::string& what) { return CannotOpenAs("BIF", name, what); }

// Where the variable and the fixed table end, each refused when it does not fit the file.
std::uint64_t TablesEnd(const TBifTables& header, std::uint64_t fileSize, const std::string& name) {
    const std::size_t entrySize = VarEntrySize(header.FileVersion);
    const auto varEnd = RangeEnd(header.VarTableOffset, header.VarResCount, entrySize, fileSize);
    if (!varEnd)
        throw EFormatError(Fault(
            name,
            PastEnd("the variable resource table", header.VarTableOffset, header.VarResCount, entrySize, fileSize)));
    const auto fixedEnd = RangeEnd(*varEnd, header.FixedResCount, FixedEntry::Size, fileSize);
    if (!fixedEnd)
        throw EFormatError(Fault(
            name, PastEnd("the fixed resource table", *varEnd, header.FixedResCount, FixedEntry::Size, fileSize)));
    return *fixedEnd;
}

} // namespace

std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name) {
    const std::uint64_t headerBytes = std::min<std::uint64_t>(fileSize, Header::Size);
    if (prefix.size() < headerBytes) return headerBytes;
    // Another kind of file (a KEY, a HAK) or another version (NWN2's "V1.1") lays its tables out
    // otherwise: read as this one, it would list garbage. Judged before the size, so that a short
    // file of another kind is named as what it is.
    bool e1 = false;
    if (prefix.size() >= kKindBytes) {
        e1 = WrongKindText("BIF", prefix.first(kKindBytes), kFileType, kVersionE1).empty();
        const std::string wrong = WrongKindText("BIF", prefix.first(kKindBytes), kFileType, kVersion1);
        if (!e1 && !wrong.empty()) throw EFormatError(Fault(name, wrong));
    }
    const std::uint64_t headerSize = e1 ? kOidAt + kOidSize : Header::Size;
    if (fileSize < headerSize)
        throw EFormatError(Fault(name,
                                 "the file is too short for a BIF header (file " + std::to_string(fileSize) +
                                     " bytes, header " + std::to_string(headerSize) + " bytes)"));
    if (prefix.size() < headerSize) return headerSize;
    const TBifTables header = Header::Read(prefix.data());
    return std::max<std::uint64_t>(headerSize, TablesEnd(header, fileSize, name));
}

TBifTables Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name) {
    if (BytesNeeded(bytes, fileSize, name) > bytes.size()) throw EReadError("Stream read error");
    TBifTables t = Header::Read(bytes.data());
    if (t.VarTableOffset > Header::Size)
        t.HeaderExtra.assign(bytes.begin() + Header::Size, bytes.begin() + t.VarTableOffset);
    const bool e1 = t.FileVersion == kVersionE1;
    if (e1) std::copy_n(bytes.begin() + kOidAt, kOidSize, t.Oid.begin());
    const std::uint8_t* row = bytes.data() + t.VarTableOffset;
    t.VarResources.resize(t.VarResCount);
    for (TNWNVarResEntry& e : t.VarResources) {
        if (e1) {
            VarEntryE1::Read(row, e);
        } else {
            VarEntry::Read(row, e);
            e.UncompressedSize = e.FileSize;
        }
        row += VarEntrySize(t.FileVersion);
    }
    t.FixedResources.resize(t.FixedResCount);
    for (TNWNFixedResEntry& e : t.FixedResources) {
        FixedEntry::Read(row, e);
        row += FixedEntry::Size;
    }
    return t;
}

void PutHeader(std::span<std::uint8_t, Header::Size> out, std::uint32_t varCount) {
    TBifTables header;
    header.FileType = kFileType;
    header.FileVersion = kVersion1;
    header.VarResCount = varCount;
    header.VarTableOffset = static_cast<std::uint32_t>(Header::Size);
    Header::Write(header, out.data());
}

void PutVarEntry(std::span<std::uint8_t, VarEntry::Size> out, const TNWNVarResEntry& entry) {
    VarEntry::Write(entry, out.data());
}

} // namespace vellocar::bifcodec
