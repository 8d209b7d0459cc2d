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

// The KEY files of the game installed in gameFolder that exist, in the game's order, lowest
// first (the last one wins):
//   Enhanced Edition  data/nwn_base.key, nwn_base_loc.key, nwn_retail.key, nwn_retail_loc.key,
//                     each looked for in lang/<language>/data first, then in data
//   classic (1.69)    chitin.key, patch.key, xp1.key, xp1patch.key, xp2.key, xp2patch.key,
//                     xp3.key, xp3patch.key in the game folder itself
// A KEY that an install does not have is passed over; empty when none is there. language is the
// folder name below lang/ ("en", "de", ...).
std::vector<std::string> GameKeyPaths(const std::string& gameFolder, const std::string& language);

// The game's talk table (dialog.tlk) in gameFolder for language ("en", "de", ...): the
// Enhanced Edition's lang/<language>/data/dialog.tlk, else the classic game's dialog.tlk in the
// folder itself; "" when neither is there.
std::string GameDialogTlkPath(const std::string& gameFolder, const std::string& language);

// language: the Enhanced Edition's folder below lang/ for the localized KEYs ("en", "de").
// Raises EVellocarError, saying where it looked, when no game folder is found or the folder
// holds none of the game's KEYs.
GameInstall FindGameInstall(const std::string& language);

} // namespace vellocar::game
