// The check of a KEY against its BIFs, all in memory once each BIF's tables are read; and of an
// archive of the ERF family, whose E1.0 SHA-1s are checked the same way as an E1 KEY's.

#include "operations/Verify.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Progress.h"
#include "base/Sha1.h"
#include "formats/BifCodec.h"
#include "formats/BifFiles.h"
#include "formats/CompressedBuffer.h"
#include "formats/FileKinds.h"
#include "formats/KeyCodec.h"
#include "names/ArchiveNames.h"
#include "names/Names.h"
#include "operations/Containers.h"
#include "operations/ResourceRead.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

namespace vellocar {

namespace {

// "2017 (2da)", "2028" for a type without an extension.
std::string TypeText(TResType type) {
    const std::string ext = ResTypeToExt(type);
    return ext.empty() ? std::to_string(type) : std::to_string(type) + " (" + ext + ")";
}

// Where a KEY entry stands: its BIF and its position in that BIF's list.
struct TEntryAt {
    std::size_t Bif = 0;
    std::size_t Line = 0;
    bool operator==(const TEntryAt&) const = default;
};

struct TEntryAtHash {
    std::size_t operator()(const TEntryAt& at) const noexcept {
        return std::hash<std::uint64_t>()((static_cast<std::uint64_t>(at.Bif) << 32) ^ at.Line);
    }
};

// The name-and-type pairs that the KEY lists more than once, as notes on the entries of the
// checked BIFs: each later entry is noted against the first one, and when the later one's BIF
// is not checked, the first one is noted against it instead. The pairs are sorted rather than
// hashed: a KEY of a million entries then costs one sort of flat records, not a million
// allocations.
std::unordered_map<TEntryAt, std::vector<std::string>, TEntryAtHash> DuplicateNotes(const TNWNKeyFile& key,
                                                                                    const std::vector<bool>& checked) {
    struct Pair {
        // The ResRef up to its first zero byte, letters folded, zeros after, as two words: the
        // order only has to bring equal pairs together, so the words compare in host order.
        std::array<std::uint64_t, 2> Folded{};
        std::uint16_t Type = 0;
        TEntryAt At;
    };
    static_assert(sizeof(Pair::Folded) == kResRefSize);
    std::vector<Pair> pairs;
    std::size_t total = 0;
    for (const TNWNFilenameEntry& bif : key.Filenames) total += bif.Resources.size();
    pairs.reserve(total);
    for (std::size_t b = 0; b < key.Filenames.size(); ++b) {
        const std::vector<TNWNKeyEntry>& entries = key.Filenames[b].Resources;
        for (std::size_t line = 0; line < entries.size(); ++line) {
            TResRef folded{};
            const TResRef& name = entries[line].ResRef;
            for (std::size_t i = 0; i < name.size() && name[i] != '\0'; ++i) folded[i] = name[i];
            FoldArchiveLetters(folded); // the letters of ResourceKey, in place
            Pair pair{{}, entries[line].ResType, {b, line}};
            std::memcpy(pair.Folded.data(), folded.data(), folded.size());
            pairs.push_back(pair);
        }
    }
    // Word by word: the arrays' own operators go through memcmp, which dominated the sort.
    const auto samePair = [](const Pair& x, const Pair& y) {
        return x.Folded[0] == y.Folded[0] && x.Folded[1] == y.Folded[1] && x.Type == y.Type;
    };
    std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
        if (x.Folded[0] != y.Folded[0]) return x.Folded[0] < y.Folded[0];
        if (x.Folded[1] != y.Folded[1]) return x.Folded[1] < y.Folded[1];
        if (x.Type != y.Type) return x.Type < y.Type;
        return x.At.Bif != y.At.Bif ? x.At.Bif < y.At.Bif : x.At.Line < y.At.Line;
    });

    std::unordered_map<TEntryAt, std::vector<std::string>, TEntryAtHash> notes;
    for (std::size_t run = 0; run < pairs.size();) {
        std::size_t next = run + 1;
        while (next < pairs.size() && samePair(pairs[run], pairs[next])) ++next;
        const TEntryAt at = pairs[run].At;
        for (std::size_t k = run + 1; k < next; ++k) {
            const TEntryAt here = pairs[k].At;
            const std::string firstLine = platform::ShownName(ResourceLine(key.Filenames[at.Bif].Resources[at.Line]));
            if (checked[here.Bif]) {
                notes[here].push_back(at.Bif == here.Bif ? "duplicate of " + Quoted(firstLine) + " earlier in this BIF"
                                                         : "duplicate of " + Quoted(firstLine) + " in " +
                                              platform::ShownName({key.Filenames[at.Bif].Filename}));
            } else if (checked[at.Bif]) {
                notes[at].push_back(
                    "duplicated by " +
                    Quoted(platform::ShownName(ResourceLine(key.Filenames[here.Bif].Resources[here.Line]))) + " in " +
                    platform::ShownName({key.Filenames[here.Bif].Filename}));
            }
        }
        run = next;
    }
    return notes;
}

// The stored names that the KEY lists more than once, as notes on the checked BIFs: as with
// name-and-type pairs, each later entry is noted against the first, or the first against the
// later one when only the first is checked. Two entries for one BIF would have the game read
// one entry's names over the other's bytes.
std::unordered_map<std::size_t, std::vector<std::string>> RepeatedBifNotes(const TNWNKeyFile& key,
                                                                           const std::vector<bool>& checked) {
    std::unordered_map<std::string, std::size_t> first;
    std::unordered_map<std::size_t, std::vector<std::string>> notes;
    for (std::size_t b = 0; b < key.Filenames.size(); ++b) {
        const std::string& name = key.Filenames[b].Filename;
        if (name.empty()) continue;
        const auto [earlier, fresh] = first.try_emplace(StoredNameKey(name), b);
        if (fresh) continue;
        const std::size_t a = earlier->second;
        if (checked[b]) {
            notes[b].push_back("the KEY lists this BIF twice: it is also entry " + std::to_string(a) + " (" +
                               Quoted(platform::ShownName({key.Filenames[a].Filename})) + ")");
        } else if (checked[a]) {
            notes[a].push_back("the KEY lists this BIF twice: it is also entry " + std::to_string(b) + " (" +
                               Quoted(platform::ShownName({name})) + ")");
        }
    }
    return notes;
}

// A signature ("KEY V1  ", "BIFFV1  ") that is not the one read here, as a problem that names
// what the file is instead; nothing when it is. A reader of another version would take the
// tables to mean something else.
std::optional<std::string> SignatureProblem(std::string_view kind, const TFourCC& type, const TFourCC& version,
                                            const TFourCC& wantedType, const TFourCC& wantedVersion) {
    const std::string head = std::string(type.begin(), type.end()) + std::string(version.begin(), version.end());
    std::string wrong = WrongKindText(kind, head, wantedType, wantedVersion);
    if (wrong.empty()) return std::nullopt;
    return wrong;
}

// The header and tables of the BIF at path and the file's size, or the reason there are none.
struct TCheckedBif {
    std::string Path;
    TFourCC FileType{};
    TFourCC FileVersion{};
    TOid Oid{};
    std::uint32_t VarTableOffset = 0;
    std::uint32_t FixedResCount = 0;
    std::vector<TNWNVarResEntry> Resources;
    std::uint64_t Size = 0;
    std::string Fault;
};

TCheckedBif ReadBifForCheck(const std::string& path) {
    TCheckedBif opened;
    opened.Path = path;
    const auto info = platform::Stat(path);
    if (!info) {
        opened.Fault = "not found (looked for " + Quoted(path) + ")";
        return opened;
    }
    if (!info->IsRegular) {
        opened.Fault = Quoted(path) + " is not a file";
        return opened;
    }
    try {
        TBifTables bif = ReadBifTables(path);
        opened.FileType = bif.FileType;
        opened.FileVersion = bif.FileVersion;
        opened.Oid = bif.Oid;
        opened.VarTableOffset = bif.VarTableOffset;
        opened.FixedResCount = bif.FixedResCount;
        opened.Resources = std::move(bif.VarResources);
        opened.Size = info->Size;
    } catch (const EVellocarError& error) {
        opened.Fault = error.what();
    }
    return opened;
}

// "(offset 120, 7 bytes)".
std::string Extent(const TNWNVarResEntry& resource) {
    return "(offset " + std::to_string(resource.Offset) + ", " + std::to_string(resource.FileSize) + " bytes)";
}

// What is wrong with each resource's table entry and bytes, by index: an ID out of place,
// bytes past the end of the file, over the header or the tables, or over another resource's.
// The game finds a resource by its place in the table and reads its bytes where they are
// said to be, so each of these gives it wrong bytes. One sort finds the overlaps: each
// resource is checked against the one that reaches furthest among those that start before it.
std::unordered_map<std::uint32_t, std::vector<std::string>> PlacementNotes(
    const TCheckedBif& bif, const std::function<std::string(std::uint32_t)>& nameOf) {
    std::unordered_map<std::uint32_t, std::vector<std::string>> notes;
    const auto count = static_cast<std::uint32_t>(bif.Resources.size());
    const std::uint64_t varEnd =
        std::uint64_t{bif.VarTableOffset} + std::uint64_t{bifcodec::VarEntrySize(bif.FileVersion)} * count;
    // An E1 BIF's header goes on with its object ID.
    const std::uint64_t headerEnd =
        bif.FileVersion == bifcodec::kVersionE1 ? bifcodec::kOidAt + kOidSize : bifcodec::Header::Size;
    const struct {
        std::uint64_t Begin, End;
        const char* What;
    } tables[] = {
        {0, headerEnd, "the BIF's header"},
        {bif.VarTableOffset, varEnd, "the variable resource table"},
        {varEnd, varEnd + std::uint64_t{bifcodec::FixedEntry::Size} * bif.FixedResCount, "the fixed resource table"}};

    std::vector<std::uint32_t> placed;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TNWNVarResEntry& resource = bif.Resources[i];
        if ((resource.Id & kResIdIndexMask) != i) {
            notes[i].push_back("the BIF's table gives it the ID " + std::to_string(resource.Id) +
                               ", whose index part (the low 20 bits) " + std::to_string(resource.Id & kResIdIndexMask) +
                               " is not its place in the table, " + std::to_string(i));
        }
        const std::uint64_t begin = resource.Offset, end = begin + resource.FileSize;
        if (end > bif.Size) {
            notes[i].push_back("its bytes " + Extent(resource) + " run past the end of the BIF (" +
                               std::to_string(bif.Size) + " bytes)");
        }
        if (resource.FileSize == 0) continue;
        placed.push_back(i);
        for (const auto& table : tables) {
            if (begin < table.End && table.Begin < end) {
                notes[i].push_back("its bytes " + Extent(resource) + " lie over " + table.What + " (bytes " +
                                   std::to_string(table.Begin) + " to " + std::to_string(table.End - 1) + ")");
                break;
            }
        }
    }

    const auto endOf = [&](std::uint32_t i) {
        return std::uint64_t{bif.Resources[i].Offset} + bif.Resources[i].FileSize;
    };
    std::sort(placed.begin(), placed.end(), [&](std::uint32_t a, std::uint32_t b) {
        const TNWNVarResEntry &x = bif.Resources[a], &y = bif.Resources[b];
        return x.Offset != y.Offset ? x.Offset < y.Offset : x.FileSize != y.FileSize ? x.FileSize > y.FileSize : a < b;
    });
    std::optional<std::uint32_t> furthest;
    for (const std::uint32_t i : placed) {
        if (furthest && bif.Resources[i].Offset < endOf(*furthest)) {
            notes[i].push_back("its bytes " + Extent(bif.Resources[i]) + " overlap those of " +
                               Quoted(nameOf(*furthest)) + " " + Extent(bif.Resources[*furthest]));
        }
        if (!furthest || endOf(i) > endOf(*furthest)) furthest = i;
    }
    return notes;
}

using TDuplicateNotes = std::unordered_map<TEntryAt, std::vector<std::string>, TEntryAtHash>;

// The SHA-1 that an archive records of a resource against the resource's bytes, unpacked: the
// file is opened once, for its first resource, and each resource is read in chunks (a packed one
// whole, as it is unpacked). Sizes that rule the resource out are a problem before it is read.
class TSha1Check {
public:
    explicit TSha1Check(std::string path) : path_(std::move(path)) {}

    platform::File& File() {
        if (!file_) file_.emplace(platform::File::OpenRead(path_));
        return *file_;
    }

    // What is wrong, in words that follow the resource's name (recorder: what gives the SHA-1,
    // "the KEY"); nothing when the bytes give recorded.
    std::optional<std::string> Problem(const TResourceSpan& span, const TSha1& recorded, const std::string& name,
                                       const std::string& recorder) {
        TSha1Hasher hasher;
        try {
            compressedbuf::CheckSizes(span.Size, span.Compression, span.Unpacked);
            EachResourceChunk(
                File(), span, buffer_,
                [&](std::string_view chunk, bool) {
                    hasher.Add({reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size()});
                    return true;
                },
                name);
        } catch (const EVellocarError& error) {
            return error.what();
        }
        if (const TSha1 found = hasher.Finish(); found != recorded)
            return "its bytes' SHA-1 is " + Sha1Hex(found) + ", " + recorder + " gives " + Sha1Hex(recorded);
        return std::nullopt;
    }

private:
    std::string path_;
    std::optional<platform::File> file_;
    std::vector<char> buffer_ = std::vector<char>(std::size_t{1} << 16);
};

// The check of one BIF against the KEY: the BIF as a whole, each KEY entry of it, then the
// resources that no entry names.
class TBifCheck {
public:
    using TNotes = std::unordered_map<std::uint32_t, std::vector<std::string>>;

    TBifCheck(const TNWNKeyFile& key, std::size_t b, const std::string& folder, TVerifyReport& report)
        : key_(key),
          b_(b),
          named_(key.Filenames[b]),
          report_(report),
          bif_(ReadBifForCheck(LocateBif(folder, named_.Filename).Path)),
          opened_(bif_.Fault.empty()),
          namedBy_(bif_.Resources.size(), nullptr) {
        // The first entry of each resource, as export names it.
        for (const TNWNKeyEntry& entry : named_.Resources) {
            const std::uint32_t index = entry.ResId & kResIdIndexMask;
            if (index < namedBy_.size() && !namedBy_[index]) namedBy_[index] = &entry;
        }
        placement_ = PlacementNotes(bif_, [this](std::uint32_t index) { return NameOf(index); });
    }

    void Run(const std::vector<std::string>* repeated, const TDuplicateNotes& duplicates) {
        if (repeated)
            for (const std::string& note : *repeated) Problem("", note);
        WholeBif();
        for (std::size_t line = 0; line < named_.Resources.size(); ++line) Entry(line, duplicates);
        for (std::uint32_t index = 0; index < namedBy_.size(); ++index) {
            if (namedBy_[index]) continue;
            const std::string name = NameOf(index);
            Problem(name, "no KEY entry names this resource (type " + TypeText(bif_.Resources[index].ResType) + ")");
            PlacementProblems(index, name);
        }
    }

private:
    void Problem(const std::string& resource, std::string message) {
        report_.Problems.push_back({b_, resource, std::move(message)});
    }
    std::string NameOf(std::uint32_t index) const {
        return namedBy_[index] ? platform::ShownName(ResourceLine(*namedBy_[index])) : "#" + std::to_string(index);
    }
    // Whether there were any.
    bool PlacementProblems(std::uint32_t index, const std::string& name) {
        const auto notes = placement_.find(index);
        if (notes == placement_.end()) return false;
        for (const std::string& note : notes->second) Problem(name, note);
        return true;
    }

    // An E1 KEY's SHA-1 of the resource against the resource's bytes, unpacked.
    void CheckSha1(const TNWNKeyEntry& entry, const TNWNVarResEntry& resource, const std::string& name) {
        if (auto problem = sha1_.Problem(SpanOf(resource), entry.Sha1, name, "the KEY"))
            Problem(name, std::move(*problem));
    }

    void WholeBif() {
        if (!opened_) return Problem("", bif_.Fault);
        // The reader took it for a BIF of a version it reads; whether it belongs to this KEY is
        // the version and, for E1, the object ID they share.
        TBifTables header;
        header.FileVersion = bif_.FileVersion;
        header.Oid = bif_.Oid;
        if (std::string mismatch = BifKeyMismatch(header, key_); !mismatch.empty()) Problem("", std::move(mismatch));
        // The Enhanced Edition's packer (neverwinter.nim) records an E1 BIF's size without its
        // 20-byte header.
        const bool sizeWithoutHeader = key_.IsE1() && b_ < key_.FileTable.size() &&
            std::uint64_t{key_.FileTable[b_].FileSize} + bifcodec::Header::Size == bif_.Size;
        if (b_ < key_.FileTable.size() && key_.FileTable[b_].FileSize != bif_.Size && !sizeWithoutHeader)
            Problem("",
                    "the KEY gives its size as " + std::to_string(key_.FileTable[b_].FileSize) +
                        " bytes, the file has " + std::to_string(bif_.Size));
    }

    void Entry(std::size_t line, const TDuplicateNotes& duplicates) {
        const TNWNKeyEntry& entry = named_.Resources[line];
        // Made only for a problem: most entries of a large KEY have none.
        std::optional<std::string> shown;
        const auto name = [&]() -> const std::string& {
            return shown ? *shown : shown.emplace(platform::ShownName(ResourceLine(entry)));
        };
        if (opened_) {
            const std::uint32_t index = entry.ResId & kResIdIndexMask;
            if (index >= bif_.Resources.size()) {
                Problem(name(),
                        "the BIF holds no resource at index " + std::to_string(index) + " (it has " +
                            std::to_string(bif_.Resources.size()) + ")");
            } else {
                const TNWNVarResEntry& resource = bif_.Resources[index];
                if (resource.ResType != entry.ResType)
                    Problem(
                        name(),
                        "the BIF gives type " + TypeText(resource.ResType) + ", the KEY " + TypeText(entry.ResType));
                if (namedBy_[index] != &entry)
                    Problem(name(),
                            "its resource (index " + std::to_string(index) + ") is also named by " +
                                Quoted(platform::ShownName(ResourceLine(*namedBy_[index]))));
                else if (!PlacementProblems(index, name()) && key_.IsE1())
                    CheckSha1(entry, resource, name());
            }
        }
        if (const auto notes = duplicates.find({b_, line}); notes != duplicates.end())
            for (const std::string& note : notes->second) Problem(name(), note);
    }

    const TNWNKeyFile& key_;
    const std::size_t b_;
    const TNWNFilenameEntry& named_;
    TVerifyReport& report_;
    const TCheckedBif bif_;
    const bool opened_;
    std::vector<const TNWNKeyEntry*> namedBy_;
    TNotes placement_;
    TSha1Check sha1_{bif_.Path}; // for the SHA-1s of an E1 KEY
};

} // namespace

TVerifyReport VerifyArchive(const TNWNKeyFile& key, const std::string& keyPath,
                            const std::vector<std::size_t>& bifIndexes) {
    std::vector<bool> checked(key.Filenames.size(), false);
    std::vector<std::size_t> order;
    for (const std::size_t b : bifIndexes) {
        if (b < checked.size() && !checked[b]) {
            checked[b] = true;
            order.push_back(b);
        }
    }
    const auto duplicates = DuplicateNotes(key, checked);
    const auto repeated = RepeatedBifNotes(key, checked);
    const std::string folder = platform::FolderOf(keyPath);

    TVerifyReport report;
    if (auto fault = SignatureProblem("KEY", key.FileType, key.FileVersion, keycodec::kFileType,
                                      key.IsE1() ? keycodec::kVersionE1 : keycodec::kVersion1))
        report.KeyProblems.push_back(std::move(*fault));
    for (const std::size_t b : order) {
        ++report.Bifs;
        report.Resources += key.Filenames[b].Resources.size();
        const auto notes = repeated.find(b);
        TBifCheck(key, b, folder, report).Run(notes == repeated.end() ? nullptr : &notes->second, duplicates);
    }
    return report;
}

std::optional<TErfFile> VerifyErfArchive(const std::string& path,
                                         const std::function<void(const std::string&)>& fault) {
    std::optional<TErfFile> erf = ReadErfForCheck(path, fault);
    if (!erf || erf->FileVersion != erfcodec::kVersionE1) return erf;
    const std::string recorder = "the " + erfcodec::KindOf(erf->FileType);
    TSha1Check sha1(path);
    const std::uint64_t fileSize = sha1.File().Size();
    for (std::uint32_t i = 0; i < erf->Keys.size(); ++i) {
        const TErfResourceEntry& r = erf->Resources[i];
        // Bytes past the end are a fault the reading told already.
        if (!byteio::RangeEnd(r.Offset, r.Size, 1, fileSize)) continue;
        const std::string name = platform::ShownName(ResourceLine(erfcodec::KeyEntryOf(erf->Keys[i], i)));
        if (auto problem = sha1.Problem(SpanOf(ErfVarEntry(*erf, i)), erf->Keys[i].Sha1, name, recorder))
            fault("resource " + std::to_string(i) + " (" + Quoted(name) + "): " + *problem);
    }
    return erf;
}

} // namespace vellocar
