#pragma once
// The registry read that the window's dialogs and the command-line tool's game folder share.

#include <windows.h>

#include <optional>
#include <string>

namespace vellocar::game {

// A string value under root\key, read with read access only: first in the program's own view
// of the registry, then in the 32-bit view, where a 32-bit installer writes. REG_SZ and
// REG_EXPAND_SZ are taken as stored (nothing expanded), up to the first NUL. Nothing when the
// key or value is missing, empty or refused; EVellocarError "Invalid data type for '<value>'"
// for a non-empty value of any other type.
std::optional<std::string> ReadRegistryString(HKEY root, const std::string& key, const std::string& value);

} // namespace vellocar::game
