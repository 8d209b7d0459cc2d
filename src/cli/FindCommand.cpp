// find: the resources of several KEYs whose names match, marked with the entry the game loads;
// find --shadowed: what of each KEY later KEYs replace. As lines or as one JSON document.

#include "ArchiveNames.h"
#include "Commands.h"
#include "GameKeys.h"
#include "JsonWriter.h"
#include "KeyArguments.h"
#include "Output.h"
#include "Text.h"
#include "Usage.h"

#include <cstdint>

namespace vellocar::cli {

namespace {

// Complains about each BIF whose sizes could not be read; true when there was any.
bool ReportBifFaults(const std::vector<TGameKey>& keys, const std::vector<TBifFault>& faults) {
    for (const TBifFault& fault : faults) Complain(BifLabel(keys, fault.Key, fault.Bif) + ": " + fault.Message);
    return !faults.empty();
}

// One KEY of a command, as the JSON documents name it.
void WriteKeyRef(TJsonWriter& json, const std::vector<TGameKey>& keys, std::size_t k) {
    json.Key("index").Number(k);
    json.Key("path").String(PathText(keys[k].Path));
}

void WriteKeyRefs(TJsonWriter& json, const std::vector<TGameKey>& keys) {
    json.Key("keys").BeginArray();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        json.BeginObject();
        WriteKeyRef(json, keys, k);
        json.EndObject();
    }
    json.EndArray();
}

void WriteHit(TJsonWriter& json, const std::vector<TGameKey>& keys, const TResourceHit& hit) {
    const std::string name = ResRefToString(hit.Entry.ResRef);
    const std::string& bif = keys[hit.Key].Key->Filenames[hit.Bif].Filename;
    json.BeginObject();
    json.Key("line").String(Windows1252ToUtf8(ResourceLine(hit.Entry).Bytes));
    json.Key("name").String(Windows1252ToUtf8(name));
    json.Key("name_hex").String(HexBytes(name));
    json.Key("type").Number(hit.Entry.ResType);
    json.Key("extension").String(ResTypeToExt(hit.Entry.ResType));
    json.Key("key").Number(hit.Key);
    json.Key("key_path").String(PathText(keys[hit.Key].Path));
    json.Key("bif").String(Windows1252ToUtf8(bif));
    json.Key("bif_hex").String(HexBytes(bif));
    json.Key("bif_index").Number(hit.Bif);
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

int Find(const std::vector<TGameKey>& keys, const std::string& pattern, bool asJson, Output& out) {
    std::vector<TResourceHit> hits = FindResources(keys, pattern);
    const bool faults = ReportBifFaults(keys, FillSizes(keys, hits));
    if (asJson) {
        // Written resource by resource: the document is never whole in memory.
        TJsonWriter json = StdoutJson();
        json.BeginObject();
        WriteKeyRefs(json, keys);
        json.Key("resources").BeginArray();
        for (const TResourceHit& hit : hits) WriteHit(json, keys, hit);
        json.EndArray();
        json.EndObject();
        FinishJson(json);
    } else {
        for (const TResourceHit& hit : hits) {
            out.Fields({platform::ShownName(ResourceLine(hit.Entry)), keys[hit.Key].Path,
                        platform::ShownName({keys[hit.Key].Key->Filenames[hit.Bif].Filename}), std::to_string(hit.Line),
                        hit.Size ? std::to_string(*hit.Size) : std::string("-"), hit.Loaded ? "loaded" : "shadowed"});
        }
    }
    if (hits.empty()) {
        Complain("no resource matches " + Quoted(pattern));
        return kExitFailure;
    }
    return faults ? kExitFailure : kExitOk;
}

int Shadowed(const std::vector<TGameKey>& keys, bool asJson, Output& out) {
    std::vector<TResourceHit> hits = ShadowedResources(keys);
    const bool faults = ReportBifFaults(keys, FillSizes(keys, hits));
    std::vector<std::uint64_t> count(keys.size()), bytes(keys.size());
    for (const TResourceHit& hit : hits) {
        ++count[hit.Key];
        bytes[hit.Key] += hit.Size.value_or(0);
    }
    if (asJson) {
        TJsonWriter json = StdoutJson();
        json.BeginObject();
        json.Key("keys").BeginArray();
        for (std::size_t k = 0; k < keys.size(); ++k) {
            json.BeginObject();
            WriteKeyRef(json, keys, k);
            json.Key("shadowed_resources").Number(count[k]);
            json.Key("shadowed_bytes").Number(bytes[k]);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        FinishJson(json);
    } else {
        for (std::size_t k = 0; k < keys.size(); ++k)
            out.Line(keys[k].Path + ": " + WithThousands(count[k]) + (count[k] == 1 ? " resource, " : " resources, ") +
                     WithThousands(bytes[k]) + (bytes[k] == 1 ? " byte" : " bytes") + " shadowed by later KEYs");
    }
    return faults ? kExitFailure : kExitOk;
}

} // namespace

int FindCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    if (cmd.shadowed) {
        if (cmd.game ? !args.empty() : args.empty())
            return UsageError(cmd.game ? "find --shadowed --game takes no more" : "find --shadowed takes KEYs",
                              {kUsageShadowed});
        return Shadowed(CommandKeys(cmd, args), cmd.json, out);
    }
    if (cmd.game ? args.size() != 1 : args.size() < 2)
        return UsageError(cmd.game ? "find --game takes PATTERN" : "find takes PATTERN and KEYs", {kUsageFind});
    return Find(CommandKeys(cmd, Operands(args.begin() + 1, args.end())), args[0], cmd.json, out);
}

} // namespace vellocar::cli
