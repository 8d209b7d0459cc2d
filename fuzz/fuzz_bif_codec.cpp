// Any bytes as a BIF, in memory: the codec refuses them with one of its own errors, the same
// whether it is given the whole file or only the leading bytes its loader asks for, or it gives
// tables that lie within the file and hold what the file's bytes say. A BIF laid out as the
// builder writes one comes out of the header and entry writers byte for byte.

#include "base/Errors.h"
#include "formats/BifCodec.h"
#include "FuzzCheck.h"

#include <algorithm>
#include <optional>
#include <vector>

using namespace vellocar;
using fuzz::Le32;

namespace {

const std::string kName = "fuzz";

std::optional<TBifTables> Read(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, std::string& error) {
    try {
        return bifcodec::Parse(bytes, fileSize, kName);
    } catch (const EFormatError& e) {
        error = e.what();
        return std::nullopt;
    }
}

bool SameTables(const TBifTables& a, const TBifTables& b) {
    auto sameVar = [](const TNWNVarResEntry& x, const TNWNVarResEntry& y) {
        return x.Id == y.Id && x.Offset == y.Offset && x.FileSize == y.FileSize && x.ResType == y.ResType;
    };
    auto sameFixed = [](const TNWNFixedResEntry& x, const TNWNFixedResEntry& y) {
        return x.Id == y.Id && x.Offset == y.Offset && x.PartCount == y.PartCount && x.PartSize == y.PartSize &&
            x.ResType == y.ResType;
    };
    return a.FileType == b.FileType && a.FileVersion == b.FileVersion && a.VarResCount == b.VarResCount &&
        a.FixedResCount == b.FixedResCount && a.VarTableOffset == b.VarTableOffset && a.HeaderExtra == b.HeaderExtra &&
        std::equal(a.VarResources.begin(), a.VarResources.end(), b.VarResources.begin(), b.VarResources.end(),
                   sameVar) &&
        std::equal(a.FixedResources.begin(), a.FixedResources.end(), b.FixedResources.begin(), b.FixedResources.end(),
                   sameFixed);
}

// The tables against the file's own bytes.
void CheckAgainstFile(const TBifTables& t, std::span<const std::uint8_t> file) {
    fuzz::Check(t.VarResources.size() == t.VarResCount && t.FixedResources.size() == t.FixedResCount,
                "a table's length is not its count");
    const std::uint64_t varAt = t.VarTableOffset;
    const std::size_t entrySize = t.FileVersion == bifcodec::kVersionE1 ? 24 : 16; // E1 adds two fields
    const std::uint64_t fixedAt = varAt + std::uint64_t{t.VarResCount} * entrySize;
    const std::uint64_t end = fixedAt + std::uint64_t{t.FixedResCount} * bifcodec::FixedEntry::Size;
    fuzz::Check(end <= file.size(), "the tables reach past the end of the file");
    fuzz::Check(t.HeaderExtra.size() == (varAt > bifcodec::Header::Size ? varAt - bifcodec::Header::Size : 0),
                "HeaderExtra is not the gap between the header and the variable table");
    fuzz::Check(std::equal(t.HeaderExtra.begin(), t.HeaderExtra.end(), file.begin() + bifcodec::Header::Size),
                "HeaderExtra is not the file's bytes");

    const std::uint8_t* row = file.data() + varAt;
    for (const TNWNVarResEntry& e : t.VarResources) {
        fuzz::Check(e.Id == Le32(row) && e.Offset == Le32(row + 4) && e.FileSize == Le32(row + 8) &&
                        e.ResType == Le32(row + 12),
                    "a variable entry is not the file's bytes");
        (void)ResTypeToExt(e.ResType); // as the listing names it
        row += entrySize;
    }
    for (const TNWNFixedResEntry& e : t.FixedResources) {
        fuzz::Check(e.Id == Le32(row) && e.Offset == Le32(row + 4) && e.PartCount == Le32(row + 8) &&
                        e.PartSize == Le32(row + 12) && e.ResType == Le32(row + 16),
                    "a fixed entry is not the file's bytes");
        row += bifcodec::FixedEntry::Size;
    }
}

// A BIF as the builder lays one out (no gap, no fixed resources) is what PutHeader and
// PutVarEntry write for its tables.
void CheckWriters(const TBifTables& t, std::span<const std::uint8_t> file) {
    if (t.FileType != bifcodec::kFileType || t.FileVersion != bifcodec::kVersion1 || t.FixedResCount != 0 ||
        t.VarTableOffset != bifcodec::Header::Size)
        return;
    static std::vector<std::uint8_t> written; // kept between runs: no allocation per input
    written.assign(bifcodec::Header::Size + t.VarResources.size() * bifcodec::VarEntry::Size, 0);
    bifcodec::PutHeader(std::span<std::uint8_t, bifcodec::Header::Size>(written.data(), bifcodec::Header::Size),
                        t.VarResCount);
    std::uint8_t* row = written.data() + bifcodec::Header::Size;
    for (const TNWNVarResEntry& e : t.VarResources) {
        bifcodec::PutVarEntry(std::span<std::uint8_t, bifcodec::VarEntry::Size>(row, bifcodec::VarEntry::Size), e);
        row += bifcodec::VarEntry::Size;
    }
    fuzz::Check(std::equal(written.begin(), written.end(), file.begin()),
                "the header and entry writers do not give back the bytes read");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    std::string wholeError;
    const std::optional<TBifTables> tables = Read(file, size, wholeError);

    // The loader reads the header, then the tables: the same tables, or the same refusal.
    std::size_t have = 0;
    try {
        have = fuzz::PrefixRounds(
            file, 3, [&](std::span<const std::uint8_t> prefix) { return bifcodec::BytesNeeded(prefix, size, kName); });
    } catch (const EFormatError& e) {
        if (tables || wholeError != e.what()) fuzz::Fail("BytesNeeded refuses what Parse does not", e.what());
        return 0;
    }
    std::string partError;
    const std::optional<TBifTables> part = Read(file.first(have), size, partError);
    if (part.has_value() != tables.has_value() || partError != wholeError)
        fuzz::Fail("the leading bytes read otherwise than the whole file", partError + " / " + wholeError);
    if (!tables) return 0;
    fuzz::Check(SameTables(*part, *tables), "the leading bytes give other tables than the whole file");

    CheckAgainstFile(*tables, file);
    CheckWriters(*tables, file);
    return 0;
}
