#pragma once
// The game's layers beyond its KEYs as a user names them (ResourceLayers.h): where a module
// named by its name is found, where its HAKs are looked for, and the user's folder of the game.
// The command line's layer options and the browser's "Module..." both come here.

#include "operations/ResourceLayers.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::game {

// The user's folder of the game: $NWN_HOME, as the game's own tools take it; "" when unset.
std::string UserFolder();

// The user's folder of the game where NWN_HOME names none: a classic install (chitin.key) keeps
// its override, hak and modules folders in the install itself; the Enhanced Edition keeps them in
// "Neverwinter Nights" under the user's Documents on Windows and under ~/.local/share
// ($XDG_DATA_HOME) on Linux. environment answers for the variables it is asked. "" when the
// folder is not there.
std::string DefaultUserFolder(const std::string& gameFolder,
                              const std::function<std::optional<std::string>(const std::string&)>& environment);

// What the user asked for, each empty when not asked for.
struct GameLayersAsked {
    std::string GameFolder; // the install (its ovr folder, data/mod, data/hk)
    std::string Language; // with GameFolder: its language's ovr too ("en", "de")
    std::string UserFolder; // the user's folder of the game (UserFolder()): modules, hak
    std::string Module; // a .mod or a module's folder as given, or a module's name
    std::string Override; // the user's override folder
    std::string Development; // the development folder
    std::vector<std::string> AddedFolders; // above all else, in order
};

// The module that a user names: a file or folder that exists as given; else NAME.mod in the
// user's modules folder, then in the game's data/mod. As given when none is there (it is then
// reported as unreadable when the layers are read).
std::string ModulePath(const std::string& given, const std::string& gameFolder, const std::string& userFolder);

// The layers asked for as a request for AddLayers: the module found (ModulePath), its HAKs looked
// for in the user's hak folder, then the hak folder beside the modules folder the module lies
// in, then the game's data/hk.
TLayerRequest GameLayerRequest(const GameLayersAsked& asked);

// A module a user can choose.
struct ModuleChoice {
    std::string Name; // the file's name without ".mod"
    std::string Path;
};

// The modules of the user's modules folder, then those of the game's data/mod, each folder's
// sorted by name as a folder lists them (.mod files only; links not followed). A name in both is
// listed twice, by its two paths. A folder that is missing gives none.
std::vector<ModuleChoice> ModuleChoices(const std::string& gameFolder, const std::string& userFolder);

} // namespace vellocar::game
