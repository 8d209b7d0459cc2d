#pragma once
// Path separators and the joining of paths, for a system that the caller names: the game's
// folders are spelled as the system they are installed on spells them, and a KEY's stored names
// use either separator. Pure functions, the same on every system; which system this program runs
// on is the platform's to say (platform::kHostPathSystem).

#include <string>
#include <string_view>

namespace vellocar {

enum class TPathSystem { Windows, Posix };

inline constexpr char SeparatorOf(TPathSystem system) { return system == TPathSystem::Windows ? '\\' : '/'; }

// Whether c separates the parts of a path there: "\" and "/" on Windows, "/" elsewhere.
inline constexpr bool IsSeparatorOf(TPathSystem system, char c) {
    return c == '/' || (system == TPathSystem::Windows && c == '\\');
}

// Whether c separates the parts of a name stored in a KEY ("data\2da.bif"): "\" and "/" alike,
// as Windows reads them.
inline constexpr bool IsAnySeparator(char c) { return IsSeparatorOf(TPathSystem::Windows, c); }

// folder and name with one separator of that system between them; name alone for no folder.
inline std::string JoinPath(std::string folder, std::string_view name, TPathSystem system) {
    if (folder.empty()) return std::string(name);
    if (!IsSeparatorOf(system, folder.back())) folder += SeparatorOf(system);
    folder += name;
    return folder;
}

// folder without the separators it ends with, but for a lone one, which names the root.
inline std::string TrimSeparators(std::string folder, TPathSystem system) {
    while (folder.size() > 1 && IsSeparatorOf(system, folder.back())) folder.pop_back();
    return folder;
}

// A folder as the system takes it: "." (the working folder) for "".
inline std::string HereIfEmpty(const std::string& folder) { return folder.empty() ? std::string(".") : folder; }

} // namespace vellocar
