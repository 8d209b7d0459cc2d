// Finding a KEY's BIF and opening it: the bytes come in through the platform layer, the format
// itself is BifCodec's.

#include "formats/BifFiles.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/BifCodec.h"
#include "names/ArchiveNames.h"
#include "names/Names.h"
#include "platform/Platform.h"

#include <optional>
#include <utility>

namespace vellocar {

namespace {

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
    const std::string lastPart(LastPartOfStoredName(name));
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
    const std::string spelled = platform::FileNameOf({storedName});
    if (spelled != storedName) {
        const std::string here = platform::ResolveStoredName(keyFolder, spelled);
        if (platform::PathExists(here)) return {here, true, false};
        if (const auto found = InOtherLayouts(keyFolder, spelled)) return {*found, true, false};
    }
    return {classic, false, true};
}

std::int32_t BifEntryOf(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex) {
    if (!key) return 0;
    if (bifIndex) {
        if (*bifIndex < 0 || static_cast<std::size_t>(*bifIndex) >= key->Filenames.size())
            throw EFormatError(CannotOpenAs("BIF", path, "the KEY has no BIF entry " + std::to_string(*bifIndex)));
        return *bifIndex;
    }
    const auto found = FindBifIndex(*key, path);
    if (!found) throw EFormatError(CannotOpenAs("BIF", path, "the KEY lists no BIF whose name occurs in this path"));
    return *found;
}

TOpenedBif OpenBif(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex) {
    TOpenedBif opened;
    opened.Path = path;
    opened.BifIndex = BifEntryOf(path, key, bifIndex);
    opened.Tables = ReadBifTables(path);
    if (key)
        if (const std::string mismatch = BifKeyMismatch(opened.Tables, *key); !mismatch.empty())
            throw EFormatError(CannotOpenAs("BIF", path, mismatch));
    return opened;
}

std::string BifKeyMismatch(const TBifTables& tables, const TNWNKeyFile& key) {
    const auto text = [](const auto& chars) { return Quoted(Printable(std::string_view(chars.data(), chars.size()))); };
    if (tables.FileVersion != key.FileVersion)
        return "it is of version " + text(tables.FileVersion) + ", its KEY of version " + text(key.FileVersion) +
            ": a KEY and its BIFs are written together, in one version";
    if (key.IsE1() && tables.Oid != key.Oid())
        return "its object ID " + text(tables.Oid) + " is not its KEY's (" + text(key.Oid()) +
            "): it is a BIF of another build of the KEY";
    return {};
}

TBifTables ReadBifTables(const std::string& path) {
    std::uint64_t fileSize = 0;
    const std::vector<std::uint8_t> bytes = platform::ReadFormatBytes(
        path, "BIF", [&](auto prefix, std::uint64_t size) { return bifcodec::BytesNeeded(prefix, size, path); },
        fileSize);
    return bifcodec::Parse(bytes, fileSize, path);
}

std::vector<std::string> ResourceLines(const TNWNKeyFile& key, std::size_t bif) {
    std::vector<std::string> lines;
    if (bif >= key.Filenames.size()) return lines;
    lines.reserve(key.Filenames[bif].Resources.size());
    for (const TNWNKeyEntry& entry : key.Filenames[bif].Resources) AppendShownLine(lines.emplace_back(), entry);
    return lines;
}

} // namespace vellocar
