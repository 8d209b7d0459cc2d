// The BIF model's operations: opening a BIF with its KEY and listing its resources, finding a
// resource's KEY entry, and the export and build entry points, which wrap Export.h and
// Build.h. The format itself is in BifCodec.h.

#include "BifFiles.h"

#include "ArchiveNames.h"
#include "BifCodec.h"
#include "Build.h"
#include "Errors.h"
#include "Export.h"
#include "Names.h"
#include "Platform.h"

#include <optional>
#include <utility>

namespace vellocar {

namespace {

std::string Fault(const std::string& path, const std::string& what) {
    return "Cannot open BIF \"" + path + "\": " + what;
}

// The KEY entry path stands for. A name that ends the path whole comes first: with
// "data\a.bif" listed before "olddata\a.bif", the path ".../olddata/a.bif" holds both as
// substrings, and taking the first would list one BIF's names over another's bytes. Failing
// that, the first name that occurs anywhere in the path. A BIF found by a case-insensitive
// lookup (as on Linux) may differ in letter case from its stored name, so when no name matches
// exactly, the same passes run again ignoring case.
std::optional<std::int32_t> FindBifIndex(const TNWNKeyFile& key, const std::string& path) {
    for (const bool ignoreCase : {false, true}) {
        for (std::size_t i = 0; i < key.Filenames.size(); ++i)
            if (PathEndsWithName(path, key.Filenames[i].Filename, ignoreCase)) return static_cast<std::int32_t>(i);
        for (std::size_t i = 0; i < key.Filenames.size(); ++i)
            if (PathContainsName(path, key.Filenames[i].Filename, ignoreCase)) return static_cast<std::int32_t>(i);
    }
    return std::nullopt;
}

// Where the Enhanced Edition's layouts put the BIF stored as name: the KEY's parent folder +
// name, then the KEY's own folder + the name's last part.
std::optional<std::string> InOtherLayouts(const std::string& keyFolder, const std::string& name) {
    std::string parent = platform::FolderPart(keyFolder);
    if (parent.empty() || parent == keyFolder) parent = keyFolder + platform::kPathSeparator + "..";
    const std::size_t lastSeparator = name.find_last_of("\\/");
    const std::string lastPart = lastSeparator == std::string::npos ? name : name.substr(lastSeparator + 1);
    for (const std::string& candidate :
         {platform::ResolveStoredName(parent, name), platform::ResolveStoredName(keyFolder, lastPart)}) {
        if (platform::PathExists(candidate)) return candidate;
    }
    return std::nullopt;
}

} // namespace

TBifLocation LocateBif(const std::string& keyFolder, const std::string& storedName) {
    const std::string classic = platform::ResolveStoredName(keyFolder, storedName);
    if (platform::PathExists(classic)) return {classic, true, true};
    if (const auto found = InOtherLayouts(keyFolder, storedName)) return {*found, true, false};

    // A name beyond ASCII is stored in Windows-1252, which this system may spell otherwise
    // (UTF-8 on Linux): the same places again under this system's spelling.
    const std::string spelled = FileNameOfArchiveName(storedName);
    if (spelled != storedName) {
        const std::string here = platform::ResolveStoredName(keyFolder, spelled);
        if (platform::PathExists(here)) return {here, true, false};
        if (const auto found = InOtherLayouts(keyFolder, spelled)) return {*found, true, false};
    }
    return {classic, false, true};
}

TNWNBifFile::TNWNBifFile(TResourceList& resourceList, TGauge& gauge) : resourceList_(resourceList), gauge_(gauge) {}

void TNWNBifFile::Open(const std::string& path, std::shared_ptr<const TNWNKeyFile> keyFile,
                       std::optional<std::int32_t> bifIndex) {
    std::int32_t index = 0;
    if (keyFile) {
        if (bifIndex) {
            if (*bifIndex < 0 || static_cast<std::size_t>(*bifIndex) >= keyFile->Filenames.size())
                throw EFormatError(Fault(path, "the KEY has no BIF entry " + std::to_string(*bifIndex)));
            index = *bifIndex;
        } else {
            const auto found = FindBifIndex(*keyFile, path);
            if (!found) throw EFormatError(Fault(path, "the KEY lists no BIF whose name occurs in this path"));
            index = *found;
        }
    }
    KeyFile = std::move(keyFile);
    BifIndex = index;
    Path = path;

    platform::File file = platform::File::OpenRead(path);
    const std::uint64_t fileSize = file.Size();
    std::vector<std::uint8_t> bytes;
    try {
        bytes = platform::ReadLeadingBytes(
            file, [&](std::span<const std::uint8_t> prefix) { return bifcodec::BytesNeeded(prefix, fileSize, path); });
        file.Close();
    } catch (const EReadError&) {
        throw EReadError(Fault(path, "the file could not be read in full (Stream read error)"));
    }
    bifcodec::TBifTables tables = bifcodec::Parse(bytes, fileSize, path);

    FileType = tables.FileType;
    FileVersion = tables.FileVersion;
    VarResCount = tables.VarResCount;
    FixedResCount = tables.FixedResCount;
    VarTableOffset = tables.VarTableOffset;
    HeaderExtra = std::move(tables.HeaderExtra);
    VarResources = std::move(tables.VarResources);
    FixedResources = std::move(tables.FixedResources);

    resourceList_.Clear();
    if (KeyFile)
        for (const TNWNKeyEntry& entry : KeyFile->Filenames[static_cast<std::size_t>(BifIndex)].Resources)
            resourceList_.Add(ShownName(ResourceLine(entry)));
}

bool TNWNBifFile::FindKeyEntry(std::int64_t index, TNWNKeyEntry& entry) const {
    if (!KeyFile || BifIndex < 0 || static_cast<std::size_t>(BifIndex) >= KeyFile->Filenames.size()) return false;
    if (index < 0 || index > static_cast<std::int64_t>(kResIdIndexMask)) return false;
    const std::uint32_t wanted =
        (static_cast<std::uint32_t>(BifIndex) << kResIdBifShift) + static_cast<std::uint32_t>(index);
    for (const TNWNKeyEntry& candidate : KeyFile->Filenames[static_cast<std::size_t>(BifIndex)].Resources) {
        if (candidate.ResId == wanted) {
            entry = candidate;
            return true;
        }
    }
    return false;
}

bool TNWNBifFile::ExtractAll(const std::string& target) {
    Skipped.clear();
    Skipped = ExportResources(*this, target, TExportScope::All, resourceList_, gauge_).Skipped;
    return true;
}

bool TNWNBifFile::ExtractSelected(const std::string& target) {
    Skipped.clear();
    TNullGauge noProgress;
    Skipped = ExportResources(*this, target, TExportScope::Selected, resourceList_, noProgress).Skipped;
    return true;
}

bool TNWNBifFile::BuildFrom(const std::string& SourceDir, const std::string& BifFileName,
                            const std::string& KeyFileName, bool Append) {
    BuildArchive(TBuildRequest(SourceDir, BifFileName, KeyFileName, Append), resourceList_, gauge_);
    return true;
}

} // namespace vellocar
