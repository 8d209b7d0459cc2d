#pragma once
// The report of the resources that more than one layer holds (ResourceIndex.h): for each, the
// layer whose copy the game loads and whether the copies' bytes differ (by SHA-1), then each copy,
// the loaded one first. As tab-separated lines or as one JSON document, the same whether the
// command line prints it or the browser saves it.

#include "base/Json.h"
#include "base/Progress.h"
#include "operations/ResourceIndex.h"
#include "operations/ResourceLayers.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vellocar {

// A line of the text report as its fields, in this system's spelling of names and paths; the
// line is the fields joined by tabs. (A terminal escapes each field on its own, the tabs
// between them staying tabs.)
using TReportFields = std::function<void(const std::vector<std::string>& fields)>;

struct TConflictsReportRequest {
    // The rows to report, in this order (a browser's filtered view); none for index.Conflicts().
    // A row of one copy has no rival and is passed over.
    const std::vector<std::uint32_t>* Rows = nullptr;
    // Told before each row: the rows done and the rows in all. Hashing every copy of a whole
    // game's conflicts takes a while.
    TProgress Progress;
};

// How the report names a layer: its role and its path ("override /home/me/override").
std::string ConflictLayerText(const TIndexLayer& layer);

// The fields of a report line joined by tabs.
std::string ReportLine(const std::vector<std::string>& fields);

// The report as lines: per resource "name.ext, the loaded layer, same|differ", then per copy
// "(empty), layer, size or -, SHA-1 or -, loaded|shadowed". Each copy that cannot be read is
// added to problems ("name.ext in <layer>: why"); the index's own problems are not (the caller
// has them in index.Problems()).
void WriteConflictsText(const TResourceIndex& index, TPieceFinder& finder, const TReportFields& line,
                        std::vector<std::string>& problems, const TConflictsReportRequest& request = {});

// The report as one JSON document: {"layers": [{role, path}], "conflicts": [{line, type,
// loaded_layer, differ, copies: [{layer, size, sha1, loaded}]}], "problems": [the index's]}.
// Names and paths as UTF-8 (names decoded as Windows-1252, paths that are not UTF-8 too). The
// document is written whole; the caller finishes the writer. Copies that cannot be read go to
// problems, as for the text.
void WriteConflictsJson(const TResourceIndex& index, TPieceFinder& finder, TJsonWriter& json,
                        std::vector<std::string>& problems, const TConflictsReportRequest& request = {});

} // namespace vellocar
