#pragma once
// The library folders of Beamdog's client, from its settings.json, read for the game-folder
// search. A pure function of the text, so that it can be fuzzed in memory.

#include <string>
#include <string_view>
#include <vector>

namespace vellocar::game {

// The strings of the top-level "folders" array of Beamdog's client settings.json; nothing for
// anything else, malformed JSON included.
std::vector<std::string> BeamdogLibraryFolders(std::string_view json);

} // namespace vellocar::game
