#pragma once
// The names of the files a build keeps beside each of its targets while it runs: its journal and
// its lock, the temporary that holds the new file until it moves into place, and the temporary
// under which the earlier backup waits. A later run acts on such files only when they have
// exactly these forms for a target in that same folder, so the rules are pure functions of the
// target's name, the same however the folder is reached and whichever system reads them.

#include "base/Paths.h"

#include <cstdint>
#include <optional>
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

// The one form of a build's temporaries: the name under which the new file for a target named
// owner is written, and (with owner + ".bak") where the earlier backup waits while the files
// move, made from the owner's name and the build's token (16 hexadecimal digits), hidden by a
// leading point elsewhere than Windows: ".mod.key.0123456789abcdef.tmp", on Windows
// "mod.key.0123456789abcdef.tmp". Nothing else is ever a temporary of this program's, so a
// later run acts on no other name, whatever a journal says.
std::string OwnTemporaryName(std::string_view owner, std::uint64_t token, TPathSystem system);

// The token of candidate when it is a temporary of owner's (OwnTemporaryName for some token);
// nothing otherwise. For removing the temporaries that a dead build of owner left.
std::optional<std::uint64_t> OwnTemporaryToken(std::string_view candidate, std::string_view owner, TPathSystem system);

} // namespace vellocar
