#pragma once
// Names on both sides of an archive. Inside a KEY a name is single bytes in Windows-1252, the
// code page the game reads them in. Outside it is a file name of this system: on Windows the
// same bytes (the ...A functions take them in the system's code page), elsewhere UTF-8. So a
// folder packs to the same bytes on every system, and what one system packs, another exports
// under the same name. Pure functions; the build, the export and the lists call them where a
// name crosses from one side to the other.

#include "Text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellocar {

// The bytes an archive stores for a file name of this system: on Windows the name itself,
// elsewhere its Windows-1252 form. Nothing when the archive cannot hold the name (on Windows, a
// "?" that the folder listing put for a character outside the system's code page).
std::optional<std::string> ArchiveNameOf(std::string_view fileName);

// A file of this system's folder as an archive names it.
struct TArchiveName {
    std::string Bytes; // the file name as the archive holds it; valid when Problem is empty
    std::string Problem; // why the file cannot be packed under its name; "" when it can
};

// Refused, so that nothing is packed that cannot come back out: a name the archive cannot hold
// (not UTF-8, or holding characters outside Windows-1252; on Windows, outside the system's code
// page, which the folder listing marks with "?"), a name holding control characters, and a
// name whose resource ("name.ext") export would not write (UnsafeExportNameReason).
TArchiveName ArchiveNameOfFile(std::string_view fileName);

// What makes two resources of an archive one, as the game looks them up: the ResRef (its bytes
// up to the first zero) with its letters folded (FoldArchiveLetter), and the type. Two resources
// are one exactly when their keys are equal. The one rule behind every such question: a build
// refuses two sources that would be one resource, verify reports two entries that are, and an
// export writes one file for them.
std::string ResourceKey(std::string_view resRef, std::uint16_t type);

// How this system shows a name from an archive in a list: on Windows its bytes; elsewhere
// decoded from Windows-1252 into UTF-8, with the undefined bytes kept.
std::string ShownName(std::string_view archiveName);

// The file name this system writes for a name from an archive: on Windows its bytes; elsewhere
// decoded from Windows-1252 into UTF-8, with the undefined bytes written as \xHH, the way a
// terminal listing shows them.
std::string FileNameOfArchiveName(std::string_view archiveName);

} // namespace vellocar
