#pragma once
// Where the game is installed, for the dialogs' start folders and the command line's --game:
// the folder the user names in NWN_ROOT, the classic installer's registry value, else the
// Enhanced Edition's folder, which writes no BioWare registry value and is found the way the
// community's tools find it: Steam's libraries, Beamdog's client and GOG. A folder counts only
// when it holds the game's KEYs, so a stale entry (an uninstalled game, a moved library) is
// passed over.

#include "platform/Platform.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar::game {

// The classic installer's registry value: the game's folder.
inline constexpr std::string_view kRegistryKey = "SOFTWARE\\BioWare\\NWN\\Neverwinter";
inline constexpr std::string_view kRegistryValue = "Location";

// What the search reads, so that tests can point it at a made-up install.
class GameFolderSources {
public:
    virtual ~GameFolderSources() = default;
    // An environment variable; nothing when it is unset or empty.
    virtual std::optional<std::string> Environment(const std::string& name) const = 0;
    // A string value under HKEY_LOCAL_MACHINE; nothing when missing, refused or not a string.
    virtual std::optional<std::string> RegistryString(const std::string& key, const std::string& value) const = 0;
    virtual bool IsFile(const std::string& path) const = 0;
    // A small text file's bytes; nothing when it is missing, unreadable or too large.
    virtual std::optional<std::string> ReadText(const std::string& path) const = 0;
};

// The sources of this machine: the process's environment, the files, and the registry as
// registry reads it (a string value under HKEY_LOCAL_MACHINE; MachineRegistryString, or the
// window's own read of it).
using RegistryReader = std::function<std::optional<std::string>(const std::string& key, const std::string& value)>;
std::unique_ptr<GameFolderSources> SystemGameFolderSources(RegistryReader registry);

// What the search for the game found.
struct TGameSearch {
    std::string Folder; // the game's folder; "" when no place holds its KEYs
    bool Enhanced = false; // its KEYs lie in its data folder (the Enhanced Edition), else beside it
    // The folders that a setting named and that hold none of the game's KEYs, in the order
    // searched, each after the setting ("NWN_ROOT "/old/nwn""): where a message that nothing
    // was found says the program looked. Places merely guessed are not named.
    std::vector<std::string> PassedOver;
};

// The game's folder, searched in this order: $NWN_ROOT; the classic installer's registry folder
// (registryFolder, from RegistryGameFolder or the window's registry; "" for none); Steam's
// default library and the libraries its libraryfolders.vdf lists (steamapps/common/Neverwinter
// Nights); the folders listed in Beamdog's client settings.json (the game's product folder
// inside each); GOG (its registry entry on Windows, its default folder on both). The first
// folder that holds the game's KEYs (data/nwn_base.key, or chitin.key of the classic game) is
// taken; a stale place (an uninstalled game, a moved library) is passed over. The places are
// spelled as system spells paths.
TGameSearch FindGame(const GameFolderSources& sources, const std::string& registryFolder,
                     TPathSystem system = platform::kHostPathSystem);

// The classic installer's game folder from its registry value: the text up to the first zero
// character; empty for no value.
std::string ClassicGameFolder(std::optional<std::string> registryValue);

// The same read through sources' registry (which raises for a value of another type).
std::string RegistryGameFolder(const GameFolderSources& sources);

} // namespace vellocar::game
