#include "BifCodec.h"

#include "ByteIO.h"
#include "Errors.h"

#include <algorithm>

namespace vellocar::bifcodec {

namespace {

using byteio::Get32;
using byteio::PastEnd;
using byteio::Put32;
using byteio::RangeEnd;

std::string Fault(const std::string& name, const std::string& what) {
    return "Cannot open BIF \"" + name + "\": " + what;
}

// Where the variable and the fixed table end, each refused when it does not fit the file.
std::uint64_t TablesEnd(std::span<const std::uint8_t> head, std::uint64_t fileSize, const std::string& name) {
    const std::uint32_t varCount = Get32(&head[header::VarResCount]);
    const std::uint32_t fixedCount = Get32(&head[header::FixedResCount]);
    const std::uint32_t varOffset = Get32(&head[header::VarTableOffset]);
    const auto varEnd = RangeEnd(varOffset, varCount, varentry::Size, fileSize);
    if (!varEnd)
        throw EFormatError(
            Fault(name, PastEnd("the variable resource table", varOffset, varCount, varentry::Size, fileSize)));
    const auto fixedEnd = RangeEnd(*varEnd, fixedCount, fixedentry::Size, fileSize);
    if (!fixedEnd)
        throw EFormatError(
            Fault(name, PastEnd("the fixed resource table", *varEnd, fixedCount, fixedentry::Size, fileSize)));
    return *fixedEnd;
}

} // namespace

std::uint64_t BytesNeeded(std::span<const std::uint8_t> prefix, std::uint64_t fileSize, const std::string& name) {
    if (fileSize < header::Size)
        throw EFormatError(Fault(name,
                                 "the file is too short for a BIF header (file " + std::to_string(fileSize) +
                                     " bytes, header " + std::to_string(header::Size) + " bytes)"));
    if (prefix.size() < header::Size) return header::Size;
    // Another version (NWN2's "V1.1", the "E1  " of other games) lays its tables out otherwise:
    // read as this one, it would list garbage.
    if (!std::equal(kVersion1.begin(), kVersion1.end(), prefix.begin() + header::FileVersion))
        throw EFormatError(Fault(name,
                                 "it is of version \"" + byteio::Printable(&prefix[header::FileVersion], 4) +
                                     "\", which Vellocar does not read (it reads BIF version \"V1  \")"));
    return std::max<std::uint64_t>(header::Size, TablesEnd(prefix, fileSize, name));
}

TBifTables Parse(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, const std::string& name) {
    if (BytesNeeded(bytes, fileSize, name) > bytes.size()) throw EReadError("Stream read error");
    TBifTables t;
    std::copy_n(bytes.begin() + header::FileType, t.FileType.size(), t.FileType.begin());
    std::copy_n(bytes.begin() + header::FileVersion, t.FileVersion.size(), t.FileVersion.begin());
    t.VarResCount = Get32(&bytes[header::VarResCount]);
    t.FixedResCount = Get32(&bytes[header::FixedResCount]);
    t.VarTableOffset = Get32(&bytes[header::VarTableOffset]);
    if (t.VarTableOffset > header::Size)
        t.HeaderExtra.assign(bytes.begin() + header::Size, bytes.begin() + t.VarTableOffset);

    t.VarResources.resize(t.VarResCount);
    const std::uint8_t* row = bytes.data() + t.VarTableOffset;
    for (TNWNVarResEntry& e : t.VarResources) {
        e.Id = Get32(row + varentry::Id);
        e.Offset = Get32(row + varentry::Offset);
        e.FileSize = Get32(row + varentry::FileSize);
        e.ResType = Get32(row + varentry::ResType);
        row += varentry::Size;
    }
    t.FixedResources.resize(t.FixedResCount);
    for (TNWNFixedResEntry& e : t.FixedResources) {
        e.Id = Get32(row + fixedentry::Id);
        e.Offset = Get32(row + fixedentry::Offset);
        e.PartCount = Get32(row + fixedentry::PartCount);
        e.PartSize = Get32(row + fixedentry::PartSize);
        e.ResType = Get32(row + fixedentry::ResType);
        row += fixedentry::Size;
    }
    return t;
}

void PutHeader(std::span<std::uint8_t, header::Size> out, std::uint32_t varCount) {
    std::copy(kFileType.begin(), kFileType.end(), out.begin() + header::FileType);
    std::copy(kVersion1.begin(), kVersion1.end(), out.begin() + header::FileVersion);
    Put32(&out[header::VarResCount], varCount);
    Put32(&out[header::FixedResCount], 0);
    Put32(&out[header::VarTableOffset], static_cast<std::uint32_t>(header::Size));
}

void PutVarEntry(std::span<std::uint8_t, varentry::Size> out, const TNWNVarResEntry& entry) {
    Put32(&out[varentry::Id], entry.Id);
    Put32(&out[varentry::Offset], entry.Offset);
    Put32(&out[varentry::FileSize], entry.FileSize);
    Put32(&out[varentry::ResType], entry.ResType);
}

} // namespace vellocar::bifcodec
