#pragma once
// Names on both sides of an archive. Inside a KEY a name is single bytes in Windows-1252, the
// code page the game reads them in. Outside it is a file name of this system: on Windows the
// same bytes (the ...A functions take them in the system's code page), elsewhere UTF-8. So a
// folder packs to the same bytes on every system, and what one system packs, another exports
// under the same name. Pure functions; the build, the export and the lists call them where a
// name crosses from one side to the other.

#include <optional>
#include <string>
#include <string_view>

namespace vellocar {

// Whether text is well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// What becomes of the five bytes that Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D).
enum class TUndefinedBytes {
    AsControls, // the C1 controls of the same value, as Windows itself maps them
    Kept, // the bytes themselves, not valid UTF-8 (a terminal shows them as \xHH)
    Escaped, // the four characters \xHH
};

std::string Windows1252ToUtf8(std::string_view bytes, TUndefinedBytes undefined = TUndefinedBytes::AsControls);

// The Windows-1252 bytes of UTF-8 text; nothing when the text is not valid UTF-8 or holds a
// character that Windows-1252 lacks. The C1 controls U+0081, U+008D, U+008F, U+0090 and U+009D
// give their own byte, the reverse of TUndefinedBytes::AsControls.
std::optional<std::string> Utf8ToWindows1252(std::string_view text);

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

// How this system shows a name from an archive in a list: on Windows its bytes; elsewhere
// decoded from Windows-1252 into UTF-8, with the undefined bytes kept.
std::string ShownName(std::string_view archiveName);

// The file name this system writes for a name from an archive: on Windows its bytes; elsewhere
// decoded from Windows-1252 into UTF-8, with the undefined bytes written as \xHH, the way a
// terminal listing shows them.
std::string FileNameOfArchiveName(std::string_view archiveName);

} // namespace vellocar
