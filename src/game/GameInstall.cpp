// The game folder and its KEYs for --game, with the registry of this system (or of the Wine
// prefix) behind the search.

#include "GameInstall.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "GameFolder.h"
#include "MachineRegistry.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellocar::game {

namespace {

// How many of the places passed over a message names.
constexpr std::size_t kPassedOverShown = 8;

// The Enhanced Edition's KEYs, lowest first; each is looked for in the language's folder first.
constexpr std::array<std::string_view, 4> kEnhancedKeys{"nwn_base", "nwn_base_loc", "nwn_retail", "nwn_retail_loc"};
// The classic game's KEYs beside its executable: the base game, its patch, then each
// expansion and its patch.
constexpr std::array<std::string_view, 8> kClassicKeys{"chitin", "patch",    "xp1", "xp1patch",
                                                       "xp2",    "xp2patch", "xp3", "xp3patch"};

} // namespace

std::vector<std::string> GameKeyPaths(const std::string& gameFolder, const std::string& language) {
    std::vector<std::string> paths;
    const auto at = [&](const std::string& storedName) { return platform::ResolveStoredName(gameFolder, storedName); };
    if (platform::IsRegularFile(at("data\\nwn_base.key"))) {
        for (std::string_view stem : kEnhancedKeys) {
            const std::string name = std::string(stem) + ".key";
            const std::string localized = at("lang\\" + language + "\\data\\" + name);
            const std::string shared = at("data\\" + name);
            if (platform::IsRegularFile(localized))
                paths.push_back(localized);
            else if (platform::IsRegularFile(shared))
                paths.push_back(shared);
        }
        return paths;
    }
    for (std::string_view stem : kClassicKeys)
        if (const std::string path = at(std::string(stem) + ".key"); platform::IsRegularFile(path))
            paths.push_back(path);
    return paths;
}

std::string GameDialogTlkPath(const std::string& gameFolder, const std::string& language) {
    for (const std::string& stored : {"lang\\" + language + "\\data\\dialog.tlk", std::string("dialog.tlk")})
        if (const std::string path = platform::ResolveStoredName(gameFolder, stored); platform::IsRegularFile(path))
            return path;
    return {};
}

GameInstall FindGameInstall(const std::string& language) {
    const auto sources = SystemGameFolderSources(MachineRegistryString);
    const TGameSearch found = FindGame(*sources, RegistryGameFolder(*sources));
    if (found.Folder.empty()) {
        std::string passed;
        const std::size_t shown = std::min(found.PassedOver.size(), kPassedOverShown);
        for (std::size_t i = 0; i < shown; ++i) passed += (i == 0 ? "" : ", ") + found.PassedOver[i];
        if (found.PassedOver.size() > shown)
            passed += " and " + std::to_string(found.PassedOver.size() - shown) + " more";
        throw EVellocarError(
            "no game folder found: " +
            (passed.empty()
                 ? std::string("NWN_ROOT is not set, the registry names no folder "
                               "(HKLM\\SOFTWARE\\BioWare\\NWN\\Neverwinter Location)")
                 : "none of the game's KEYs (data/nwn_base.key, or chitin.key of the classic game) in " + passed) +
            ", and no Enhanced Edition is in Steam's, Beamdog's or GOG's folders; set NWN_ROOT to the game's "
            "folder, or give the KEYs");
    }
    GameInstall install;
    install.Folder = found.Folder;
    install.Keys = GameKeyPaths(install.Folder, language);
    if (install.Keys.empty())
        throw EVellocarError("the game folder " + QuotedPath(install.Folder) +
                             " holds none of the game's KEYs (data/nwn_base.key, or chitin.key of the classic game)");
    return install;
}

} // namespace vellocar::game
