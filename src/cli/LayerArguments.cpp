// The layers of a command line beyond its KEYs: the game's ovr folder, the user's override and
// development folders, a module's HAKs found where the game finds them (GameLayers.h), and the
// folders added with --folder.

#include "GameInstall.h"
#include "GameLayers.h"
#include "KeyArguments.h"
#include "operations/ResourceLayers.h"
#include "Output.h"

namespace vellocar::cli {

void AddCommandLayers(const CommandLine& cmd, TResourceSet& set) {
    game::GameLayersAsked asked;
    if (cmd.game) {
        asked.Language = cmd.language.value_or("en");
        asked.GameFolder = game::FindGameInstall(asked.Language).Folder;
    }
    asked.UserFolder = game::UserFolder();
    asked.Module = cmd.module.value_or("");
    asked.Override = cmd.overrideDir.value_or("");
    asked.Development = cmd.developmentDir.value_or("");
    asked.AddedFolders = cmd.folders;
    // The module's HAKs come first, those of --hak after them.
    std::vector<TResourceContainer> given = std::move(set.Haks);
    set.Haks.clear();
    AddLayers(set, game::GameLayerRequest(asked));
    for (TResourceContainer& hak : given) set.Haks.push_back(std::move(hak));
}

bool ReportProblems(const TResourceSet& set) {
    for (const std::string& problem : set.Problems) Complain(problem);
    return !set.Problems.empty();
}

} // namespace vellocar::cli
