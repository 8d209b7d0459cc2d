#pragma once
// What the fuzz targets share: a property check that stops the run with a message libFuzzer
// keeps next to the input, the reading of a file in the rounds its loader asks for, and the
// comparison of two KEY models.

#include "formats/KeyFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace vellocar::fuzz {

// A failed property is a crash to libFuzzer: it saves the input as an artifact.
[[noreturn]] inline void Fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "property failed: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::abort();
}

inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// Little-endian integers, read here on their own rather than through the core's helpers, so
// that a slip there shows.
inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// How many leading bytes of data a loader reads when it asks needed(prefix) with a growing
// prefix, starting from none, as the file classes do. Each answer must lie within the file and
// the asking must end within maxRounds growths. Whatever needed raises goes to the caller.
template <class Needed>
std::size_t PrefixRounds(std::span<const std::uint8_t> data, int maxRounds, Needed needed) {
    std::size_t have = 0;
    int rounds = 0;
    for (std::uint64_t want; (want = needed(data.first(have))) > have;) {
        Check(want <= data.size(), "the loader asks for more bytes than the file has");
        Check(++rounds <= maxRounds, "the loader keeps asking for more bytes");
        have = static_cast<std::size_t>(want);
    }
    return have;
}

// Field for field; the layout fields (table offsets, name offsets) only when layoutToo, since a
// writer places the tables anew.
inline bool SameKey(const TNWNKeyFile& a, const TNWNKeyFile& b, bool layoutToo) {
    if (a.FileType != b.FileType || a.FileVersion != b.FileVersion || a.BifCount != b.BifCount ||
        a.KeyCount != b.KeyCount || a.BuildYear != b.BuildYear || a.BuildDay != b.BuildDay ||
        a.Reserved != b.Reserved || a.FileTable.size() != b.FileTable.size() ||
        a.Filenames.size() != b.Filenames.size())
        return false;
    if (layoutToo && (a.OffsetToFileTable != b.OffsetToFileTable || a.OffsetToKeyTable != b.OffsetToKeyTable))
        return false;
    for (std::size_t i = 0; i < a.FileTable.size(); ++i) {
        const TNWNFileTableEntry& x = a.FileTable[i];
        const TNWNFileTableEntry& y = b.FileTable[i];
        if (x.FileSize != y.FileSize || x.FilenameSize != y.FilenameSize || x.Drives != y.Drives ||
            (layoutToo && x.FilenameOffset != y.FilenameOffset))
            return false;
    }
    for (std::size_t i = 0; i < a.Filenames.size(); ++i) {
        const TNWNFilenameEntry& x = a.Filenames[i];
        const TNWNFilenameEntry& y = b.Filenames[i];
        if (x.Filename != y.Filename || x.Resources.size() != y.Resources.size()) return false;
        for (std::size_t k = 0; k < x.Resources.size(); ++k)
            if (x.Resources[k].ResRef != y.Resources[k].ResRef || x.Resources[k].ResType != y.Resources[k].ResType ||
                x.Resources[k].ResId != y.Resources[k].ResId || x.Resources[k].Sha1 != y.Resources[k].Sha1)
                return false;
    }
    return true;
}

} // namespace vellocar::fuzz
