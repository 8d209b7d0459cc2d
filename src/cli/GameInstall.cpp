// The game folder and its KEYs for --game, with the registry of this system (or of the Wine
// prefix) behind the search.

#include "GameInstall.h"

#include "Errors.h"
#include "GameFolder.h"
#include "GameKeys.h"

#ifdef _WIN32
#include "Win32Registry.h"
#else
#include "WineRegistry.h"
#endif

namespace vellocar::cli {

namespace {

std::optional<std::string> ReadRegistry(const std::string& key, const std::string& value) {
#ifdef _WIN32
    return win32::ReadRegistryString(HKEY_LOCAL_MACHINE, key, value);
#else
    return qt::ReadWineRegistryString(qt::WinePrefix(), key, value);
#endif
}

} // namespace

GameInstall FindGameInstall(const std::string& language) {
    const auto sources = ui::SystemGameFolderSources(ReadRegistry);
    GameInstall install;
    install.Folder = ui::FindGameFolder(*sources);
    if (install.Folder.empty())
        throw EVellocarError(
            "no game folder found: the registry names none (HKLM\\SOFTWARE\\BioWare\\NWN\\Neverwinter "
            "Location), and no Enhanced Edition is in NWN_ROOT, Steam, Beamdog's client or GOG; "
            "set NWN_ROOT to the game's folder, or give the KEYs");
    install.Keys = GameKeyPaths(install.Folder, language);
    if (install.Keys.empty())
        throw EVellocarError("the game folder \"" + install.Folder +
                             "\" holds none of the game's KEYs (data/nwn_base.key, or chitin.key of the classic game)");
    return install;
}

} // namespace vellocar::cli
