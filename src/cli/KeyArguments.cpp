// The KEYs and BIFs of a command line, read and chosen, with a complaint for each that cannot
// be.

#include "KeyArguments.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/ErfFiles.h"
#include "GameInstall.h"
#include "names/ArchiveNames.h"
#include "names/Names.h"
#include "operations/BuildGuard.h"
#include "operations/KeyReading.h"
#include "Output.h"
#include "platform/Platform.h"

#include <utility>

namespace vellocar::cli {

namespace {

// "0 and 3", "0, 3 and 5".
std::string Enumerated(const std::vector<std::size_t>& indexes) {
    std::vector<std::string> numbers;
    for (const std::size_t index : indexes) numbers.push_back(std::to_string(index));
    return Enumeration(numbers);
}

// The index that wanted spells in decimal, if it is one below count.
std::optional<std::size_t> IndexBelow(const std::string& wanted, std::size_t count) {
    if (!AllAsciiDigits(wanted) || wanted.size() > 9) return std::nullopt;
    std::size_t index = 0;
    for (char c : wanted) index = index * 10 + static_cast<std::size_t>(c - '0');
    if (index < count) return index;
    return std::nullopt;
}

// A BIF's name as the loose match compares it: its key (StoredNameKey: "\\" for "/", letters
// folded), a leading "data\\" dropped.
std::string LooseKey(std::string_view name) {
    std::string key = StoredNameKey(name);
    constexpr std::string_view kData = "data\\";
    if (key.size() > kData.size() && key.compare(0, kData.size(), kData) == 0) key.erase(0, kData.size());
    return key;
}

// Whether wanted, as the user typed it, names the BIF that a KEY stores as stored: as stored or
// as list shows it (exact), or else (loose) the way the game's files are matched: letter case
// and the two separators aside, with or without the data\\ folder, or by the file name alone.
bool NamesExactly(const std::string& stored, const std::string& wanted) {
    return stored == wanted || platform::ShownName({stored}) == wanted;
}
bool NamesLoosely(const std::string& stored, const std::string& wantedBytes) {
    if (wantedBytes.empty()) return false;
    const std::string wanted = LooseKey(wantedBytes);
    if (LooseKey(stored) == wanted) return true;
    return wantedBytes.find_first_of("\\/") == std::string::npos &&
        StoredNameKey(LastPartOfStoredName(stored)) == wanted;
}

// wanted as the archive's bytes (this system's spelling of it taken back to Windows-1252); as
// typed when it has none.
std::string ArchiveBytesOf(const std::string& wanted) {
    const auto bytes = ArchiveNameOf(wanted, platform::kHostSpelling);
    return bytes ? bytes->Bytes : wanted;
}

// The BIFs of keys (as references, all of one KEY when keys holds one) that wanted names: those
// it names exactly, and only when it names none so, those it names loosely.
std::vector<TBifRef> NamedBifs(const std::vector<const TNWNKeyFile*>& keys, const std::string& wanted) {
    std::vector<TBifRef> named;
    for (std::size_t k = 0; k < keys.size(); ++k)
        for (std::size_t b = 0; b < keys[k]->Filenames.size(); ++b)
            if (NamesExactly(keys[k]->Filenames[b].Filename, wanted)) named.push_back({k, b});
    if (!named.empty()) return named;
    const std::string bytes = ArchiveBytesOf(wanted);
    for (std::size_t k = 0; k < keys.size(); ++k)
        for (std::size_t b = 0; b < keys[k]->Filenames.size(); ++b)
            if (NamesLoosely(keys[k]->Filenames[b].Filename, bytes)) named.push_back({k, b});
    return named;
}

// The BIFs a message lists when a name matches none: as list shows them, at most kMostListed.
constexpr std::size_t kMostListed = 40;
std::string ListedBifs(const std::vector<std::string>& labels) {
    if (labels.empty()) return "it names no BIF";
    return (labels.size() == 1 ? "its BIF: " : "its " + WithThousands(labels.size()) + " BIFs: ") +
        Enumeration(labels, kMostListed);
}

std::vector<TGameKey> LoadKeys(const std::vector<std::string>& paths) {
    std::vector<TGameKey> keys;
    for (const std::string& path : paths) keys.push_back({path, LoadKey(path)});
    return keys;
}

} // namespace

bool FirstIsErf(const CommandLine& cmd, const std::vector<std::string>& args) {
    if (cmd.game || args.empty()) return false;
    // A pack of an archive that died between two renames may have left no file at its name.
    RecoverBeforeReading(args[0]);
    return IsErfArchive(args[0]);
}

void RecoverBeforeReading(const std::string& path) {
    const TRecoveryNote note = RecoverInterruptedBuild(path, WaitNotice());
    if (!note.Text.empty()) Complain("note: " + note.Text);
}

std::shared_ptr<TNWNKeyFile> LoadKey(const std::string& path, const TKeyParts& parts) {
    TKeyRead read = ReadKey(path, WaitNotice(), parts);
    if (!read.Recovery.Text.empty()) Complain("note: " + read.Recovery.Text);
    return std::move(read.Key);
}

std::vector<TGameKey> CommandKeys(const CommandLine& cmd, const std::vector<std::string>& given) {
    return LoadKeys(CommandKeyPaths(cmd, given));
}

std::vector<TResourceContainer> CommandHaks(const CommandLine& cmd) {
    std::vector<TResourceContainer> haks;
    for (const std::string& path : cmd.haks) {
        RecoverBeforeReading(path);
        if (!IsErfArchive(path)) {
            // A file that cannot be read says why; one that can is none of the family.
            platform::File::OpenRead(path);
            throw EFormatError(CannotOpenAs("HAK", path,
                                            "--hak takes an archive of the ERF family (HAK, MOD, ERF, NWM, SAV), "
                                            "and its first bytes are none of theirs"));
        }
        haks.push_back(ErfContainer(path));
    }
    return haks;
}

TResourceSet CommandSources(const CommandLine& cmd, const std::vector<std::string>& givenKeys) {
    // The HAKs first: a mistyped --hak is refused before the game's KEYs are looked for and read.
    std::vector<TResourceContainer> haks = CommandHaks(cmd);
    TResourceSet set{CommandKeys(cmd, givenKeys), std::move(haks), {}, {}};
    AddCommandLayers(cmd, set);
    return set;
}

std::vector<std::string> CommandKeyPaths(const CommandLine& cmd, const std::vector<std::string>& given) {
    if (!cmd.game) return given;
    const game::GameInstall install = game::FindGameInstall(cmd.language.value_or("en"));
    if (!cmd.quiet) {
        std::string names;
        for (const std::string& key : install.Keys) {
            names += names.empty() ? "" : ", ";
            names += key.size() > install.Folder.size() ? key.substr(install.Folder.size() + 1) : key;
        }
        Complain("the game in " + QuotedPath(install.Folder) + ": " + names);
    }
    return install.Keys;
}

std::optional<std::size_t> ChooseBif(const TNWNKeyFile& key, const std::string& wanted, const std::string& keyPath) {
    // As stored, or as list shows it (on Linux a name beyond ASCII as UTF-8); then an index; then
    // loosely (NamedBifs), so that an index is never taken for a BIF's bare name.
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < key.Filenames.size(); ++i)
        if (NamesExactly(key.Filenames[i].Filename, wanted)) named.push_back(i);
    const bool exact = !named.empty();
    if (!exact) {
        if (const auto index = IndexBelow(wanted, key.Filenames.size())) return index;
        for (const TBifRef& ref : NamedBifs({&key}, wanted)) named.push_back(ref.Bif);
    }
    if (named.size() == 1) return named.front();
    if (named.size() > 1) {
        Complain(Quoted(wanted) +
                 (exact ? " is listed " + std::to_string(named.size()) + " times in "
                        : " could be any of " + std::to_string(named.size()) + " BIFs of ") +
                 Quoted(keyPath) + " (entries " + Enumerated(named) + "); give the index instead");
        return std::nullopt;
    }
    std::vector<std::string> labels;
    for (const TNWNFilenameEntry& bif : key.Filenames) labels.push_back(platform::ShownName({bif.Filename}));
    Complain("no BIF " + Quoted(wanted) + " in " + Quoted(keyPath) + "; " + ListedBifs(labels) +
             " (give a name as 'list' shows it, or an index from 0)");
    return std::nullopt;
}

std::optional<TBifRef> ChooseBifIn(const std::vector<TGameKey>& keys, const std::string& wanted) {
    if (keys.size() == 1) {
        const auto index = ChooseBif(*keys[0].Key, wanted, keys[0].Path);
        if (!index) return std::nullopt;
        return TBifRef{0, *index};
    }
    std::vector<const TNWNKeyFile*> read;
    for (const TGameKey& key : keys) read.push_back(key.Key.get());
    const std::vector<TBifRef> named = NamedBifs(read, wanted);
    if (named.size() == 1) return named.front();
    if (named.empty()) {
        std::vector<std::string> labels;
        for (std::size_t k = 0; k < keys.size(); ++k)
            for (std::size_t b = 0; b < keys[k].Key->Filenames.size(); ++b)
                labels.push_back(platform::ShownName({BifLabel(keys, k, b)}));
        Complain("no KEY of the game names a BIF " + Quoted(wanted) + "; " + ListedBifs(labels) +
                 " (give a name as 'list --game' shows it)");
    } else {
        Complain(Quoted(wanted) + " is named by " + std::to_string(named.size()) +
                 " of the game's KEYs; give the KEY and the BIF instead");
    }
    return std::nullopt;
}

std::string BifLabel(const std::vector<TGameKey>& keys, std::size_t key, std::size_t bif) {
    std::string label = keys.size() > 1 ? platform::FileNamePart(keys[key].Path) + ": " : std::string();
    return label + keys[key].Key->Filenames[bif].Filename;
}

} // namespace vellocar::cli
