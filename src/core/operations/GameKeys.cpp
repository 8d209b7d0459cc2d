// Several KEYs read in the game's order: which entry the game loads, what later KEYs shadow.

#include "GameKeys.h"

#include "ArchiveNames.h"
#include "BifCodec.h"
#include "BifFiles.h"
#include "Errors.h"
#include "NamePattern.h"
#include "Names.h"
#include "Platform.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

namespace vellocar {

namespace {

// The Enhanced Edition's KEYs, lowest first; each is looked for in the language's folder first.
constexpr std::array<std::string_view, 4> kEnhancedKeys{"nwn_base", "nwn_base_loc", "nwn_retail", "nwn_retail_loc"};
// The classic game's KEYs beside its executable: the base game, its patch, then each
// expansion and its patch.
constexpr std::array<std::string_view, 8> kClassicKeys{"chitin", "patch",    "xp1", "xp1patch",
                                                       "xp2",    "xp2patch", "xp3", "xp3patch"};

// What makes two entries one resource: the one rule of ResourceKey.
std::string Identity(const TNWNKeyEntry& entry) { return ResourceKey(ResRefToString(entry.ResRef), entry.ResType); }

// Calls visit(hit) for every entry of the set in the game's order: KEY by KEY, BIF by BIF,
// each BIF's entries in list order.
template <typename Visit>
void ForEachEntry(const std::vector<TGameKey>& keys, Visit&& visit) {
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const auto& bifs = keys[k].Key->Filenames;
        for (std::size_t b = 0; b < bifs.size(); ++b)
            for (std::size_t l = 0; l < bifs[b].Resources.size(); ++l)
                visit(TResourceHit{k, b, l, bifs[b].Resources[l], false, std::nullopt});
    }
}

} // namespace

std::vector<std::string> GameKeyPaths(const std::string& gameFolder, const std::string& language) {
    std::vector<std::string> paths;
    const auto at = [&](const std::string& storedName) { return platform::ResolveStoredName(gameFolder, storedName); };
    if (platform::IsRegularFile(at("data\\nwn_base.key"))) {
        for (std::string_view stem : kEnhancedKeys) {
            const std::string name = std::string(stem) + ".key";
            const std::string localized = at("lang\\" + language + "\\data\\" + name);
            const std::string shared = at("data\\" + name);
            if (platform::IsRegularFile(localized))
                paths.push_back(localized);
            else if (platform::IsRegularFile(shared))
                paths.push_back(shared);
        }
        return paths;
    }
    for (std::string_view stem : kClassicKeys)
        if (const std::string path = at(std::string(stem) + ".key"); platform::IsRegularFile(path))
            paths.push_back(path);
    return paths;
}

std::vector<TResourceHit> FindResources(const std::vector<TGameKey>& keys, std::string_view pattern) {
    struct Found {
        std::string Line; // folded, the order of the groups
        std::size_t Order = 0; // in the game's order
        TResourceHit Hit;
    };
    std::vector<Found> found;
    // Matched on the names as the game reads them, letter by letter.
    const auto wanted = ArchivePattern(pattern, platform::kHostSpelling);
    if (!wanted) return {};
    ForEachEntry(keys, [&](TResourceHit hit) {
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

std::optional<TResourceHit> LoadedResource(const std::vector<TGameKey>& keys, std::string_view resRef,
                                           std::uint16_t type) {
    std::optional<TResourceHit> loaded;
    const std::string wanted = ResourceKey(resRef, type);
    // The last entry in the game's order wins.
    ForEachEntry(keys, [&](TResourceHit hit) {
        if (hit.Entry.ResType == type && Identity(hit.Entry) == wanted) loaded = hit;
    });
    if (loaded) loaded->Loaded = true;
    return loaded;
}

std::vector<TResourceHit> ShadowedResources(const std::vector<TGameKey>& keys) {
    std::vector<std::vector<TResourceHit>> perKey(keys.size());
    ForEachEntry(keys, [&](TResourceHit hit) { perKey[hit.Key].push_back(hit); });

    std::vector<TResourceHit> shadowed;
    std::unordered_set<std::string> later; // every resource of the KEYs after the current one
    for (std::size_t k = keys.size(); k-- > 0;) {
        std::unordered_set<std::string> own;
        const std::size_t first = shadowed.size();
        // From the end: the first entry met of each resource is the one this KEY gives.
        for (auto hit = perKey[k].rbegin(); hit != perKey[k].rend(); ++hit) {
            std::string identity = Identity(hit->Entry);
            if (!own.insert(identity).second) continue;
            if (later.count(identity)) shadowed.push_back(*hit);
        }
        std::reverse(shadowed.begin() + static_cast<std::ptrdiff_t>(first), shadowed.end());
        later.merge(own);
        perKey[k] = {};
    }
    std::stable_sort(shadowed.begin(), shadowed.end(),
                     [](const TResourceHit& a, const TResourceHit& b) { return a.Key < b.Key; });
    return shadowed;
}

std::vector<TBifFault> FillSizes(const std::vector<TGameKey>& keys, std::vector<TResourceHit>& hits) {
    std::vector<std::size_t> order(hits.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return hits[a].Key != hits[b].Key ? hits[a].Key < hits[b].Key : hits[a].Bif < hits[b].Bif;
    });

    std::vector<TBifFault> faults;
    for (std::size_t start = 0; start < order.size();) {
        const TResourceHit& first = hits[order[start]];
        std::size_t end = start;
        while (end < order.size() && hits[order[end]].Key == first.Key && hits[order[end]].Bif == first.Bif) ++end;

        const TGameKey& key = keys[first.Key];
        const std::string& stored = key.Key->Filenames[first.Bif].Filename;
        const TBifLocation location = LocateBif(platform::FolderOf(key.Path), stored);
        std::vector<TNWNVarResEntry> resources;
        bool opened = false;
        if (!location.Found) {
            faults.push_back(
                {first.Key, first.Bif, "the BIF is missing (looked for at " + Quoted(location.Path) + ")"});
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
                faults.push_back({first.Key, first.Bif, error.what()});
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
        if (unmatched) faults.push_back({first.Key, first.Bif, "the BIF lacks resources that the KEY lists for it"});
        start = end;
    }
    return faults;
}

} // namespace vellocar
