#pragma once
// The names of the files a build keeps beside each of its targets while it runs: its journal and
// its lock, the temporary that holds the new file until it moves into place, and the temporary
// under which the earlier backup waits. A later run acts on such files only when they have
// exactly these forms for a target in that same folder, so the rules are pure functions of the
// target's name, the same however the folder is reached and whichever system reads them.

#include "Paths.h"

#include <string>
#include <string_view>

namespace vellocar {

inline constexpr char kJournalKind[] = "journal";
inline constexpr char kLockKind[] = "lock";
inline constexpr char kBackupSuffix[] = ".bak";
// What a journal is written to before it takes the journal's own name in one rename.
inline constexpr char kReplacementSuffix[] = ".new";

// The name of target's side file of kind ("journal", "lock") in target's folder. Elsewhere than
// Windows: hidden, and the same for every spelling of the target (letters in capitals), since a
// folder that folds case takes two spellings for one KEY: ".MOD.KEY.journal". On Windows the
// volume compares names itself: "mod.key.journal".
std::string SideFileName(std::string_view targetName, std::string_view kind, TPathSystem system);

// Whether name is one file's name in a folder of that system: not empty, at most 255 bytes, no
// separator, no control character, not "." or "..", and on Windows no colon (a stream).
bool IsPlainFileName(std::string_view name, TPathSystem system);

// Whether folder is an absolute path of that system with no "." or ".." among its parts, as a
// build writes its folders down ("/home/u/mods", "C:\mods", "\\server\share\mods").
bool IsAbsoluteFolder(std::string_view folder, TPathSystem system);

// Whether candidate is a temporary name that this program gives beside a file named owner:
// owner's name, a point and a tag of letters, digits and dashes, optionally ending in ".tmp",
// hidden by a leading point or not (".mod.key.4711-0.tmp", "mod.key.1f3-2.tmp"). The tags that
// would name the owner's journal, lock or backup are not temporaries.
bool IsTemporaryNameOf(std::string_view candidate, std::string_view owner);

} // namespace vellocar
