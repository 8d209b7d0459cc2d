// Several KEYs read in the game's order: which entry the game loads, what later KEYs shadow.

#include "operations/GameKeys.h"

#include "base/Errors.h"
#include "formats/BifCodec.h"
#include "formats/BifFiles.h"
#include "names/ArchiveNames.h"
#include "names/NamePattern.h"
#include "names/Names.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <utility>

namespace vellocar {

namespace {

// What makes two entries one resource: the one rule of ResourceKey.
std::string Identity(const TNWNKeyEntry& entry) { return ResourceKey(ResRefToString(entry.ResRef), entry.ResType); }

template <typename Visit>
void ForEachEntry(const TResourceSet& set, Visit&& visit) {
    for (std::size_t k = 0; k < set.Keys.size(); ++k) {
        const auto& bifs = set.Keys[k].Key->Filenames;
        for (std::size_t b = 0; b < bifs.size(); ++b)
            for (std::size_t l = 0; l < bifs[b].Resources.size(); ++l)
                visit(TResourceHit{TSourceKind::Key, k, b, l, bifs[b].Resources[l], false, std::nullopt});
    }
    const auto folders = [&](TFolderPlace place) {
        for (std::size_t f = 0; f < set.Folders.size(); ++f) {
            if (set.Folders[f].Place != place) continue;
            const std::vector<TNWNKeyEntry>& entries = set.Folders[f].Entries;
            for (std::size_t l = entries.size(); l-- > 0;)
                visit(TResourceHit{TSourceKind::Folder, f, 0, l, entries[l], false, std::nullopt});
        }
    };
    folders(TFolderPlace::BelowHaks);
    for (std::size_t h = set.Haks.size(); h-- > 0;) {
        const std::vector<TNWNKeyEntry>& entries = set.Haks[h].Entries();
        for (std::size_t l = entries.size(); l-- > 0;)
            visit(TResourceHit{TSourceKind::Hak, h, 0, l, entries[l], false, std::nullopt});
    }
    folders(TFolderPlace::AboveHaks);
}

// The sources of the set in the order ForEachEntry meets them, as (kind, index); lowest first.
std::vector<std::pair<TSourceKind, std::size_t>> SourcesInGameOrder(const TResourceSet& set) {
    std::vector<std::pair<TSourceKind, std::size_t>> order;
    for (std::size_t k = 0; k < set.Keys.size(); ++k) order.emplace_back(TSourceKind::Key, k);
    for (std::size_t f = 0; f < set.Folders.size(); ++f)
        if (set.Folders[f].Place == TFolderPlace::BelowHaks) order.emplace_back(TSourceKind::Folder, f);
    for (std::size_t h = set.Haks.size(); h-- > 0;) order.emplace_back(TSourceKind::Hak, h);
    for (std::size_t f = 0; f < set.Folders.size(); ++f)
        if (set.Folders[f].Place == TFolderPlace::AboveHaks) order.emplace_back(TSourceKind::Folder, f);
    return order;
}

} // namespace

void ForEachResourceEntry(const TResourceSet& set, const std::function<void(const TResourceHit&)>& visit) {
    ForEachEntry(set, visit);
}

std::vector<TResourceHit> FindResources(const TResourceSet& set, std::string_view pattern) {
    struct Found {
        std::string Line; // folded, the order of the groups
        std::size_t Order = 0; // in the game's order
        TResourceHit Hit;
    };
    std::vector<Found> found;
    // Matched on the names as the game reads them, letter by letter.
    const auto wanted = ArchivePattern(pattern, platform::kHostSpelling);
    if (!wanted) return {};
    ForEachEntry(set, [&](TResourceHit hit) {
        std::string line = ResourceLine(hit.Entry).Bytes;
        if (!MatchesPattern(*wanted, line)) return;
        FoldArchiveLetters(line);
        const std::size_t order = found.size();
        found.push_back({std::move(line), order, hit});
    });
    // Entries of one resource have the same folded line and type; the latest comes first.
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        if (a.Line != b.Line) return a.Line < b.Line;
        if (a.Hit.Entry.ResType != b.Hit.Entry.ResType) return a.Hit.Entry.ResType < b.Hit.Entry.ResType;
        return a.Order > b.Order;
    });
    std::vector<TResourceHit> hits;
    hits.reserve(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        hits.push_back(found[i].Hit);
        hits.back().Loaded = i == 0 || found[i - 1].Line != found[i].Line ||
            found[i - 1].Hit.Entry.ResType != found[i].Hit.Entry.ResType;
    }
    return hits;
}

std::optional<TResourceHit> LoadedResource(const TResourceSet& set, std::string_view resRef, std::uint16_t type) {
    std::optional<TResourceHit> loaded;
    const std::string wanted = ResourceKey(resRef, type);
    // The last entry in the game's order wins.
    ForEachEntry(set, [&](TResourceHit hit) {
        if (hit.Entry.ResType == type && Identity(hit.Entry) == wanted) loaded = hit;
    });
    if (loaded) loaded->Loaded = true;
    return loaded;
}

std::vector<TResourceHit> ShadowedResources(const TResourceSet& set) {
    const auto order = SourcesInGameOrder(set);
    // Each source's entries in the order met, the sources in the game's order.
    std::vector<std::vector<TResourceHit>> perSource(order.size());
    std::size_t at = 0;
    ForEachEntry(set, [&](TResourceHit hit) {
        while (order[at] != std::pair(hit.Kind, hit.Source)) ++at;
        perSource[at].push_back(std::move(hit));
    });

    std::vector<TResourceHit> shadowed;
    std::unordered_set<std::string> above; // every resource of the sources above the current one
    for (std::size_t s = order.size(); s-- > 0;) {
        std::unordered_set<std::string> own;
        // From the end: the last entry met of each resource is the one this source gives.
        for (auto hit = perSource[s].rbegin(); hit != perSource[s].rend(); ++hit) {
            std::string identity = Identity(hit->Entry);
            if (!own.insert(identity).second) continue;
            if (above.count(identity)) shadowed.push_back(*hit);
        }
        above.merge(own);
        perSource[s] = {};
    }
    std::sort(shadowed.begin(), shadowed.end(), [](const TResourceHit& a, const TResourceHit& b) {
        return std::tie(a.Kind, a.Source, a.Bif, a.Line) < std::tie(b.Kind, b.Source, b.Bif, b.Line);
    });
    return shadowed;
}

std::vector<TBifFault> FillSizes(const TResourceSet& set, std::vector<TResourceHit>& hits) {
    // A HAK's sizes are in its resource list, read with the archive.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        TResourceHit& hit = hits[i];
        if (hit.Kind == TSourceKind::Folder) {
            hit.Size = set.Folders[hit.Source].Sizes[hit.Line];
            continue;
        }
        if (hit.Kind == TSourceKind::Key) {
            order.push_back(i);
            continue;
        }
        const auto& resources = set.Haks[hit.Source].Bytes.Tables.VarResources;
        if (const std::uint32_t index = hit.Entry.ResId & kResIdIndexMask; index < resources.size())
            hit.Size = ResourceSize(resources[index]);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return hits[a].Source != hits[b].Source ? hits[a].Source < hits[b].Source : hits[a].Bif < hits[b].Bif;
    });
    const std::vector<TGameKey>& keys = set.Keys;

    std::vector<TBifFault> faults;
    for (std::size_t start = 0; start < order.size();) {
        const TResourceHit& first = hits[order[start]];
        std::size_t end = start;
        while (end < order.size() && hits[order[end]].Source == first.Source && hits[order[end]].Bif == first.Bif)
            ++end;

        const TGameKey& key = keys[first.Source];
        const std::string& stored = key.Key->Filenames[first.Bif].Filename;
        const TBifLocation location = LocateBif(platform::FolderOf(key.Path), stored);
        std::vector<TNWNVarResEntry> resources;
        bool opened = false;
        if (!location.Found) {
            faults.push_back(
                {first.Source, first.Bif, "the BIF is missing (looked for at " + Quoted(location.Path) + ")"});
        } else {
            try {
                platform::File file = platform::File::OpenRead(location.Path);
                const std::uint64_t fileSize = file.Size();
                const std::vector<std::uint8_t> bytes =
                    platform::ReadLeadingBytes(file, [&](std::span<const std::uint8_t> prefix) {
                        return bifcodec::BytesNeeded(prefix, fileSize, location.Path);
                    });
                TBifTables tables = bifcodec::Parse(bytes, fileSize, location.Path);
                if (const std::string mismatch = BifKeyMismatch(tables, *key.Key); !mismatch.empty())
                    throw EFormatError(CannotOpenAs("BIF", location.Path, mismatch));
                resources = std::move(tables.VarResources);
                opened = true;
            } catch (const EVellocarError& error) {
                faults.push_back({first.Source, first.Bif, error.what()});
            }
        }
        bool unmatched = false;
        for (std::size_t i = start; i < end; ++i) {
            TResourceHit& hit = hits[order[i]];
            const std::uint32_t index = hit.Entry.ResId & kResIdIndexMask;
            if (index < resources.size())
                hit.Size = ResourceSize(resources[index]);
            else
                unmatched = unmatched || opened;
        }
        if (unmatched) faults.push_back({first.Source, first.Bif, "the BIF lacks resources that the KEY lists for it"});
        start = end;
    }
    return faults;
}

} // namespace vellocar
