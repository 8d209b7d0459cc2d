#pragma once
// The registry the classic installer wrote the game's folder into, as this system keeps it:
// HKEY_LOCAL_MACHINE on Windows (Win32Registry.cpp); on Linux, where the game runs under Wine,
// the registry of the Wine prefix (WineRegistry.cpp).

#include <optional>
#include <string>

namespace vellocar::game {

// A string value under HKEY_LOCAL_MACHINE\key (read-only access, the 32-bit view too), taken as
// stored; nothing when the key or value is missing or refused. Raises EVellocarError "Invalid
// data type for '<value>'" for a non-empty value of another type.
std::optional<std::string> MachineRegistryString(const std::string& key, const std::string& value);

} // namespace vellocar::game
