// list: a KEY's BIF names, or one BIF's resource lines, as lines or as a JSON document; with
// --game, of every KEY of the game.

#include "Commands.h"
#include "KeyArguments.h"
#include "ListJson.h"
#include "names/ArchiveNames.h"
#include "operations/Containers.h"
#include "Output.h"
#include "platform/Platform.h"
#include "Usage.h"

#include <optional>

namespace vellocar::cli {

namespace {

// Resource lines as the window lists them, and as extract takes them back; a KEY lists tens of
// thousands.
void ListLines(const std::vector<TNWNKeyEntry>& entries, Output& out) {
    std::string line;
    for (const TNWNKeyEntry& entry : entries) {
        line.clear();
        AppendShownLine(line, entry);
        out.Line(line);
    }
}

int ListErf(const std::string& path, bool asJson, Output& out) {
    const TResourceContainer erf = ErfContainer(path);
    if (asJson) {
        TJsonWriter json = StdoutJson();
        WriteErfListing(json, erf);
        FinishJson(json);
    } else {
        ListLines(erf.Entries(), out);
    }
    return kExitOk;
}

int ListKey(const std::string& keyPath, const std::optional<std::string>& bifName, bool asJson, Output& out) {
    // Only what is shown is read: the BIF names, then the entries of the BIF chosen among them
    // (the KEY's listing in JSON counts every BIF's entries).
    auto key = LoadKey(keyPath, {.Entries = asJson && !bifName, .OnlyBif = std::nullopt});
    std::optional<std::size_t> index;
    if (bifName) {
        index = ChooseBif(*key, *bifName, keyPath);
        if (!index) return kExitFailure;
        key->LoadFromFile(keyPath, {.Entries = true, .OnlyBif = index});
    }
    if (asJson) {
        // A document for scripts: JSON's own escaping makes every control byte inert, and the
        // names are UTF-8 text, so nothing is escaped for a terminal.
        // Streamed to stdout as it is made: a listing of a million entries never waits in memory.
        TJsonWriter json = StdoutJson();
        if (index) {
            WriteBifListing(json, key, keyPath, platform::FolderOf(keyPath), *index);
        } else {
            WriteKeyListing(json, *key, keyPath, platform::FolderOf(keyPath));
        }
        FinishJson(json);
        return kExitOk;
    }
    if (!index) {
        for (const TNWNFilenameEntry& bif : key->Filenames) out.Line(platform::ShownName({bif.Filename}));
        return kExitOk;
    }
    ListLines(key->Filenames[*index].Resources, out);
    return kExitOk;
}

// Every KEY of the game: the BIF names of all, or one document with each KEY's listing.
int ListGame(const std::vector<TGameKey>& keys, bool asJson, Output& out) {
    if (asJson) {
        TJsonWriter json = StdoutJson();
        json.BeginObject();
        json.Key("keys").BeginArray();
        for (const TGameKey& key : keys) WriteKeyListing(json, *key.Key, key.Path, platform::FolderOf(key.Path));
        json.EndArray();
        json.EndObject();
        FinishJson(json);
        return kExitOk;
    }
    for (const TGameKey& key : keys)
        for (const TNWNFilenameEntry& entry : key.Key->Filenames) out.Line(platform::ShownName({entry.Filename}));
    return kExitOk;
}

} // namespace

int ListCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    if (FirstIsErf(cmd, args)) {
        if (args.size() != 1) return UsageError("list takes a HAK alone", {kUsageErfList});
        return ListErf(args[0], cmd.json, out);
    }
    const std::size_t keyArgs = cmd.game ? 0 : 1;
    if (args.size() < keyArgs || args.size() > keyArgs + 1)
        return UsageError(cmd.game ? "list --game takes, optionally, BIF" : "list takes KEY and, optionally, BIF",
                          {kUsageList, kUsageListBif});
    const std::optional<std::string> bif = args.size() > keyArgs ? std::optional(args[keyArgs]) : std::nullopt;
    if (!cmd.game) return ListKey(args[0], bif, cmd.json, out);
    const std::vector<TGameKey> keys = CommandKeys(cmd, {});
    if (!bif) return ListGame(keys, cmd.json, out);
    const auto ref = ChooseBifIn(keys, *bif);
    if (!ref) return kExitFailure;
    return ListKey(keys[ref->Key].Path, std::to_string(ref->Bif), cmd.json, out);
}

} // namespace vellocar::cli
