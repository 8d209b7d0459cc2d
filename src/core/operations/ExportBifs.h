#pragma once
// Exporting many BIFs in one go: every BIF of a KEY, or of the game's KEYs in order, each into
// a folder of its own below the target, or all into the target itself; optionally only the
// resources whose names match patterns. Each BIF goes through the single export (Export.h)
// with all of its rules; across BIFs, no file is written twice and none over a KEY or BIF of
// the set, and a BIF that is missing or damaged is reported while the others are exported.

#include "base/Progress.h"
#include "operations/Export.h"
#include "operations/GameKeys.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vellocar {

// A BIF of the set: a KEY's index in it, and the BIF's index in that KEY's file table.
struct TBifRef {
    std::size_t Key = 0;
    std::size_t Bif = 0;
};

struct TExportBifsRequest {
    std::vector<TBifRef> Bifs; // exported in this order
    std::string Target; // the folder, ending with its separator
    // All into Target itself, instead of Target/<BifFolderName>/. With several KEYs, a resource
    // that a later KEY holds too is left to that KEY's (the one the game loads).
    bool Flat = false;
    std::vector<std::string> Patterns; // shell-style, on name.ext; none for every resource
    // Textures as PNG pictures, named "name.png", or "name.ext.png" where another output in the
    // same folder, from any BIF of the set, would take that name.
    bool TexturesAsPng = false;
    // Asked, BIF by BIF, before an export would write more than the BIF holds (Export.h).
    TAllowOverlaps AllowOverlaps;
    // GFF resources as JSON, named "name.ext.json".
    bool GffAsJson = false;
};

// Something that was not exported, and why.
struct TBifSkip {
    TBifRef Bif;
    std::string Name; // the resource as the list shows it; "" for the whole BIF
    std::string Reason;
};

struct TExportBifsReport {
    std::size_t Bifs = 0; // BIFs that were read
    std::size_t Written = 0;
    std::size_t Pngs = 0; // of those written, the textures written as PNG
    std::size_t Jsons = 0; // of those written, the GFF resources written as JSON
    std::vector<TBifSkip> AsBytes; // of those written, textures that did not decode, as their own bytes
    std::size_t Shadowed = 0; // left to a later KEY's resource (Flat with several KEYs)
    std::vector<TBifSkip> Skipped; // BIF by BIF, in the order asked
    std::vector<TBifSkip> Overlapping; // resources whose bytes overlap another's, written or not
    std::size_t Stopped = 0; // BIFs whose export stopped at their own size (the rest in Skipped)
};

// The folder of a BIF in a tree export: its stored name's last part without the extension
// ("data\2da.bif" -> "2da").
std::string BifFolderName(const std::string& storedName);

// Exports the BIFs of request, telling progress over the resources of all of them. A BIF that is
// missing, does not open, or ends while a resource is copied is reported, and the others go
// on; a file that cannot be created or written raises (as the single export does: the
// partial file removed, the ones before it kept). Only one BIF's tables are held at a time.
TExportBifsReport ExportBifs(const std::vector<TGameKey>& keys, const TExportBifsRequest& request,
                             const TProgress& progress = {});

} // namespace vellocar
