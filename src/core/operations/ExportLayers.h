#pragma once
// Exporting chosen resources of a set of layers (ResourceLayers.h) into one folder: the
// browser's selection, `extract` over the game's layers. Each resource is read from the copy
// asked for (a KEY's BIF, a HAK, a loose file of a folder) and written under every rule of a
// BIF's export (Export.h): names that cannot be files there skipped, no two outputs one file in
// the target folder, files created afresh through the folder held open, textures as PNG and GFF
// as JSON when asked.

#include "base/Progress.h"
#include "operations/Export.h"
#include "operations/GameKeys.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vellocar {

struct TLayerExportRequest {
    std::string Target; // the folder, ending with its separator
    bool TexturesAsPng = false;
    bool GffAsJson = false; // resources with a JSON form (GFF, talk tables, soundsets) as JSON
    TAllowOverlaps AllowOverlaps;
};

struct TLayerExportReport {
    std::size_t Written = 0;
    std::size_t Pngs = 0; // of those written, the textures written as PNG
    std::size_t Jsons = 0; // of those written, written as JSON
    // Each names the resource ("name.ext") and, in Reason, the layer and why.
    std::vector<TSkippedResource> AsBytes; // textures (or GFF) that did not convert, written as their bytes
    std::vector<TSkippedResource> Skipped;
    std::vector<TSkippedResource> Overlapping;
};

// Writes the copies hits name (TResourceIndex::HitOf), in that order, telling progress over all
// of them. A BIF or archive that cannot be read is reported for its resources and the others go
// on; a file that cannot be created or written raises (the partial file removed, those before it
// kept).
TLayerExportReport ExportHits(const TResourceSet& set, const std::vector<TResourceHit>& hits,
                              const TLayerExportRequest& request, const TProgress& progress = {});

} // namespace vellocar
