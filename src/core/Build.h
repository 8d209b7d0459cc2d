#pragma once
// Building a BIF from a folder's files and registering it in a KEY, as one operation that
// reports what it did. Failures raise: EBuildRefused when the build was refused before the
// disk was touched, the file and format errors otherwise (every existing file is then as it
// was, or the message says where it is).

#include "Progress.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vellocar {

struct TBuildRequest {
    std::string SourceDir;   // ends with the path separator; a file's path is SourceDir + name
    std::string BifPath;
    std::string KeyPath;
    bool Append = false;     // keep the other contents of an existing KEY
};

struct TBuildReport {
    std::string EntryName;          // how the KEY names the BIF: "data\<file name>"
    std::uint32_t BifIndex = 0;     // the entry's index in the KEY
    bool ReusedEntry = false;       // an existing entry was rebuilt, none added
    std::size_t Files = 0;
    std::uint64_t ContentBytes = 0; // the files' bytes, the BIF's tables aside
    std::uint64_t BifSize = 0;
    std::size_t KeyBifs = 0;        // the KEY as saved: its BIF entries and its resources
    std::size_t KeyResources = 0;
};

// Packs the files that list names (in list order, each SourceDir + name) into a new BIF at
// BifPath and registers it as "data\<file name>" in the KEY at KeyPath. Replaced files are
// kept as <name>.bak. Everything is checked before the disk is touched; the new files are
// written beside their targets and moved into place only when both are complete.
TBuildReport BuildArchive(const TBuildRequest& request, const TResourceList& list, TGauge& gauge);

} // namespace vellocar
