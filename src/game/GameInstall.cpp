// The game folder and its KEYs for --game, with the registry of this system (or of the Wine
// prefix) behind the search.

#include "GameInstall.h"

#include "Errors.h"
#include "GameFolder.h"
#include "GameKeys.h"
#include "MachineRegistry.h"
#include "Text.h"

#include <algorithm>

namespace vellocar::game {

namespace {

// How many of the places passed over a message names.
constexpr std::size_t kPassedOverShown = 8;

} // namespace

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
