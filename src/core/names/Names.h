#pragma once
// Comparing names the way the game's files and Windows do: letters without regard to case, and
// the two path separators of a name stored in a KEY as one. Pure functions, the same on every
// system.

#include "base/Paths.h"
#include "base/Text.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vellocar {

bool EqualIgnoringCase(std::string_view a, std::string_view b);

// The small letter of a capital of Windows-1252, the code page of the names inside an archive:
// A to Z, the accented capitals from À to Þ (but ×), Š, Œ, Ž and Ÿ; any other byte stands for
// itself. The letters pair up as in the table of capitals that WindowsNameKey folds file names
// with, so that a name in an archive and the file it is exported to fold alike. The one fold
// of resource names: patterns, the game's lookup and the rule of what is one resource
// (ResourceKey) all go through it.
char FoldArchiveLetter(char c);
// The same for every byte of name, in place.
void FoldArchiveLetters(std::span<char> name);

// The order in which NTFS lists a folder, for names of ASCII letters: without regard to case,
// letters folded to capitals (so "_x" follows "Z"), ties broken by the bytes themselves so that
// the order is total and a listing comes out the same on every system and every run.
bool FolderOrderLess(std::string_view a, std::string_view b);

// Whether two names stored in a KEY stand for the same BIF: "\" and "/" count equal, and so do
// letters of either case (FoldArchiveLetter), as the Windows file system reads them
// ("DATA\ONE.BIF" and "data/one.bif", "data\É.bif" and "data\é.bif").
bool SameStoredName(std::string_view a, std::string_view b);

// The last part of a name stored in a KEY: what follows its last "\" or "/" ("2da.bif" of
// "data\2da.bif"); the whole name when it has none.
std::string_view LastPartOfStoredName(std::string_view name);

// The form in which SameStoredName compares a stored name ("\" for "/", letters folded): two
// names stand for the same BIF exactly when their keys are equal.
std::string StoredNameKey(std::string_view name);

// Whether path ends with storedName right after a separator (or is storedName), "\" and "/"
// counting equal, ASCII case ignored when ignoreCase is set.
bool PathEndsWithName(std::string_view path, std::string_view storedName, bool ignoreCase);

// Whether storedName occurs anywhere in path, "\" and "/" counting equal, ASCII case ignored
// when ignoreCase is set. An empty name occurs nowhere.
bool PathContainsName(std::string_view path, std::string_view storedName, bool ignoreCase);

// A file name (no folder) in the form in which a Windows volume compares it: trailing dots and
// blanks dropped, and every letter in capitals, as the volume's own table of capitals does it.
// The name is read as UTF-8, the names of a Linux folder that folds case (a FAT stick, an NTFS
// partition mounted to ignore case): the letters of the Latin, Greek and Cyrillic alphabets are
// folded; bytes that are not UTF-8 are compared as they are, ASCII letters folded.
std::string WindowsNameKey(std::string_view name);

} // namespace vellocar
