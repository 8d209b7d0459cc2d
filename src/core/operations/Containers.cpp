// The two kinds of resource container in one shape.

#include "operations/Containers.h"

#include "base/Errors.h"
#include "names/ArchiveNames.h"
#include "platform/Platform.h"

#include <utility>

namespace vellocar {

const std::vector<TNWNKeyEntry>& TResourceContainer::Entries() const {
    return Names->Filenames[static_cast<std::size_t>(Bytes.BifIndex)].Resources;
}

TResourceContainer BifContainer(std::shared_ptr<const TNWNKeyFile> key, TOpenedBif bif, std::string label) {
    TResourceContainer container;
    container.Kind = "BIF";
    container.Label = std::move(label);
    container.Bytes = std::move(bif);
    container.Names = std::move(key);
    return container;
}

TNWNVarResEntry ErfVarEntry(const TErfFile& erf, std::uint32_t i) {
    const TErfResourceEntry& r = erf.Resources[i];
    return {i, r.Offset, r.Size, erf.Keys[i].ResType, r.CompressionType, r.UncompressedSize};
}

TResourceContainer ErfContainer(const std::string& path) {
    TErfFile erf = ReadErfTables(path);
    TResourceContainer container;
    container.Kind = erfcodec::KindOf(erf.FileType);
    container.Label = path;
    // A KEY's ResId holds the place in 20 bits: past that, places would fold onto others.
    if (erf.Keys.size() > kMaxResourcesPerBif)
        throw EFormatError(CannotOpenAs(container.Kind, path,
                                        "it holds " + WithThousands(erf.Keys.size()) + " resources, more than the " +
                                            WithThousands(kMaxResourcesPerBif) + " Vellocar lists of one archive"));
    auto names = std::make_shared<TNWNKeyFile>();
    TNWNFilenameEntry& entries = names->Filenames.emplace_back();
    entries.Filename = platform::FileNamePart(path);
    entries.Resources.reserve(erf.Keys.size());
    container.Bytes.Path = path;
    std::vector<TNWNVarResEntry>& table = container.Bytes.Tables.VarResources;
    table.reserve(erf.Keys.size());
    for (std::uint32_t i = 0; i < erf.Keys.size(); ++i) {
        entries.Resources.push_back(erfcodec::KeyEntryOf(erf.Keys[i], i));
        table.push_back(ErfVarEntry(erf, i));
    }
    erf.Keys = {};
    erf.Resources = {};
    container.Names = std::move(names);
    container.Erf = std::move(erf);
    return container;
}

std::vector<std::string> ContainerLines(const TResourceContainer& container) {
    return ResourceLines(*container.Names, static_cast<std::size_t>(container.Bytes.BifIndex));
}

TExportReport ExportContainer(const TResourceContainer& container, const TExportRequest& request) {
    return ExportResources(container.Bytes, container.Names.get(), request);
}

} // namespace vellocar
