#pragma once
// A container of named resources, as list, extract, cat and verify take one: the file that holds
// the resources' bytes, where each lies in it, and the entries that name them. A BIF read with
// its KEY is one kind; an archive of the ERF family (HAK, MOD, ERF, NWM, SAV) is the other, its
// key list the entries and its resource list where they lie. Both are held in the shapes of the
// first (a KEY's entries, a BIF's variable table), so that the listing, the export with all its
// rules and the reading of one resource (unpacked when an E1.0 archive compresses it, as an E1
// BIF's) serve both unchanged.

#include "formats/BifFiles.h"
#include "formats/ErfFiles.h"
#include "operations/Export.h"
#include "operations/ResourceRead.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

struct TResourceContainer {
    std::string Kind; // "BIF", or the archive's type: "HAK", "MOD", ...
    std::string Label; // how a message names it: the BIF's stored name, the archive's path
    TOpenedBif Bytes; // the file (Path) and where each resource lies in it (Tables.VarResources)
    // Names->Filenames[Bytes.BifIndex].Resources: the entries in list order, each ResId leading to
    // its resource. An archive's view has no KEY path: nothing to recover, nothing else to spare.
    std::shared_ptr<const TNWNKeyFile> Names;
    // An archive's header and localized strings (its lists are in the two above); none for a BIF.
    std::optional<TErfFile> Erf;

    const std::vector<TNWNKeyEntry>& Entries() const;
};

// A BIF opened with its KEY.
TResourceContainer BifContainer(std::shared_ptr<const TNWNKeyFile> key, TOpenedBif bif, std::string label);

// Resource i of an archive (its key entry and resource entry both read) as a BIF's variable entry:
// an E1.0 archive's resources are stored as an E1 BIF's are, and read by the same code.
TNWNVarResEntry ErfVarEntry(const TErfFile& erf, std::uint32_t i);

// The archive of the ERF family at path, its tables read (ReadErfTables). One that holds more
// entries than one container lists (kMaxResourcesPerBif) is refused with EFormatError.
TResourceContainer ErfContainer(const std::string& path);

// The lines a list shows, one per entry (ResourceLines).
std::vector<std::string> ContainerLines(const TResourceContainer& container);

// The export of the container's resources (ExportResources), request's chosen positions being
// entries.
TExportReport ExportContainer(const TResourceContainer& container, const TExportRequest& request);

} // namespace vellocar
