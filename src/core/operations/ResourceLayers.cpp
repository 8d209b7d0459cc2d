// The game's layers of resources gathered for a command, a module's HAK list read from its
// module.ifo, and where each resource's bytes lie.

#include "operations/ResourceLayers.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/BifFiles.h"
#include "formats/ErfFiles.h"
#include "formats/Gff.h"
#include "names/ArchiveNames.h"
#include "names/ResourceTypes.h"
#include "platform/Platform.h"

#include <algorithm>
#include <utility>

namespace vellocar {

namespace {

// A module.ifo is a few kilobytes; far past any the toolset writes, one is refused rather than
// read whole into memory.
constexpr std::uint32_t kMaxModuleIfoSize = 64u << 20;

const gff::TGffField* FieldOf(const gff::TGff& gff, const gff::TGffStruct& s, std::string_view label,
                              gff::TGffType type) {
    for (const gff::TGffField& field : gff.FieldsOf(s))
        if (field.Type == type && gff.LabelOf(field) == label) return &field;
    return nullptr;
}

std::vector<std::string> HakNamesOf(const gff::TGff& gff) {
    std::vector<std::string> names;
    const gff::TGffStruct& root = gff.Root();
    if (const gff::TGffField* list = FieldOf(gff, root, "Mod_HakList", gff::TGffType::List)) {
        for (const std::uint32_t item : gff.ItemsOf(gff.Lists.at(list->Ref)))
            if (const gff::TGffField* hak = FieldOf(gff, gff.Structs.at(item), "Mod_Hak", gff::TGffType::ExoString))
                names.push_back(gff.Data.at(hak->Ref));
        return names;
    }
    // Modules saved before the list had room for one HAK only.
    if (const gff::TGffField* hak = FieldOf(gff, root, "Mod_Hak", gff::TGffType::ExoString))
        if (!gff.Data.at(hak->Ref).empty()) names.push_back(gff.Data.at(hak->Ref));
    return names;
}

std::vector<std::uint8_t> ReadBounded(platform::File& file, const TResourceSpan& span, const std::string& name) {
    if (ReadSize(span) > kMaxModuleIfoSize)
        throw EFormatError(name + " holds " + WithThousands(ReadSize(span)) + " bytes, more than any module.ifo");
    CheckResourceSpan(file, span, name);
    return ReadResourceBytes(file, span, name);
}

std::vector<std::uint8_t> ModuleIfoBytes(const std::string& module) {
    const std::string ifo = "module.ifo";
    if (platform::IsFolder(module)) {
        const std::string path = platform::ResolveStoredName(module, ifo);
        const auto facts = platform::LookAt(path);
        if (!facts || facts->What != platform::EntryFacts::Kind::Regular)
            throw EFOpenError("the module folder " + QuotedPath(module) + " holds no module.ifo");
        platform::File file = platform::File::OpenRead(path);
        const std::uint64_t size = file.Size();
        if (size > kMaxModuleIfoSize)
            throw EFormatError(QuotedPath(path) + " holds " + WithThousands(size) + " bytes, more than any module.ifo");
        return ReadBounded(file, TResourceSpan{0, static_cast<std::uint32_t>(size), false, 0, 0}, path);
    }
    const TResourceContainer mod = ErfContainer(module);
    const std::vector<TNWNKeyEntry>& entries = mod.Entries();
    const std::string wanted = ResourceKey("module", static_cast<std::uint16_t>(ExtToResType(".ifo")));
    for (std::size_t line = 0; line < entries.size(); ++line) {
        if (ResourceKey(ResRefToString(entries[line].ResRef), entries[line].ResType) != wanted) continue;
        const TListedResource listed = ListedResource(entries, static_cast<std::uint32_t>(mod.Bytes.BifIndex),
                                                      mod.Bytes.Tables.VarResources, line);
        platform::File file = platform::File::OpenRead(mod.Bytes.Path);
        return ReadBounded(file, listed.Span, QuotedPath(module) + ": module.ifo");
    }
    throw EFormatError("the module " + QuotedPath(module) + " holds no module.ifo");
}

// The first of folders holding name.hak as a regular file (letter case aside where the system
// tells it apart), or nothing.
std::optional<std::string> FindHak(const std::vector<std::string>& folders, const std::string& name) {
    for (const std::string& folder : folders) {
        const std::string path = platform::ResolveStoredName(folder, name + ".hak");
        const auto facts = platform::LookAt(path);
        if (facts && facts->What == platform::EntryFacts::Kind::Regular) return path;
    }
    return std::nullopt;
}

void AddHak(TResourceSet& set, const std::string& path) {
    try {
        set.Haks.push_back(ErfContainer(path));
    } catch (const EVellocarError& error) {
        set.Problems.push_back(std::string("the HAK is not read: ") + error.what());
    }
}

} // namespace

std::vector<std::string> ModuleHakNames(const std::string& module) {
    const std::vector<std::uint8_t> bytes = ModuleIfoBytes(module);
    try {
        return HakNamesOf(gff::ReadGff(bytes));
    } catch (const EVellocarError& error) {
        throw EFormatError("the module.ifo of " + QuotedPath(module) + " does not read: " + error.what());
    } catch (const std::out_of_range&) {
        throw EFormatError("the module.ifo of " + QuotedPath(module) + " refers past its own tables");
    }
}

void AddLayers(TResourceSet& set, const TLayerRequest& request) {
    if (!request.GameFolder.empty()) {
        const std::string ovr = platform::JoinPath(request.GameFolder, "ovr");
        // An install without an ovr folder is no problem: not every release ships one.
        if (platform::PathExists(ovr))
            set.Folders.push_back(ReadFolderLayer(ovr, "ovr", TFolderPlace::BelowHaks, set.Problems));
        if (!request.Language.empty()) {
            const std::string localized =
                platform::ResolveStoredName(request.GameFolder, "lang\\" + request.Language + "\\data\\ovr");
            if (platform::PathExists(localized))
                set.Folders.push_back(ReadFolderLayer(localized, "ovr", TFolderPlace::BelowHaks, set.Problems));
        }
    }
    if (!request.Override.empty())
        set.Folders.push_back(ReadFolderLayer(request.Override, "override", TFolderPlace::BelowHaks, set.Problems));
    if (!request.Module.empty()) {
        try {
            for (const std::string& name : ModuleHakNames(request.Module)) {
                // A name from the file: one that would lead out of the HAK folders is refused.
                if (name.empty() || name == "." || name == ".." || std::any_of(name.begin(), name.end(), [](char c) {
                        return c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20;
                    })) {
                    set.Problems.push_back("the module lists " + Quoted(name) + ", which is no HAK's name");
                    continue;
                }
                if (const auto path = FindHak(request.HakFolders, name))
                    AddHak(set, *path);
                else
                    set.Problems.push_back("the module's HAK " + Quoted(name) + " is in none of the HAK folders");
            }
        } catch (const EVellocarError& error) {
            set.Problems.push_back(std::string("the module's HAKs are not read: ") + error.what());
        }
    }
    for (const std::string& path : request.Haks) AddHak(set, path);
    if (!request.Development.empty())
        set.Folders.push_back(
            ReadFolderLayer(request.Development, "development", TFolderPlace::AboveHaks, set.Problems));
    for (const std::string& folder : request.AddedFolders)
        set.Folders.push_back(ReadFolderLayer(folder, "folder", TFolderPlace::AboveHaks, set.Problems));
}

TResourcePiece PieceOf(const TResourceSet& set, const TResourceHit& hit) {
    TPieceFinder finder(set);
    return finder.Find(hit);
}

TResourcePiece TPieceFinder::Find(const TResourceHit& hit) {
    if (hit.Kind == TSourceKind::Folder) {
        const TFolderLayer& folder = set_.Folders.at(hit.Source);
        return {FolderFilePath(folder, hit.Line), TResourceSpan{0, folder.Sizes.at(hit.Line), false, 0, 0}};
    }
    if (hit.Kind == TSourceKind::Hak) {
        const TResourceContainer& hak = set_.Haks.at(hit.Source);
        return {hak.Bytes.Path,
                ListedResource(hak.Entries(), static_cast<std::uint32_t>(hak.Bytes.BifIndex),
                               hak.Bytes.Tables.VarResources, hit.Line)
                    .Span};
    }
    const TGameKey& key = set_.Keys.at(hit.Source);
    if (bifs_.size() < set_.Keys.size()) bifs_.resize(set_.Keys.size());
    auto& ofKey = bifs_[hit.Source];
    if (ofKey.size() < key.Key->Filenames.size()) ofKey.resize(key.Key->Filenames.size());
    std::optional<TOpenedBif>& bif = ofKey.at(hit.Bif);
    const std::string& stored = key.Key->Filenames[hit.Bif].Filename;
    if (!bif) {
        const TBifLocation location = LocateBif(platform::FolderOf(key.Path), stored);
        if (!location.Found)
            throw EFOpenError("the BIF " + Quoted(stored) + " is missing (looked for at " + Quoted(location.Path) +
                              ")");
        bif = OpenBif(location.Path, key.Key.get(), static_cast<std::int32_t>(hit.Bif));
    }
    // Through the KEY's own entry at the hit's line: a hit made from an index row names no ResId.
    const std::uint32_t index = key.Key->Filenames[hit.Bif].Resources.at(hit.Line).ResId & kResIdIndexMask;
    if (index >= bif->Tables.VarResources.size())
        throw EFormatError("the BIF " + Quoted(stored) + " holds no resource at index " + std::to_string(index) +
                           ", where its KEY lists one");
    return {bif->Path, SpanOf(bif->Tables.VarResources[index])};
}

} // namespace vellocar
