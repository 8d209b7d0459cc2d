#pragma once
// Names on both sides of an archive. Inside a KEY a name is single bytes in Windows-1252, the
// code page the game reads them in (TArchiveName). Outside it is a name as this system shows it
// and spells its files by (a plain string, as every other text of the program): on Windows the
// same bytes (the ...A functions take them in the system's code page), elsewhere UTF-8. So a
// folder packs to the same bytes on every system, and what one system packs, another exports
// under the same name. The one place where a name crosses from one side to the other; how this
// system spells its names is the caller's to say (platform::kHostSpelling).

#include "base/Text.h"
#include "names/ResourceTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {

// How a system spells its file names, against the Windows-1252 of an archive.
enum class TNameSpelling {
    CodePage, // in the system's code page (Windows): the archive's bytes as they stand
    Utf8, // in UTF-8 (Linux and the rest)
};

// A name as an archive's bytes hold it: a ResRef, a resource's line ("name.ext"), a BIF's name as
// a KEY stores it.
struct TArchiveName {
    std::string Bytes;
    bool operator==(const TArchiveName&) const = default;
};

// The bytes an archive stores for a file name of a system that spells names so. Nothing when
// the archive cannot hold the name (in a code page, a "?" that the folder listing put for a
// character outside it; in UTF-8, a name that is not UTF-8 or holds a character that
// Windows-1252 lacks).
std::optional<TArchiveName> ArchiveNameOf(std::string_view fileName, TNameSpelling spelling);

// A file of a folder as an archive names it; valid when Problem is empty.
struct TPackedName {
    TArchiveName BaseName; // the name without its extension, which runs from the last point
    TResType Type = kUnknownResType; // the type its extension gives
    std::string Problem; // why the file cannot be packed under its name; "" when it can
};

// Refused, so that nothing is packed that cannot come back out: a name the archive cannot hold
// (ArchiveNameOf), a name holding control characters, and a name whose resource ("name.ext")
// export would not write (UnsafeExportNameReason).
TPackedName ArchiveNameOfFile(std::string_view fileName, TNameSpelling spelling);

// Sorts the file names of a folder of a system that spells names so in the order NTFS lists a
// folder (FolderOrderLess) of the names as an archive holds them (ArchiveNameOf; a name it
// cannot hold as it stands), ties broken by the names themselves: both systems give one folder
// one order.
void SortInFolderOrder(std::vector<std::string>& names, TNameSpelling spelling);

// What makes two resources of an archive one, as the game looks them up: the ResRef (its bytes
// up to the first zero) with its letters folded (FoldArchiveLetter), and the type. Two resources
// are one exactly when their keys are equal. The one rule behind every such question: a build
// refuses two sources that would be one resource, verify reports two entries that are, and an
// export writes one file for them.
std::string ResourceKey(std::string_view resRef, std::uint16_t type);

// A resource's line around its last point: "c_bugbear.tga" gives "c_bugbear" and "tga"; a line
// without a point is all stem and no extension.
TArchiveName StemOf(const TArchiveName& line);
TArchiveName ExtensionOf(const TArchiveName& line);

// How a system shows a name from an archive in a list or a message: in a code page its bytes;
// in UTF-8 decoded from Windows-1252, with the undefined bytes kept.
std::string ShownName(const TArchiveName& name, TNameSpelling spelling);
// The same for the bytes of a name that has no string of its own (a line made on the fly),
// appended to out.
void AppendShownName(std::string& out, std::string_view archiveBytes, TNameSpelling spelling);

// The file name a system writes for a name from an archive: in a code page its bytes; in UTF-8
// decoded from Windows-1252, with the undefined bytes written as \xHH, the way a terminal
// listing shows them.
std::string FileNameOf(const TArchiveName& name, TNameSpelling spelling);

} // namespace vellocar
