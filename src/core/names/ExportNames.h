#pragma once
// Whether a resource's file name can be written into the export folder as it stands.

#include <optional>
#include <string>
#include <string_view>

namespace vellocar {

// Why name cannot be used as a file name inside the export folder, or nullopt when it can.
// Refused: path separators and drive colons (the file would land outside the folder), control
// bytes and the characters *?"<>| (Windows cannot store them), "." and "..", and the Windows
// device names (IsWindowsDeviceName).
std::optional<std::string> UnsafeExportNameReason(std::string_view name);

// Whether Windows opens a device rather than a file for this name (no folder): CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with the superscript digits 1-3), in any
// letter case, with or without an extension, trailing blanks of the stem ignored.
bool IsWindowsDeviceName(std::string_view name);

} // namespace vellocar
