// find: the resources of several KEYs and a module's HAKs whose names match, marked with the entry
// the game loads; find --shadowed: what of each KEY and HAK the sources above it replace. As lines
// or as one JSON document.

#include "base/Text.h"
#include "Commands.h"
#include "JsonWriter.h"
#include "KeyArguments.h"
#include "names/ArchiveNames.h"
#include "operations/GameKeys.h"
#include "operations/ResourceLayers.h"
#include "Output.h"
#include "Usage.h"

#include <cstdint>

namespace vellocar::cli {

namespace {

// Complains about each BIF whose sizes could not be read; true when there was any.
bool ReportBifFaults(const std::vector<TGameKey>& keys, const std::vector<TBifFault>& faults) {
    for (const TBifFault& fault : faults) Complain(BifLabel(keys, fault.Key, fault.Bif) + ": " + fault.Message);
    return !faults.empty();
}

// One KEY or HAK of a command, as the JSON documents name it.
void WriteKeyRef(TJsonWriter& json, const std::vector<TGameKey>& keys, std::size_t k) {
    json.Key("index").Number(k);
    json.Key("path").String(PathText(keys[k].Path));
}
void WriteHakRef(TJsonWriter& json, const std::vector<TResourceContainer>& haks, std::size_t h) {
    json.Key("index").Number(h);
    json.Key("path").String(PathText(haks[h].Label));
    json.Key("type").String(haks[h].Kind);
}

// The KEYs, then the HAKs, each with what more fields adds for it.
template <typename More>
void WriteSourceRefs(TJsonWriter& json, const TResourceSet& set, More&& more) {
    json.Key("keys").BeginArray();
    for (std::size_t k = 0; k < set.Keys.size(); ++k) {
        json.BeginObject();
        WriteKeyRef(json, set.Keys, k);
        more(TSourceKind::Key, k);
        json.EndObject();
    }
    json.EndArray();
    json.Key("haks").BeginArray();
    for (std::size_t h = 0; h < set.Haks.size(); ++h) {
        json.BeginObject();
        WriteHakRef(json, set.Haks, h);
        more(TSourceKind::Hak, h);
        json.EndObject();
    }
    json.EndArray();
    json.Key("folders").BeginArray();
    for (std::size_t f = 0; f < set.Folders.size(); ++f) {
        json.BeginObject();
        json.Key("index").Number(f);
        json.Key("path").String(PathText(set.Folders[f].Path));
        json.Key("role").String(set.Folders[f].Role);
        more(TSourceKind::Folder, f);
        json.EndObject();
    }
    json.EndArray();
    json.Key("problems").BeginArray();
    for (const std::string& problem : set.Problems) json.String(PathText(problem));
    json.EndArray();
}

// A hit in a KEY names its KEY and BIF; one in a HAK names the HAK alone, which holds its bytes.
void WriteHit(TJsonWriter& json, const TResourceSet& set, const TResourceHit& hit) {
    const std::string name = ResRefToString(hit.Entry.ResRef);
    json.BeginObject();
    json.Key("line").String(Windows1252ToUtf8(ResourceLine(hit.Entry).Bytes));
    json.Key("name").String(Windows1252ToUtf8(name));
    json.Key("name_hex").String(HexBytes(name));
    json.Key("type").Number(hit.Entry.ResType);
    json.Key("extension").String(ResTypeToExt(hit.Entry.ResType));
    if (hit.Kind == TSourceKind::Folder) {
        json.Key("folder").Number(hit.Source);
        json.Key("file_path").String(PathText(FolderFilePath(set.Folders[hit.Source], hit.Line)));
    } else if (hit.Kind == TSourceKind::Hak) {
        json.Key("hak").Number(hit.Source);
        json.Key("hak_path").String(PathText(set.Haks[hit.Source].Label));
    } else {
        const std::string& bif = set.Keys[hit.Source].Key->Filenames[hit.Bif].Filename;
        json.Key("key").Number(hit.Source);
        json.Key("key_path").String(PathText(set.Keys[hit.Source].Path));
        json.Key("bif").String(Windows1252ToUtf8(bif));
        json.Key("bif_hex").String(HexBytes(bif));
        json.Key("bif_index").Number(hit.Bif);
    }
    json.Key("line_index").Number(hit.Line);
    json.Key("index").Number(hit.Entry.ResId & kResIdIndexMask);
    json.Key("res_id").Number(hit.Entry.ResId);
    json.Key("size");
    if (hit.Size)
        json.Number(*hit.Size);
    else
        json.Null();
    json.Key("loaded").Bool(hit.Loaded);
    json.EndObject();
}

int Find(const TResourceSet& set, const std::string& pattern, bool asJson, Output& out) {
    std::vector<TResourceHit> hits = FindResources(set, pattern);
    const bool faults = ReportBifFaults(set.Keys, FillSizes(set, hits)) | ReportProblems(set);
    if (asJson) {
        // Written resource by resource: the document is never whole in memory.
        TJsonWriter json = StdoutJson();
        json.BeginObject();
        WriteSourceRefs(json, set, [](TSourceKind, std::size_t) {});
        json.Key("resources").BeginArray();
        for (const TResourceHit& hit : hits) WriteHit(json, set, hit);
        json.EndArray();
        json.EndObject();
        FinishJson(json);
    } else {
        for (const TResourceHit& hit : hits) {
            // A HAK or a folder holds its resources itself: its path where the KEY stands, no
            // BIF ("-").
            const bool inHak = hit.Kind == TSourceKind::Hak;
            const bool inFolder = hit.Kind == TSourceKind::Folder;
            out.Fields({platform::ShownName(ResourceLine(hit.Entry)),
                        inFolder ? set.Folders[hit.Source].Path
                                 : (inHak ? set.Haks[hit.Source].Label : set.Keys[hit.Source].Path),
                        inHak || inFolder
                            ? std::string("-")
                            : platform::ShownName({set.Keys[hit.Source].Key->Filenames[hit.Bif].Filename}),
                        std::to_string(hit.Line), hit.Size ? std::to_string(*hit.Size) : std::string("-"),
                        hit.Loaded ? "loaded" : "shadowed"});
        }
    }
    if (hits.empty()) {
        Complain("no resource matches " + Quoted(pattern));
        return kExitFailure;
    }
    return faults ? kExitFailure : kExitOk;
}

int Shadowed(const TResourceSet& set, bool asJson, Output& out) {
    std::vector<TResourceHit> hits = ShadowedResources(set);
    const bool faults = ReportBifFaults(set.Keys, FillSizes(set, hits)) | ReportProblems(set);
    // Per KEY, then per HAK, then per folder.
    const auto slot = [&](TSourceKind kind, std::size_t source) {
        if (kind == TSourceKind::Folder) return set.Keys.size() + set.Haks.size() + source;
        return kind == TSourceKind::Key ? source : set.Keys.size() + source;
    };
    const std::size_t sources = set.Keys.size() + set.Haks.size() + set.Folders.size();
    std::vector<std::uint64_t> count(sources), bytes(sources);
    for (const TResourceHit& hit : hits) {
        ++count[slot(hit.Kind, hit.Source)];
        bytes[slot(hit.Kind, hit.Source)] += hit.Size.value_or(0);
    }
    if (asJson) {
        TJsonWriter json = StdoutJson();
        json.BeginObject();
        WriteSourceRefs(json, set, [&](TSourceKind kind, std::size_t source) {
            json.Key("shadowed_resources").Number(count[slot(kind, source)]);
            json.Key("shadowed_bytes").Number(bytes[slot(kind, source)]);
        });
        json.EndObject();
        FinishJson(json);
    } else {
        const bool folders = !set.Folders.empty();
        const std::string byKeys = folders ? " shadowed by later layers"
            : set.Haks.empty()             ? " shadowed by later KEYs"
                                           : " shadowed by later KEYs or the HAKs";
        for (std::size_t s = 0; s < sources; ++s) {
            if (s >= set.Keys.size() + set.Haks.size()) {
                const TFolderLayer& folder = set.Folders[s - set.Keys.size() - set.Haks.size()];
                out.Line(folder.Path + ": " + WithThousands(count[s]) +
                         (count[s] == 1 ? " resource, " : " resources, ") + WithThousands(bytes[s]) +
                         (bytes[s] == 1 ? " byte" : " bytes") + " shadowed by later layers");
                continue;
            }
            const bool hak = s >= set.Keys.size();
            out.Line(
                (hak ? set.Haks[s - set.Keys.size()].Label : set.Keys[s].Path) + ": " + WithThousands(count[s]) +
                (count[s] == 1 ? " resource, " : " resources, ") + WithThousands(bytes[s]) +
                (bytes[s] == 1 ? " byte" : " bytes") +
                (hak ? (folders ? " shadowed by earlier HAKs or later layers" : " shadowed by HAKs listed before it")
                     : byKeys));
        }
    }
    return faults ? kExitFailure : kExitOk;
}

} // namespace

int FindCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    // With --hak the KEYs may be left out: the HAKs are then compared among themselves.
    const bool keysNeeded = !cmd.game && !HasLayerOptions(cmd);
    if (cmd.shadowed) {
        if (cmd.game ? !args.empty() : keysNeeded && args.empty())
            return UsageError(cmd.game ? "find --shadowed --game takes no more" : "find --shadowed takes KEYs",
                              {kUsageShadowed});
        return Shadowed(CommandSources(cmd, args), cmd.json, out);
    }
    if (cmd.game ? args.size() != 1 : args.size() < (keysNeeded ? 2u : 1u))
        return UsageError(cmd.game ? "find --game takes PATTERN" : "find takes PATTERN and KEYs", {kUsageFind});
    return Find(CommandSources(cmd, Operands(args.begin() + 1, args.end())), args[0], cmd.json, out);
}

} // namespace vellocar::cli
