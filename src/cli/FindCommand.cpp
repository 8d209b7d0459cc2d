// find: the resources of several KEYs and a module's HAKs whose names match, marked with the entry
// the game loads; find --shadowed: what of each KEY and HAK the sources above it replace. As lines
// or as one JSON document.

#include "base/Text.h"
#include "Commands.h"
#include "JsonWriter.h"
#include "KeyArguments.h"
#include "names/ArchiveNames.h"
#include "operations/GameKeys.h"
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
    if (hit.Kind == TSourceKind::Hak) {
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
    const bool faults = ReportBifFaults(set.Keys, FillSizes(set, hits));
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
            // A HAK holds its resources itself: its path where the KEY stands, no BIF ("-").
            const bool inHak = hit.Kind == TSourceKind::Hak;
            out.Fields({platform::ShownName(ResourceLine(hit.Entry)),
                        inHak ? set.Haks[hit.Source].Label : set.Keys[hit.Source].Path,
                        inHak ? std::string("-")
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
    const bool faults = ReportBifFaults(set.Keys, FillSizes(set, hits));
    // Per KEY, then per HAK.
    const auto slot = [&](TSourceKind kind, std::size_t source) {
        return kind == TSourceKind::Key ? source : set.Keys.size() + source;
    };
    const std::size_t sources = set.Keys.size() + set.Haks.size();
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
        const std::string byKeys = set.Haks.empty() ? " shadowed by later KEYs" : " shadowed by later KEYs or the HAKs";
        for (std::size_t s = 0; s < sources; ++s) {
            const bool hak = s >= set.Keys.size();
            out.Line((hak ? set.Haks[s - set.Keys.size()].Label : set.Keys[s].Path) + ": " + WithThousands(count[s]) +
                     (count[s] == 1 ? " resource, " : " resources, ") + WithThousands(bytes[s]) +
                     (bytes[s] == 1 ? " byte" : " bytes") + (hak ? " shadowed by HAKs listed before it" : byKeys));
        }
    }
    return faults ? kExitFailure : kExitOk;
}

} // namespace

int FindCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    // With --hak the KEYs may be left out: the HAKs are then compared among themselves.
    const bool keysNeeded = !cmd.game && cmd.haks.empty();
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
