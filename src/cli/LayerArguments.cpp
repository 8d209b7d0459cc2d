// The layers of a command line beyond its KEYs: the game's ovr folder, the user's override and
// development folders, and a module's HAKs, found where the game finds them.

#include "base/Text.h"
#include "GameInstall.h"
#include "KeyArguments.h"
#include "operations/ResourceLayers.h"
#include "Output.h"
#include "platform/Platform.h"

#include <cstdlib>

namespace vellocar::cli {

namespace {

// The user's folder of the game ($NWN_HOME, as the game's own tools take it); "" when unset.
std::string UserFolder() {
    const char* home = std::getenv("NWN_HOME");
    return home ? std::string(home) : std::string();
}

// The module that --module names: a file or folder that exists as given; else, with the game,
// NAME.mod in the user's modules folder, then in the game's data/mod. As given when none is
// there (it is then reported as unreadable).
std::string ModulePath(const std::string& given, const std::string& gameFolder) {
    if (platform::PathExists(given)) return given;
    std::vector<std::string> folders;
    if (const std::string user = UserFolder(); !user.empty()) folders.push_back(platform::JoinPath(user, "modules"));
    if (!gameFolder.empty()) folders.push_back(platform::JoinPath(platform::JoinPath(gameFolder, "data"), "mod"));
    for (const std::string& folder : folders) {
        const std::string path = platform::ResolveStoredName(folder, given + ".mod");
        if (platform::IsRegularFile(path)) return path;
    }
    return given;
}

} // namespace

void AddCommandLayers(const CommandLine& cmd, TResourceSet& set) {
    TLayerRequest request;
    if (cmd.game) {
        request.Language = cmd.language.value_or("en");
        request.GameFolder = game::FindGameInstall(request.Language).Folder;
    }
    request.Override = cmd.overrideDir.value_or("");
    request.Development = cmd.developmentDir.value_or("");
    if (cmd.module) {
        request.Module = ModulePath(*cmd.module, request.GameFolder);
        // The user's hak folder: $NWN_HOME/hak, or beside the modules folder the module lies in;
        // then the game's own data/hk.
        if (const std::string user = UserFolder(); !user.empty())
            request.HakFolders.push_back(platform::JoinPath(user, "hak"));
        const std::string modules = platform::FolderOf(request.Module);
        request.HakFolders.push_back(platform::JoinPath(platform::FolderOf(modules), "hak"));
        if (!request.GameFolder.empty())
            request.HakFolders.push_back(platform::JoinPath(platform::JoinPath(request.GameFolder, "data"), "hk"));
    }
    // The module's HAKs come first, those of --hak after them.
    std::vector<TResourceContainer> given = std::move(set.Haks);
    set.Haks.clear();
    AddLayers(set, request);
    for (TResourceContainer& hak : given) set.Haks.push_back(std::move(hak));
}

bool ReportProblems(const TResourceSet& set) {
    for (const std::string& problem : set.Problems) Complain(problem);
    return !set.Problems.empty();
}

} // namespace vellocar::cli
