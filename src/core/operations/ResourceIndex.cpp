// The flat index of a set's resources: built once from the layers, filtered and sorted as the
// user types.

#include "operations/ResourceIndex.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "names/ArchiveNames.h"
#include "names/NamePattern.h"
#include "names/Names.h"
#include "names/ResourceTypes.h"
#include "operations/ResourceLayers.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace vellocar {

namespace {

// A resource's identity as the game looks it up: its ResRef folded, and its type.
struct TIdentity {
    std::array<char, kResRefSize> Name{};
    std::uint16_t Type = 0;
    bool operator==(const TIdentity&) const = default;
};
struct TIdentityHash {
    std::size_t operator()(const TIdentity& id) const {
        std::uint64_t h = 1469598103934665603ull; // FNV-1a over the 18 bytes
        for (const char c : id.Name) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        h = (h ^ (id.Type & 0xFFu)) * 1099511628211ull;
        h = (h ^ (id.Type >> 8)) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};

std::string RoleOf(const TResourceSet& set, TSourceKind kind, std::size_t source) {
    if (kind == TSourceKind::Key) return "key";
    if (kind == TSourceKind::Hak) return "hak";
    return set.Folders[source].Role;
}
std::string LabelOf(const TResourceSet& set, TSourceKind kind, std::size_t source) {
    if (kind == TSourceKind::Key) return set.Keys[source].Path;
    if (kind == TSourceKind::Hak) return set.Haks[source].Label;
    return set.Folders[source].Path;
}

// A glob, with the letters every line it matches must start and end with (those before its first
// wildcard or set, and after its last): most lines are turned away by them before the pattern is
// matched at all.
struct TGlob {
    std::string Pattern;
    std::string Head;
    std::string Tail;
    // When the pattern's only wildcard is "*": the letters between its stars, in order.
    std::optional<std::vector<std::string>> Middle;

    bool Matches(std::string_view line) const {
        if (!line.starts_with(Head) || !line.ends_with(Tail) || line.size() < Head.size() + Tail.size()) return false;
        if (!Middle) return MatchesPattern(Pattern, line);
        // Taking each part at its first place leaves the most room for the parts after it.
        std::size_t at = Head.size();
        const std::size_t end = line.size() - Tail.size();
        for (const std::string& part : *Middle) {
            const std::size_t found = line.substr(0, end).find(part, at);
            if (found == std::string_view::npos) return false;
            at = found + part.size();
        }
        return true;
    }
};

struct TQuery {
    std::vector<std::uint16_t> Types; // each "type:" word; a row must be of every one
    bool NoType = false; // a "type:" word that names no type: nothing matches
    std::vector<std::string> Parts; // folded
    std::vector<TGlob> Globs;
};

TQuery ParseQuery(std::string_view query) {
    TQuery parsed;
    std::size_t at = 0;
    while (at < query.size()) {
        const std::size_t end = std::min(query.find(' ', at), query.size());
        const std::string_view word = query.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        constexpr std::string_view kType = "type:";
        if (word.size() >= kType.size() && std::equal(kType.begin(), kType.end(), word.begin(), [](char a, char b) {
                return a == FoldArchiveLetter(b);
            })) {
            const std::string ext = "." + std::string(word.substr(kType.size()));
            const TResType type = ExtToResType(ext);
            if (type == kUnknownResType)
                parsed.NoType = true;
            else
                parsed.Types.push_back(static_cast<std::uint16_t>(type));
            continue;
        }
        const auto bytes = ArchivePattern(word, platform::kHostSpelling);
        if (!bytes) {
            parsed.NoType = true; // no archive name can hold it
            continue;
        }
        std::string folded = *bytes;
        FoldArchiveLetters(folded);
        constexpr std::string_view kSpecial = "*?[]";
        if (folded.find_first_of("*?") == std::string::npos) {
            parsed.Parts.push_back(std::move(folded));
            continue;
        }
        const std::size_t first = folded.find_first_of(kSpecial), last = folded.find_last_of(kSpecial);
        TGlob glob{folded, folded.substr(0, first), folded.substr(last + 1), std::nullopt};
        if (folded.find_first_of("?[]") == std::string::npos) {
            // "a*b*c": a head, a tail, and the parts between the stars.
            std::vector<std::string> middle;
            std::size_t from = first + 1;
            while (from < last) {
                const std::size_t star = folded.find('*', from);
                if (star > from) middle.push_back(folded.substr(from, star - from));
                from = star + 1;
            }
            glob.Middle = std::move(middle);
        }
        parsed.Globs.push_back(std::move(glob));
    }
    return parsed;
}

} // namespace

std::vector<TIndexLayer> TResourceIndex::LayersOf(const TResourceSet& set) {
    std::vector<TIndexLayer> layers;
    const auto add = [&](TSourceKind kind, std::size_t source) {
        layers.push_back({kind, source, LabelOf(set, kind, source), RoleOf(set, kind, source)});
    };
    // A copy names its layer in 16 bits.
    if (set.Keys.size() + set.Haks.size() + set.Folders.size() > std::numeric_limits<std::uint16_t>::max())
        throw EVellocarError("more than 65,535 KEYs, HAKs and folders cannot be indexed together");
    for (std::size_t k = 0; k < set.Keys.size(); ++k) add(TSourceKind::Key, k);
    for (std::size_t f = 0; f < set.Folders.size(); ++f)
        if (set.Folders[f].Place == TFolderPlace::BelowHaks) add(TSourceKind::Folder, f);
    for (std::size_t h = set.Haks.size(); h-- > 0;) add(TSourceKind::Hak, h);
    for (std::size_t f = 0; f < set.Folders.size(); ++f)
        if (set.Folders[f].Place == TFolderPlace::AboveHaks) add(TSourceKind::Folder, f);
    return layers;
}

TResourceIndex::TResourceIndex(const TResourceSet& set) : TResourceIndex(set, {}) {}

TResourceIndex::TResourceIndex(const TResourceSet& set, const std::vector<bool>& counted) {
    // The layers in the game's order, each given its place.
    layers_ = LayersOf(set);
    std::vector<std::vector<std::uint16_t>> layerOf(3);
    layerOf[0].resize(set.Keys.size());
    layerOf[1].resize(set.Haks.size());
    layerOf[2].resize(set.Folders.size());
    for (std::size_t l = 0; l < layers_.size(); ++l)
        layerOf[static_cast<std::size_t>(layers_[l].Kind)][layers_[l].Source] = static_cast<std::uint16_t>(l);
    const auto layerOfHit = [&](const TResourceHit& hit) {
        return layerOf[static_cast<std::size_t>(hit.Kind)][hit.Source];
    };
    // Empty: every layer counts.
    const auto isCounted = [&](std::uint16_t layer) {
        return counted.empty() || (layer < counted.size() && counted[layer]);
    };
    problems_ = set.Problems;

    std::vector<TResourceHit> hits;
    ForEachResourceEntry(set, [&](const TResourceHit& hit) {
        if (isCounted(layerOfHit(hit))) hits.push_back(hit);
    });
    for (const TBifFault& fault : FillSizes(set, hits)) {
        problems_.push_back(set.Keys[fault.Key].Key->Filenames[fault.Bif].Filename + ": " + fault.Message);
        bifProblems_.push_back({layerOf[0][fault.Key], problems_.back()});
    }

    // Each entry to its resource's row, met lowest first.
    std::unordered_map<TIdentity, std::uint32_t, TIdentityHash> rowOf;
    rowOf.reserve(hits.size());
    std::vector<std::uint32_t> rowOfHit(hits.size());
    std::vector<std::uint32_t> counts;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const TNWNKeyEntry& entry = hits[i].Entry;
        TIdentity id;
        const std::string name = ResRefToString(entry.ResRef);
        std::copy(name.begin(), name.end(), id.Name.begin());
        FoldArchiveLetters(id.Name);
        id.Type = entry.ResType;
        const auto [found, fresh] = rowOf.try_emplace(id, static_cast<std::uint32_t>(rows_.size()));
        if (fresh) {
            TIndexRow row;
            row.Type = entry.ResType;
            rows_.push_back(row);
            counts.push_back(0);
        }
        // A row shows its name as the winning copy spells it: the last met.
        TIndexRow& row = rows_[found->second];
        if (fresh || NameOf(row) != name) {
            row.Name = static_cast<std::uint32_t>(names_.size());
            row.NameSize = static_cast<std::uint8_t>(name.size());
            names_ += name;
        }
        rowOfHit[i] = found->second;
        ++counts[found->second];
    }
    // Copies row by row; within a row the latest met (the loaded one) first.
    std::uint32_t next = 0;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        rows_[r].FirstCopy = next;
        rows_[r].CopyCount = counts[r];
        next += counts[r];
        counts[r] = rows_[r].FirstCopy + rows_[r].CopyCount; // where the next copy met goes, from the end
    }
    copies_.resize(hits.size());
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const TResourceHit& hit = hits[i];
        TIndexCopy copy;
        copy.Line = static_cast<std::uint32_t>(hit.Line);
        copy.Bif = static_cast<std::uint16_t>(hit.Bif);
        copy.Layer = layerOfHit(hit);
        copy.HasSize = hit.Size.has_value();
        copy.Size = hit.Size.value_or(0);
        copies_[--counts[rowOfHit[i]]] = copy;
    }
    // The lines as the filter compares them, folded once.
    lines_.reserve(rows_.size() + 1);
    for (const TIndexRow& row : rows_) {
        lines_.push_back(static_cast<std::uint32_t>(folded_.size()));
        folded_ += LineOf(row);
    }
    lines_.push_back(static_cast<std::uint32_t>(folded_.size()));
    FoldArchiveLetters(folded_);

    // Ties by the folded line, then by the row's own bytes, then by row: a total order, the same
    // every run.
    const auto line = [&](std::uint32_t r) {
        return std::string_view(folded_.data() + lines_[r], lines_[r + 1] - lines_[r]);
    };
    byName_.resize(rows_.size());
    std::iota(byName_.begin(), byName_.end(), 0u);
    std::sort(byName_.begin(), byName_.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int c = line(a).compare(line(b));
        if (c != 0) return c < 0;
        const int d = NameOf(rows_[a]).compare(NameOf(rows_[b]));
        return d != 0 ? d < 0 : a < b;
    });
    nameRank_.resize(rows_.size());
    for (std::uint32_t i = 0; i < byName_.size(); ++i) nameRank_[byName_[i]] = i;
}

std::string TResourceIndex::LineOf(const TIndexRow& row) const {
    std::string line(NameOf(row));
    line += '.';
    line += ResTypeExtension(row.Type);
    return line;
}

TResourceHit TResourceIndex::HitOf(const TIndexRow& row, const TIndexCopy& copy) const {
    TResourceHit hit;
    hit.Kind = layers_[copy.Layer].Kind;
    hit.Source = layers_[copy.Layer].Source;
    hit.Bif = copy.Bif;
    hit.Line = copy.Line;
    const std::string_view name = NameOf(row);
    std::copy(name.begin(), name.end(), hit.Entry.ResRef.begin());
    hit.Entry.ResType = row.Type;
    hit.Loaded = &copy == &Loaded(row);
    if (copy.HasSize) hit.Size = copy.Size;
    return hit;
}

std::vector<std::uint32_t> TResourceIndex::Filter(std::string_view query,
                                                  const std::vector<std::uint32_t>* within) const {
    const TQuery parsed = ParseQuery(query);
    std::vector<std::uint32_t> shown;
    if (parsed.NoType) return shown;
    const std::size_t count = within ? within->size() : rows_.size();
    shown.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t r = within ? (*within)[i] : static_cast<std::uint32_t>(i);
        const TIndexRow& row = rows_[r];
        if (!std::all_of(parsed.Types.begin(), parsed.Types.end(), [&](std::uint16_t t) { return t == row.Type; }))
            continue;
        const std::string_view line(folded_.data() + lines_[r], lines_[r + 1] - lines_[r]);
        if (!std::all_of(parsed.Parts.begin(), parsed.Parts.end(),
                         [&](const std::string& part) { return line.find(part) != std::string_view::npos; }))
            continue;
        if (!std::all_of(parsed.Globs.begin(), parsed.Globs.end(),
                         [&](const TGlob& glob) { return glob.Matches(line); }))
            continue;
        shown.push_back(r);
    }
    return shown;
}

void TResourceIndex::Sort(std::vector<std::uint32_t>& shown, TIndexColumn column, bool descending) const {
    if (column == TIndexColumn::Name) {
        // The order by name is made already: keep the shown rows of it, in its order.
        std::vector<bool> wanted(rows_.size(), false);
        for (const std::uint32_t r : shown) wanted[r] = true;
        std::size_t at = 0;
        for (const std::uint32_t r : byName_)
            if (wanted[r]) shown[at++] = r;
        if (descending) std::reverse(shown.begin(), shown.end());
        return;
    }
    const auto key = [&](std::uint32_t r) -> std::uint64_t {
        const TIndexRow& row = rows_[r];
        switch (column) {
            case TIndexColumn::Type:
                return row.Type;
            case TIndexColumn::Size:
                return Loaded(row).HasSize ? Loaded(row).Size : 0;
            case TIndexColumn::Layer:
                return Loaded(row).Layer;
            case TIndexColumn::Copies:
                return row.CopyCount;
            case TIndexColumn::Name:
                break;
        }
        return 0;
    };
    // The column's value above the place by name, as one number: descending turns the column's
    // order round and keeps ties by name, ascending.
    std::vector<std::uint64_t> keys(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::uint64_t value = descending ? 0xFFFFFFFFu - key(shown[i]) : key(shown[i]);
        keys[i] = value << 32 | nameRank_[shown[i]];
    }
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 0; i < keys.size(); ++i) shown[i] = byName_[static_cast<std::uint32_t>(keys[i])];
}

std::string TResourceIndex::CountText(std::size_t shown) const {
    return WithThousands(shown) + " of " + WithThousands(rows_.size());
}

std::vector<std::uint32_t> TResourceIndex::Conflicts() const {
    std::vector<std::uint32_t> found;
    for (std::uint32_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].CopyCount > 1) found.push_back(r);
    return found;
}

std::vector<TCopyDigest> CopyDigests(const TResourceIndex& index, const TIndexRow& row, TPieceFinder& finder) {
    std::vector<TCopyDigest> digests;
    std::vector<char> buffer(std::size_t{1} << 16);
    const std::string line = index.LineOf(row);
    for (std::uint32_t c = 0; c < row.CopyCount; ++c) {
        TCopyDigest& digest = digests.emplace_back();
        try {
            const TResourcePiece piece = finder.Find(index.HitOf(row, index.Copies()[row.FirstCopy + c]));
            platform::File file = platform::File::OpenRead(piece.Path);
            CheckResourceSpan(file, piece.Span, line);
            TSha1Hasher hasher;
            EachResourceChunk(
                file, piece.Span, buffer,
                [&](std::string_view chunk, bool) {
                    hasher.Add(std::span(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size()));
                    return true;
                },
                line);
            digest.Digest = hasher.Finish();
        } catch (const EVellocarError& error) {
            digest.Problem = error.what();
        }
    }
    return digests;
}

bool CopiesDiffer(const std::vector<TCopyDigest>& digests) {
    const TSha1* first = nullptr;
    for (const TCopyDigest& d : digests) {
        if (!d.Digest) continue;
        if (first && *first != *d.Digest) return true;
        if (!first) first = &*d.Digest;
    }
    return false;
}

} // namespace vellocar
