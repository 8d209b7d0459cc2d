#pragma once
// The game installed on this machine, for --game: the folder that the window finds (the
// classic installer's registry value, on Linux in the Wine prefix; else the Enhanced Edition
// through NWN_ROOT, Steam, Beamdog's client, GOG) and its KEYs in the game's order.

#include <string>
#include <vector>

namespace vellocar::game {

struct GameInstall {
    std::string Folder;
    std::vector<std::string> Keys; // the KEY files, lowest first: a later one wins
};

// language: the Enhanced Edition's folder below lang/ for the localized KEYs ("en", "de").
// Raises EVellocarError, saying where it looked, when no game folder is found or the folder
// holds none of the game's KEYs.
GameInstall FindGameInstall(const std::string& language);

} // namespace vellocar::game
