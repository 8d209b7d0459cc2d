#pragma once
// Several KEYs read together, as the game reads its own: in order, a resource in a later KEY
// replacing the same resource in an earlier one. Two entries are the same resource when their
// ResRefs are equal without regard to letter case and their types are equal (ResourceKey). Within one KEY a
// later entry replaces an earlier one too (BIF by BIF in its file table, each BIF's entries in
// list order), as the game's resource manager fills its lookup table.
//
// Where an install keeps its KEYs, in the game's order (lowest first, the last one wins):
//   Enhanced Edition  data/nwn_base.key, nwn_base_loc.key, nwn_retail.key, nwn_retail_loc.key,
//                     each looked for in lang/<language>/data first, then in data
//   classic (1.69)    chitin.key, patch.key, xp1.key, xp1patch.key, xp2.key, xp2patch.key,
//                     xp3.key, xp3patch.key in the game folder itself
// A KEY that an install does not have is passed over.

#include "KeyFiles.h"

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

// The KEY files of the game installed in gameFolder that exist, in the game's order (see
// above); language is the folder name below lang/ ("en", "de", ...). Empty when none does.
std::vector<std::string> GameKeyPaths(const std::string& gameFolder, const std::string& language);

// One KEY entry of the set.
struct TResourceHit {
    std::size_t Key = 0; // index into the set
    std::size_t Bif = 0; // index into that KEY's file table
    std::size_t Line = 0; // position in that BIF's list of entries
    TNWNKeyEntry Entry;
    bool Loaded = false; // the entry the game loads for this resource
    std::optional<std::uint32_t> Size; // from the BIF, once FillSizes found it
};

// Every entry whose line (name.ext) matches pattern (as typed: ArchivePattern), grouped by resource in the order of their
// lines without regard to case (then by type): in each group the entry that the game loads
// first, then the ones it shadows, from the latest to the earliest.
std::vector<TResourceHit> FindResources(const std::vector<TGameKey>& keys, std::string_view pattern);

// The entry that the game loads for resRef (bytes as the archive holds them, letter case
// ignored) and type; nothing when no KEY
// of the set holds it.
std::optional<TResourceHit> LoadedResource(const std::vector<TGameKey>& keys, std::string_view resRef,
                                           std::uint16_t type);

// For each KEY of the set, the resources of it (one entry each, the one the KEY itself would
// give) that a later KEY holds too, in the KEY's order.
std::vector<TResourceHit> ShadowedResources(const std::vector<TGameKey>& keys);

// A BIF whose sizes could not be read: it is missing or does not open.
struct TBifFault {
    std::size_t Key = 0;
    std::size_t Bif = 0;
    std::string Message;
};

// Fills each hit's Size from its BIF's variable table, reading each BIF's tables once and
// keeping none of them afterwards. A hit whose BIF is missing or does not open, or has no
// resource at its index, keeps no size; each such BIF is reported once.
std::vector<TBifFault> FillSizes(const std::vector<TGameKey>& keys, std::vector<TResourceHit>& hits);

} // namespace vellocar
