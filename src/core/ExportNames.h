#pragma once
// Whether a resource's file name can be written into the export folder as it stands.

#include <optional>
#include <string>

namespace vellocar {

// Why name cannot be used as a file name inside the export folder, or nullopt when it can.
// Refused: path separators and drive colons (the file would land outside the folder), control
// bytes and the characters *?"<>| (Windows cannot store them), "." and "..", and the Windows
// device names CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (also with the
// superscript digits 1-3), with or without an extension.
std::optional<std::string> UnsafeExportNameReason(const std::string& name);

} // namespace vellocar
