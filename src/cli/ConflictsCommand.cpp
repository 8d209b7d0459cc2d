// conflicts: each resource that more than one layer holds (KEYs, ovr, override, a module's HAKs,
// development), the layer whose copy the game loads, and whether the copies' bytes differ; as
// lines or as one JSON document.

#include "Commands.h"
#include "JsonWriter.h"
#include "KeyArguments.h"
#include "operations/ConflictsReport.h"
#include "operations/ResourceIndex.h"
#include "operations/ResourceLayers.h"
#include "Output.h"
#include "Usage.h"

namespace vellocar::cli {

int ConflictsCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    const bool keysNeeded = !cmd.game && !HasLayerOptions(cmd);
    if (cmd.game ? !args.empty() : keysNeeded && args.empty())
        return UsageError(cmd.game ? "conflicts --game takes no more" : "conflicts takes KEYs or layers",
                          {kUsageConflicts});
    const TResourceSet set = CommandSources(cmd, args);
    const TResourceIndex index(set);
    TPieceFinder finder(set);

    std::vector<std::string> problems;
    if (cmd.json) {
        TJsonWriter json = StdoutJson();
        WriteConflictsJson(index, finder, json, problems);
        FinishJson(json);
    } else {
        WriteConflictsText(
            index, finder, [&out](const std::vector<std::string>& fields) { out.Fields(fields); }, problems);
    }
    for (const std::string& problem : problems) Complain(problem);
    for (const std::string& problem : index.Problems()) Complain(problem);
    const bool faults = !problems.empty() || !index.Problems().empty();
    return faults ? kExitFailure : kExitOk;
}

} // namespace vellocar::cli
