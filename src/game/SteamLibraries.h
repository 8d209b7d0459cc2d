#pragma once
// Steam's list of its library folders (libraryfolders.vdf, in Valve's KeyValues text), read for
// the game-folder search. A pure function of the text, so that it can be fuzzed in memory.

#include <string>
#include <string_view>
#include <vector>

namespace vellocar::game {

// The library folders that Steam's libraryfolders.vdf lists, in file order, both layouts:
// "path" values of the numbered blocks (current), and numbered string values (older clients).
// Malformed text gives what could be read before the fault.
std::vector<std::string> SteamLibraryFolders(std::string_view vdf);

} // namespace vellocar::game
