#pragma once
// Path separators and the joining of paths, for this system and for another one: the game's
// folders are spelled as the system they are installed on spells them, and a KEY's stored names
// use either separator. Pure functions, the same on every system.

#include <string>
#include <string_view>

namespace vellocar {

enum class TPathSystem { Windows, Posix };

#ifdef _WIN32
inline constexpr TPathSystem kHostPathSystem = TPathSystem::Windows;
#else
inline constexpr TPathSystem kHostPathSystem = TPathSystem::Posix;
#endif

inline constexpr char SeparatorOf(TPathSystem system) { return system == TPathSystem::Windows ? '\\' : '/'; }

// Whether c separates the parts of a path there: "\" and "/" on Windows, "/" elsewhere.
inline constexpr bool IsSeparatorOf(TPathSystem system, char c) {
    return c == '/' || (system == TPathSystem::Windows && c == '\\');
}

// Whether c separates the parts of a name stored in a KEY ("data\2da.bif"): "\" and "/" alike.
inline constexpr bool IsAnySeparator(char c) { return c == '\\' || c == '/'; }

// folder and name with one separator of that system between them; name alone for no folder.
inline std::string JoinPath(std::string folder, std::string_view name, TPathSystem system = kHostPathSystem) {
    if (folder.empty()) return std::string(name);
    if (!IsSeparatorOf(system, folder.back())) folder += SeparatorOf(system);
    folder += name;
    return folder;
}

} // namespace vellocar
