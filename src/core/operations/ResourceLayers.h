#pragma once
// The layers the game reads its resources from, lowest first (a later one wins):
//   1. its KEYs (GameKeyPaths: nwn_base, nwn_base_loc, nwn_retail, nwn_retail_loc, each from the
//      language's folder first);
//   2. the game's own ovr folder, then its language's (lang/<xx>/data/ovr);
//   3. the user's override folder;
//   4. a module's HAKs, the first in its Mod_HakList winning;
//   5. the development folder;
//   6. any archive or folder the user adds, in the order added.
// The game's ovr holds the install's own fixes to its BIFs and is loaded straight after the KEYs
// by the tools that rebuild the game's resource manager; the user's override is the user's
// replacement of whatever the install ships, so it stands above ovr. The override folder has
// always given way to a module's HAKs (a module's content is its own, an override the player's
// taste), so the HAKs stand above both folders. The development folder exists to beat
// everything while a builder tries out a change, so it stands above the HAKs.
// The module's own resources and the special order of DDS against TGA are not layers here.

#include "operations/GameKeys.h"
#include "operations/ResourceRead.h"

#include <string>
#include <vector>

namespace vellocar {

// The HAK names (without ".hak") of a module's module.ifo (a GFF): the Mod_HakList list of
// structs, each with its Mod_Hak CExoString, in the module's order (the first winning); an old
// module's single Mod_Hak field when it has no list. module is a .mod (or any archive of the ERF
// family) or a folder holding the module's files. Raises EVellocarError when there is no
// module.ifo or it does not read as a GFF.
std::vector<std::string> ModuleHakNames(const std::string& module);

// What a command asks for beyond the KEYs, each empty when not asked for.
struct TLayerRequest {
    std::string GameFolder; // the install: its ovr folder is read when it has one
    std::string Override; // the user's override folder
    std::string Module; // a .mod or a module's folder: its HAKs
    std::vector<std::string> HakFolders; // where a module's HAKs are looked for, in order
    std::vector<std::string> Haks; // archives given one by one, after the module's, in order
    std::string Development; // the development folder
    std::vector<std::string> AddedFolders; // above all else, in order
    std::string Language; // with GameFolder: lang/<Language>/data/ovr too, above the game's ovr
};

// Adds the layers of request to set (whose Keys the caller has read). Whatever cannot be read
// (a HAK missing from every folder or damaged, a folder that cannot be listed, a module without
// a readable module.ifo) is named in set.Problems, and the rest is read all the same.
void AddLayers(TResourceSet& set, const TLayerRequest& request);

// Where the bytes of a hit lie: the file (a BIF, an archive, a loose file) and the span in it.
struct TResourcePiece {
    std::string Path;
    TResourceSpan Span;
};

// The piece of one hit. A KEY's BIF is located and its tables read for every call: use
// TPieceFinder for many. Raises EVellocarError when the BIF is missing or lacks the resource.
TResourcePiece PieceOf(const TResourceSet& set, const TResourceHit& hit);

// The pieces of many hits, each BIF's tables read once and kept.
class TPieceFinder {
public:
    explicit TPieceFinder(const TResourceSet& set) : set_(set) {}
    TResourcePiece Find(const TResourceHit& hit);

private:
    const TResourceSet& set_;
    std::vector<std::vector<std::optional<TOpenedBif>>> bifs_; // [key][bif]
};

} // namespace vellocar
