// One resource's bytes from its BIF, and bytes saved as a file of their own.

#include "operations/ResourceRead.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/CompressedBuffer.h"
#include "names/ArchiveNames.h"
#include "names/ExportNames.h"

namespace vellocar {

TListedResource ListedResource(const std::vector<TNWNKeyEntry>& entries, std::uint32_t bifIndex,
                               const std::vector<TNWNVarResEntry>& resources, std::size_t line) {
    if (line >= entries.size())
        throw EFormatError("The KEY holds no entry for line " + std::to_string(line) + " of this BIF (it has " +
                           std::to_string(entries.size()) + ")");
    const TNWNKeyEntry& entry = entries[line];
    TListedResource listed;
    listed.Name = ResourceLine(entry);
    listed.ResType = entry.ResType;
    listed.Index = entry.ResId & kResIdIndexMask;
    if ((entry.ResId >> kResIdBifShift) != bifIndex || listed.Index >= resources.size())
        throw EFormatError(Quoted(platform::ShownName(listed.Name)) + ": the BIF holds no resource at index " +
                           std::to_string(listed.Index) + " (it has " + std::to_string(resources.size()) + ")");
    listed.Span = SpanOf(resources[listed.Index]);
    return listed;
}

TResourceSpan SpanOf(const TNWNVarResEntry& resource) {
    return {resource.Offset, resource.FileSize, !IsStoredAsIs(resource), resource.CompressionType,
            resource.UncompressedSize};
}

std::vector<std::uint8_t> UnpackedBytes(std::vector<std::uint8_t> stored, const TResourceSpan& span,
                                        const std::string& name, const std::string& bifPath) {
    if (!span.Packed) return stored;
    try {
        return compressedbuf::Unpack(stored, span.Compression, span.Unpacked);
    } catch (const EFormatError& e) {
        throw EFormatError("Cannot read " + Quoted(name) + " from " + QuotedPath(bifPath) + ": " + e.what());
    }
}

void CheckResourceSpan(const platform::File& bif, const TResourceSpan& span, const std::string& name) {
    if (byteio::RangeEnd(span.Offset, span.Size, 1, bif.Size())) return;
    throw EReadError("Stream read error: " + Quoted(name) + " runs past the end of " + QuotedPath(bif.Path()) +
                     " (offset " + std::to_string(span.Offset) + ", " + std::to_string(span.Size) + " bytes, file " +
                     std::to_string(bif.Size()) + " bytes); nothing was read for it");
}

std::vector<std::uint8_t> ReadResourceBytes(platform::File& bif, const TResourceSpan& span, const std::string& name) {
    CheckResourceSpan(bif, span, name);
    if (span.Packed) {
        try {
            compressedbuf::CheckSizes(span.Size, span.Compression, span.Unpacked);
        } catch (const EFormatError& e) {
            throw EFormatError("Cannot read " + Quoted(name) + " from " + QuotedPath(bif.Path()) + ": " + e.what());
        }
    }
    std::vector<std::uint8_t> bytes(span.Size);
    bif.Seek(span.Offset);
    bif.ReadExact(bytes.data(), bytes.size());
    return UnpackedBytes(std::move(bytes), span, name, bif.Path());
}

void SaveResourceFile(const std::string& path, std::span<const std::uint8_t> bytes, const std::string& bifPath,
                      const std::string& keyPath) {
    const std::string refused = "Cannot save " + QuotedPath(path) + ": ";
    if (const auto reason = UnsafeExportNameReason(platform::FileNamePart(path)))
        throw EVellocarError(refused + *reason + "; nothing was written");
    for (const auto& [read, what] : {std::pair{&bifPath, "BIF"}, std::pair{&keyPath, "KEY"}})
        if (!read->empty() && platform::SameFile(path, *read))
            throw EVellocarError(refused + "it is the " + what + " being read; nothing was written");
    platform::WriteWholeFile(path, bytes);
}

} // namespace vellocar
