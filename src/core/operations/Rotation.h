#pragma once
// Moving a build's finished files into place, each replacing the file at its name, which is kept
// under its backup name (the name with ".bak" appended); journaled, so that a build that dies
// on the way is finished or undone by the next run that touches its files.
//
// For each file in turn: the earlier backup steps aside under a temporary name (only when a
// current file is there to take its place: a backup is only ever replaced by a newer one), the
// current file becomes the backup, and the new file moves into place. The earlier backups are
// deleted only once every file is in place. A failed move takes every step back, in reverse
// order, so the user is left with every file, backups included, at its earlier name.
//
// Every step is one rename, and the journal says which names each file moves through and
// whether a current file stood at its name: from which of those names exist, a later run tells
// exactly how far a dead build came (RecoverRotation).

#include "Journal.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

inline constexpr char kBackupSuffix[] = ".bak";
inline constexpr char kJournalKind[] = "journal";

// One file to move into place: Temporary (complete and closed) becomes Path, and what stood at
// Path becomes Path + ".bak".
struct TReplacement {
    std::string Path;
    std::string Temporary;
};

// What a rotation does to the disk, apart so that a test can fail or stop any one step. Each
// change is made durable (the folder synced) before it returns.
class TFileMover {
public:
    virtual ~TFileMover() = default;
    // Renames without replacing; raises EInOutError on failure.
    virtual void Rename(const std::string& from, const std::string& to);
    virtual bool Exists(const std::string& path);
    // The size of a regular file; nothing when there is none.
    virtual std::optional<std::uint64_t> SizeOf(const std::string& path);
    // Deletes a file; false when it could not.
    virtual bool Remove(const std::string& path);
    // Writes the journal at path, replacing the one there in one step: a crash leaves the old
    // journal or the new one, whole.
    virtual void WriteJournal(const std::string& path, const TJournal& journal);
};

// The journal paths of a rotation: one beside each of its targets, so that a run that touches
// any of them finds it.
std::vector<std::string> JournalPaths(const TJournal& journal);

// The rotation of one build, from the first journal to the last move.
class TRotation {
public:
    TRotation(const std::vector<TReplacement>& files, TFileMover& mover);

    // Before the temporaries are written: the journal that names them, so that a build killed
    // while writing hundreds of megabytes leaves nothing behind once the next run has looked.
    void Begin();

    // Moves every file into place (see above) and removes the journal. On failure the files
    // are put back, the temporaries and the journal removed, and the error raised; a failed
    // move raises EInOutError with the system's reason followed by what state the files are in
    // (everything back at its name, or which file could not be put back and where it is; the
    // journal then stays, so that the next run finishes putting them back).
    void Commit();

    // For a build that fails before Commit: removes the temporaries and the journal.
    void Abandon() noexcept;

    // The backups that were kept because no current file was there to replace them.
    const std::vector<std::string>& KeptBackups() const { return kept_; }

private:
    TFileMover& mover_;
    TJournal journal_;
    std::vector<std::string> journals_;
    std::vector<std::string> given_; // the targets as the caller spelled them
    std::vector<std::string> kept_;
};

// Finishes the rotation that journal describes, whose build no longer runs (the caller holds the
// locks of its files): for a build stopped while writing, its temporaries are removed; for one
// stopped while moving, the rotation is finished when every new file is whole (in place or still
// at its temporary name), and otherwise undone, earlier backups included. Then the leftover
// temporaries and the journals go. Returns a sentence on what was done. Raises EJournalError,
// changing nothing, when the files no longer match the journal (renamed or replaced since), and
// EInOutError when a move fails (the journal then says to undo, for the next run).
std::string RecoverRotation(const TJournal& journal, TFileMover& mover);

} // namespace vellocar
