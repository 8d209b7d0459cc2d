#pragma once
// Several KEYs read together, as the game reads its own: in order, a resource in a later KEY
// replacing the same resource in an earlier one. Two entries are the same resource when their
// ResRefs are equal without regard to letter case and their types are equal (ResourceKey). Within one KEY a
// later entry replaces an earlier one too (BIF by BIF in its file table, each BIF's entries in
// list order), as the game's resource manager fills its lookup table.
//
// A module's HAKs (any archive of the ERF family) stand above all of the KEYs: a resource in a HAK
// replaces the same resource in every KEY, and of the HAKs the one listed first in the module
// wins. Within one archive its first entry of a resource is the one, as cat reads a HAK.
// Which KEYs an install has, and their order, is the game layer's to say (GameInstall.h).
//
// Between the KEYs and the HAKs, and above the HAKs, stand folders of loose files (FolderLayer.h):
// the whole order, lowest first, is in ResourceLayers.h.

#include "formats/KeyFiles.h"
#include "operations/Containers.h"
#include "operations/FolderLayer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// A KEY of the set, with the path it was read from (its BIFs are looked for from there).
struct TGameKey {
    std::string Path;
    std::shared_ptr<const TNWNKeyFile> Key;
};

// What the game reads resources from, as far as a command names it: KEYs, lowest first, and
// above them a module's HAKs (ErfContainer), in the module's order, the first winning.
// Folders stand below the HAKs or above them by their Place, each in its order, a later one
// winning. Problems: what could not be read while the set was gathered (a HAK that is missing or
// damaged, a folder that cannot be listed), the rest being read all the same.
struct TResourceSet {
    std::vector<TGameKey> Keys;
    std::vector<TResourceContainer> Haks;
    std::vector<TFolderLayer> Folders;
    std::vector<std::string> Problems;
};

enum class TSourceKind : std::uint8_t { Key, Hak, Folder };

// One entry of the set: a KEY's entry, or one of a HAK's key list.
struct TResourceHit {
    TSourceKind Kind = TSourceKind::Key;
    std::size_t Source = 0; // index into the set's Keys, its Haks or its Folders
    std::size_t Bif = 0; // index into that KEY's file table; 0 in a HAK (its one list)
    std::size_t Line = 0; // position in that BIF's (HAK's, folder's) list of entries
    TNWNKeyEntry Entry;
    bool Loaded = false; // the entry the game loads for this resource
    std::optional<std::uint32_t> Size; // from the BIF, once FillSizes found it
};

// Calls visit(hit) for every entry of the set in the game's order, so that of one resource the
// entry met last is the one loaded: KEY by KEY, BIF by BIF, each BIF's entries in list order;
// the folders below the HAKs; the HAKs from the last listed to the first; the folders above
// them. A HAK's or a folder's entries are met from its last to its first (its first one wins).
void ForEachResourceEntry(const TResourceSet& set, const std::function<void(const TResourceHit&)>& visit);

// Every entry whose line (name.ext) matches pattern (as typed: ArchivePattern), grouped by resource in the order of their
// lines without regard to case (then by type): in each group the entry that the game loads
// first, then the ones it shadows, from the latest to the earliest.
std::vector<TResourceHit> FindResources(const TResourceSet& set, std::string_view pattern);

// The entry that the game loads for resRef (bytes as the archive holds them, letter case
// ignored) and type; nothing when no KEY or HAK of the set holds it.
std::optional<TResourceHit> LoadedResource(const TResourceSet& set, std::string_view resRef, std::uint16_t type);

// For each KEY and HAK of the set, the resources of it (one entry each, the one it would give
// alone) that a source above it holds too: the KEYs first, then the HAKs, each in its own order.
std::vector<TResourceHit> ShadowedResources(const TResourceSet& set);

// A BIF whose sizes could not be read: it is missing or does not open.
struct TBifFault {
    std::size_t Key = 0;
    std::size_t Bif = 0;
    std::string Message;
};

// Fills each hit's Size: a HAK's from its resource list, a KEY's from its BIF's variable table,
// reading each BIF's tables once and keeping none of them afterwards. A hit whose BIF is missing
// or does not open, or has no resource at its index, keeps no size; each such BIF is reported
// once (Key being the index into the set's Keys).
std::vector<TBifFault> FillSizes(const TResourceSet& set, std::vector<TResourceHit>& hits);

} // namespace vellocar
