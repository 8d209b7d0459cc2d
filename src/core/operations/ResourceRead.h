#pragma once
// One resource read from its BIF, as "cat" and the window's viewer read it: found from the line
// a list shows, its bytes checked against the BIF's real size and read no further than the
// resource's own size; and bytes saved on their own under a name the user chose, as safely as
// an export writes its files.

#include "base/ByteIO.h"
#include "formats/BifFiles.h"
#include "names/ArchiveNames.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// Where a resource's bytes lie in its BIF (Size of them), and, for a resource of an E1 BIF that
// is not stored as it is, how to unpack them: they are read whole and unpacked in memory, which
// compressedbuf::kMaxUnpackedSize bounds.
struct TResourceSpan {
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
    bool Packed = false;
    std::uint32_t Compression = 0;
    std::uint32_t Unpacked = 0;
};

// The span of a variable resource.
TResourceSpan SpanOf(const TNWNVarResEntry& resource);

// The resource's size once read: Unpacked when packed, else Size.
inline std::uint32_t ReadSize(const TResourceSpan& span) { return span.Packed ? span.Unpacked : span.Size; }

// The resource's bytes from its stored bytes (span.Size of them, read): themselves, or unpacked.
// Raises EFormatError naming the resource (name) and the BIF (bifPath) when they do not unpack.
std::vector<std::uint8_t> UnpackedBytes(std::vector<std::uint8_t> stored, const TResourceSpan& span,
                                        const std::string& name, const std::string& bifPath);

// The resource that line `line` of a BIF's resource list shows (ResourceLines: one line per KEY
// entry of that BIF, entries being key.Filenames[bifIndex].Resources), found through the entry's
// ResId as an export of the selected lines finds it.
struct TListedResource {
    TArchiveName Name; // "name.ext" (ResourceLine)
    TResType ResType = 0;
    std::uint32_t Index = 0; // in the BIF's variable table
    TResourceSpan Span;
};
// Raises EFormatError when the list has no such line or the BIF holds no resource at the
// entry's index.
TListedResource ListedResource(const std::vector<TNWNKeyEntry>& entries, std::uint32_t bifIndex,
                               const std::vector<TNWNVarResEntry>& resources, std::size_t line);

// Raises EReadError, naming the resource (name, as a list shows it) and the BIF, when span runs
// past the end of the open BIF.
void CheckResourceSpan(const platform::File& bif, const TResourceSpan& span, const std::string& name);

// The resource's bytes: all of them and no more, after CheckResourceSpan, unpacked when packed.
// Memory: its size (and its stored size).
std::vector<std::uint8_t> ReadResourceBytes(platform::File& bif, const TResourceSpan& span, const std::string& name);

// The same in chunks of at most buffer.size() bytes, each handed to use with whether it is the
// last one; false as soon as use refuses one. Memory: the buffer, and a packed resource whole.
template <typename Use>
bool EachResourceChunk(platform::File& bif, const TResourceSpan& span, std::vector<char>& buffer, Use&& use,
                       const std::string& name = {}) {
    if (span.Packed) {
        const std::vector<std::uint8_t> bytes = ReadResourceBytes(bif, span, name);
        const std::string_view all = byteio::AsChars(bytes.data(), bytes.size());
        for (std::size_t at = 0; at < all.size(); at += buffer.size()) {
            const std::string_view chunk = all.substr(at, buffer.size());
            if (!use(chunk, at + chunk.size() == all.size())) return false;
        }
        return true;
    }
    bif.Seek(span.Offset);
    for (std::uint32_t left = span.Size; left > 0;) {
        const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(left, buffer.size()));
        bif.ReadExact(buffer.data(), chunk);
        if (!use(std::string_view(buffer.data(), chunk), left == chunk)) return false;
        left -= chunk;
    }
    return true;
}

// Writes bytes to path as an export writes each file: created afresh (whatever stands at that
// name, a link included, is replaced and never written through), flushed, and removed when it
// cannot be written whole. Refused with EVellocarError, nothing written, when the file's name is
// one no export would write (UnsafeExportNameReason), or when path is the BIF or the KEY being
// read (bifPath, keyPath; either may be empty).
void SaveResourceFile(const std::string& path, std::span<const std::uint8_t> bytes, const std::string& bifPath,
                      const std::string& keyPath);

} // namespace vellocar
