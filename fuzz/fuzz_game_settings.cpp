// Any bytes as Steam's libraryfolders.vdf and as Beamdog's settings.json, in memory: both readers
// come back (no crash, no unbounded recursion) with folders that are pieces of the input's
// text, never more of them than the input has quotes for.

#include "BeamdogSettings.h"
#include "FuzzCheck.h"
#include "SteamLibraries.h"

#include <algorithm>
#include <string>
#include <string_view>

using namespace vellocar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto quotes = static_cast<std::size_t>(std::count(text.begin(), text.end(), '"'));
    const auto steam = game::SteamLibraryFolders(text);
    const auto beamdog = game::BeamdogLibraryFolders(text);
    std::size_t bytes = 0;
    for (const std::string& folder : steam) bytes += folder.size();
    for (const std::string& folder : beamdog) bytes += folder.size();
    fuzz::Check(bytes <= 2 * size, "the folders hold more text than the input");
    fuzz::Check(beamdog.size() <= quotes / 2, "more Beamdog folders than quoted strings");
    return 0;
}
