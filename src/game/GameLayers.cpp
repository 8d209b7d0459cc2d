// The game's layers as a user names them: see GameLayers.h.

#include "GameLayers.h"

#include "names/Names.h"
#include "platform/Platform.h"

#include <cstdlib>
#include <string_view>

namespace vellocar::game {

namespace {

// The game's own folder of a kind below data/ ("mod", "hk"); "" without a game.
std::string GameDataFolder(const std::string& gameFolder, const char* name) {
    return gameFolder.empty() ? std::string() : platform::JoinPath(platform::JoinPath(gameFolder, "data"), name);
}

// Where modules are looked for: the user's modules folder, then the game's data/mod.
std::vector<std::string> ModuleFolders(const std::string& gameFolder, const std::string& userFolder) {
    std::vector<std::string> folders;
    if (!userFolder.empty()) folders.push_back(platform::JoinPath(userFolder, "modules"));
    if (!gameFolder.empty()) folders.push_back(GameDataFolder(gameFolder, "mod"));
    return folders;
}

} // namespace

std::string UserFolder() {
    const char* home = std::getenv("NWN_HOME");
    return home ? std::string(home) : std::string();
}

std::string DefaultUserFolder(const std::string& gameFolder,
                              const std::function<std::optional<std::string>(const std::string&)>& environment) {
    if (!gameFolder.empty() && platform::IsRegularFile(platform::ResolveStoredName(gameFolder, "chitin.key")))
        return gameFolder;
    std::string documents;
#ifdef _WIN32
    if (const auto profile = environment("USERPROFILE"); profile && !profile->empty())
        documents = platform::JoinPath(*profile, "Documents");
#else
    if (const auto data = environment("XDG_DATA_HOME"); data && !data->empty())
        documents = *data;
    else if (const auto home = environment("HOME"); home && !home->empty())
        documents = platform::JoinPath(platform::JoinPath(*home, ".local"), "share");
#endif
    if (documents.empty()) return {};
    const std::string folder = platform::JoinPath(documents, "Neverwinter Nights");
    return platform::IsFolder(folder) ? folder : std::string();
}

std::string ModulePath(const std::string& given, const std::string& gameFolder, const std::string& userFolder) {
    if (platform::PathExists(given)) return given;
    for (const std::string& folder : ModuleFolders(gameFolder, userFolder)) {
        const std::string path = platform::ResolveStoredName(folder, given + ".mod");
        if (platform::IsRegularFile(path)) return path;
    }
    return given;
}

TLayerRequest GameLayerRequest(const GameLayersAsked& asked) {
    TLayerRequest request;
    request.GameFolder = asked.GameFolder;
    request.Language = asked.Language;
    request.Override = asked.Override;
    request.Development = asked.Development;
    request.AddedFolders = asked.AddedFolders;
    if (!asked.Module.empty()) {
        request.Module = ModulePath(asked.Module, asked.GameFolder, asked.UserFolder);
        // The user's hak folder, or the one beside the modules folder the module lies in; then
        // the game's own data/hk.
        if (!asked.UserFolder.empty()) request.HakFolders.push_back(platform::JoinPath(asked.UserFolder, "hak"));
        const std::string modules = platform::FolderOf(request.Module);
        request.HakFolders.push_back(platform::JoinPath(platform::FolderOf(modules), "hak"));
        if (!asked.GameFolder.empty()) request.HakFolders.push_back(GameDataFolder(asked.GameFolder, "hk"));
    }
    return request;
}

std::vector<ModuleChoice> ModuleChoices(const std::string& gameFolder, const std::string& userFolder) {
    std::vector<ModuleChoice> choices;
    for (const std::string& folder : ModuleFolders(gameFolder, userFolder)) {
        // The folder itself as a folder layer takes it: a link at its name is not followed.
        const auto facts = platform::LookAt(folder);
        if (!facts || facts->What != platform::EntryFacts::Kind::Folder) continue;
        for (const std::string& name : platform::ListPlainFiles(folder)) {
            constexpr std::string_view kExtension = ".mod";
            if (name.size() <= kExtension.size() ||
                !EqualIgnoringCase(std::string_view(name).substr(name.size() - kExtension.size()), kExtension))
                continue;
            const std::string path = platform::JoinPath(folder, name);
            // The listing follows links; a module offered is a file of the folder itself.
            const auto file = platform::LookAt(path);
            if (!file || file->What != platform::EntryFacts::Kind::Regular) continue;
            choices.push_back({name.substr(0, name.size() - kExtension.size()), path});
        }
    }
    return choices;
}

} // namespace vellocar::game
