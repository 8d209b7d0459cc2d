#pragma once
// Moving finished files into place, each replacing the file at its name, which is kept under
// its backup name (the name with ".bak" appended).
//
// The order of the moves is chosen so that a failure at any step can be undone: an old backup
// is only set aside (under a temporary name) until every new file is in place, and deleted
// after that. If a move fails, the moves made so far are taken back in reverse order, so the
// user is left with every file, backups included, at its earlier name.

#include <string>
#include <vector>

namespace vellocar {

inline constexpr char kBackupSuffix[] = ".bak";

// One file to move into place: Temporary (complete and closed) becomes Path, and what stood at
// Path becomes Path + ".bak".
struct TReplacement {
    std::string Path;
    std::string Temporary;
};

// The moves a rotation makes, apart so that a test can fail any one of them.
class TFileMover {
public:
    virtual ~TFileMover() = default;
    // Renames without replacing; raises EInOutError on failure.
    virtual void Rename(const std::string& from, const std::string& to);
    virtual bool Exists(const std::string& path);
    // Deletes a file; false when it could not.
    virtual bool Remove(const std::string& path);
};

// Moves every replacement into place, in order. On failure the files are put back as they
// were and EInOutError is raised with the system's reason followed by what state the files
// are in (everything back at its name, or which file could not be put back, and where it is).
// Old backups that this replaced are deleted only once every file is in place; the backup of
// a file that did not exist before ends up deleted, so that each backup name holds what this
// rotation replaced, or nothing.
void ReplaceKeepingBackups(const std::vector<TReplacement>& files, TFileMover& mover);
void ReplaceKeepingBackups(const std::vector<TReplacement>& files);

} // namespace vellocar
