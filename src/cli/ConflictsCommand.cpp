// conflicts: each resource that more than one layer holds (KEYs, ovr, override, a module's HAKs,
// development), the layer whose copy the game loads, and whether the copies' bytes differ; as
// lines or as one JSON document.

#include "base/Sha1.h"
#include "base/Text.h"
#include "Commands.h"
#include "JsonWriter.h"
#include "KeyArguments.h"
#include "names/ArchiveNames.h"
#include "operations/ResourceIndex.h"
#include "operations/ResourceLayers.h"
#include "Output.h"
#include "Usage.h"

namespace vellocar::cli {

namespace {

std::string LayerText(const TIndexLayer& layer) { return layer.Role + " " + layer.Label; }

} // namespace

int ConflictsCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    const bool keysNeeded = !cmd.game && cmd.haks.empty() && !cmd.module && !cmd.overrideDir && !cmd.developmentDir;
    if (cmd.game ? !args.empty() : keysNeeded && args.empty())
        return UsageError(cmd.game ? "conflicts --game takes no more" : "conflicts takes KEYs or layers",
                          {kUsageConflicts});
    const TResourceSet set = CommandSources(cmd, args);
    const TResourceIndex index(set);
    TPieceFinder finder(set);
    const std::vector<TIndexLayer>& layers = index.Layers();

    bool faults = !index.Problems().empty();
    TJsonWriter json = cmd.json ? StdoutJson() : TJsonWriter([](std::string_view) { return true; });
    if (cmd.json) {
        json.BeginObject();
        json.Key("layers").BeginArray();
        for (const TIndexLayer& layer : layers) {
            json.BeginObject();
            json.Key("role").String(layer.Role);
            json.Key("path").String(PathText(layer.Label));
            json.EndObject();
        }
        json.EndArray();
        json.Key("conflicts").BeginArray();
    }
    for (const std::uint32_t r : index.Conflicts()) {
        const TIndexRow& row = index.Rows()[r];
        const std::vector<TCopyDigest> digests = CopyDigests(index, row, finder);
        const bool differ = CopiesDiffer(digests);
        const std::string line = index.LineOf(row);
        if (cmd.json) {
            json.BeginObject();
            json.Key("line").String(Windows1252ToUtf8(line));
            json.Key("type").Number(row.Type);
            json.Key("loaded_layer").Number(index.Loaded(row).Layer);
            json.Key("differ").Bool(differ);
            json.Key("copies").BeginArray();
        } else {
            out.Fields(
                {platform::ShownName({line}), LayerText(layers[index.Loaded(row).Layer]), differ ? "differ" : "same"});
        }
        for (std::uint32_t c = 0; c < row.CopyCount; ++c) {
            const TIndexCopy& copy = index.Copies()[row.FirstCopy + c];
            const TCopyDigest& digest = digests[c];
            if (!digest.Problem.empty()) {
                Complain(platform::ShownName({line}) + " in " + LayerText(layers[copy.Layer]) + ": " + digest.Problem);
                faults = true;
            }
            if (cmd.json) {
                json.BeginObject();
                json.Key("layer").Number(copy.Layer);
                json.Key("size");
                if (copy.HasSize)
                    json.Number(copy.Size);
                else
                    json.Null();
                json.Key("sha1");
                if (digest.Digest)
                    json.String(Sha1Hex(*digest.Digest));
                else
                    json.Null();
                json.Key("loaded").Bool(c == 0);
                json.EndObject();
            } else {
                out.Fields({"", LayerText(layers[copy.Layer]), copy.HasSize ? std::to_string(copy.Size) : "-",
                            digest.Digest ? Sha1Hex(*digest.Digest) : "-", c == 0 ? "loaded" : "shadowed"});
            }
        }
        if (cmd.json) {
            json.EndArray();
            json.EndObject();
        }
    }
    for (const std::string& problem : index.Problems()) Complain(problem);
    if (cmd.json) {
        json.EndArray();
        json.Key("problems").BeginArray();
        for (const std::string& problem : index.Problems()) json.String(PathText(problem));
        json.EndArray();
        json.EndObject();
        FinishJson(json);
    }
    return faults ? kExitFailure : kExitOk;
}

} // namespace vellocar::cli
