// The KEYs and BIFs of a command line, read and chosen, with a complaint for each that cannot
// be.

#include "KeyArguments.h"

#include "ArchiveNames.h"
#include "ErfFiles.h"
#include "GameInstall.h"
#include "KeyReading.h"
#include "Output.h"
#include "Platform.h"
#include "Text.h"

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

std::vector<TGameKey> LoadKeys(const std::vector<std::string>& paths) {
    std::vector<TGameKey> keys;
    for (const std::string& path : paths) keys.push_back({path, LoadKey(path)});
    return keys;
}

} // namespace

bool FirstIsErf(const CommandLine& cmd, const std::vector<std::string>& args) {
    return !cmd.game && !args.empty() && IsErfArchive(args[0]);
}

std::shared_ptr<TNWNKeyFile> LoadKey(const std::string& path) {
    TKeyRead read = ReadKey(path, WaitNotice());
    if (!read.Recovery.Text.empty()) Complain("note: " + read.Recovery.Text);
    return std::move(read.Key);
}

std::vector<TGameKey> CommandKeys(const CommandLine& cmd, const std::vector<std::string>& given) {
    return LoadKeys(CommandKeyPaths(cmd, given));
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
    // As stored, or as list shows it (on Linux a name beyond ASCII as UTF-8).
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        const std::string& stored = key.Filenames[i].Filename;
        if (stored == wanted || platform::ShownName({stored}) == wanted) named.push_back(i);
    }
    if (named.size() == 1) return named.front();
    if (named.size() > 1) {
        Complain(Quoted(wanted) + " is listed " + std::to_string(named.size()) + " times in " + Quoted(keyPath) +
                 " (entries " + Enumerated(named) + "); give the index instead");
        return std::nullopt;
    }
    const std::size_t count = key.Filenames.size();
    if (const auto index = IndexBelow(wanted, count)) return index;
    Complain("no BIF " + Quoted(wanted) + " in " + Quoted(keyPath) + " (it names " + std::to_string(count) +
             (count == 1 ? " BIF" : " BIFs") + "; give a name as 'list' shows it, or an index from 0)");
    return std::nullopt;
}

std::optional<TBifRef> ChooseBifIn(const std::vector<TGameKey>& keys, const std::string& wanted) {
    if (keys.size() == 1) {
        const auto index = ChooseBif(*keys[0].Key, wanted, keys[0].Path);
        if (!index) return std::nullopt;
        return TBifRef{0, *index};
    }
    std::vector<TBifRef> named;
    for (std::size_t k = 0; k < keys.size(); ++k)
        for (std::size_t b = 0; b < keys[k].Key->Filenames.size(); ++b)
            if (keys[k].Key->Filenames[b].Filename == wanted) named.push_back({k, b});
    if (named.size() == 1) return named.front();
    if (named.empty()) {
        Complain("no KEY of the game names a BIF " + Quoted(wanted) + "; give a name as 'list --game' shows it");
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
