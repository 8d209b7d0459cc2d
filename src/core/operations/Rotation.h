#pragma once
// Moving a build's finished files into place, each replacing the file at its name, which is kept
// under its backup name (the name with ".bak" appended); journaled, so that a build that dies
// on the way is finished or undone by the next run that touches its files.
//
// For each file in turn: the earlier backup steps aside under a temporary name (only when a
// current file is there to take its place: a backup is only ever replaced by a newer one), the
// current file becomes the backup, and the new file moves into place. The earlier backups are
// deleted only once every file is in place. A failed move takes every step back, in reverse
// order, so the user is left with every file, backups included, at its earlier name; the
// journal says so before the temporaries go.
//
// Every step is one rename, and the journal says which names each file moves through, and how
// to know the new file and the one it replaces (by identity, else by size and checksum): from
// what stands at those names, a later run tells exactly how far a dead build came
// (RecoverRotation). A journal is input like any other file: it is acted on only for the names
// this program gives its own files beside each target, and only in folders where a journal of
// the same build stands.

#include "formats/Journal.h"
#include "names/SideFileNames.h"
#include "platform/Platform.h"
#include "platform/SafeFolders.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

// What a file holds, as far as a rotation looks: the checksum of its first and last blocks.
struct TContentMark {
    std::uint32_t Checksum = 0;
};

// What a rotation does to and learns from the disk, apart so that a test can fail or stop any
// one step, and recovery can run over a folder held in memory. Each change is made durable
// (the folder synced) before it returns.
class TFileMover {
public:
    virtual ~TFileMover() = default;
    // Renames without replacing; raises EInOutError on failure.
    virtual void Rename(const std::string& from, const std::string& to);
    // Deletes a file; false when it could not.
    virtual bool Remove(const std::string& path);
    // Writes the journal at path, replacing the one there in one step: a crash leaves the old
    // journal or the new one, whole.
    virtual void WriteJournal(const std::string& path, const TJournal& journal);
    // The bytes of the journal at path (at most one more than a journal can hold); nothing when
    // no entry is there. Raises EUntrustedFile when what stands there is no ordinary file.
    virtual std::optional<std::vector<std::uint8_t>> ReadJournal(const std::string& path);
    // What stands at path, never looking through a link.
    virtual std::optional<platform::EntryFacts> LookAt(const std::string& path);
    // What the ordinary file at path holds; nothing when it cannot be read.
    virtual std::optional<TContentMark> Content(const std::string& path);
    // Whether a and b name one file, however each is spelled.
    virtual bool SameFile(const std::string& a, const std::string& b);
    // Whether folder's file system keeps a file's identity (platform::FolderKeepsIdentities).
    virtual bool KeepsIdentities(const std::string& folder);

private:
    const platform::HeldFolder& Hold(const std::string& folder);
    std::map<std::string, platform::HeldFolder> folders_; // each opened once, by the name first used
};

// A fresh random token for one build: its journals carry it, and its temporaries' names.
std::uint64_t NewBuildToken();

// The journal paths of a build: one beside each of its targets (one for two targets that share
// it), the last target's (the KEY's) first, so that it is written before any other and removed
// after all others.
std::vector<std::string> JournalPaths(const TJournal& journal);

// The rotation of one build, from the first journal to the last move.
class TRotation {
public:
    // The rotation of targets, whose new files are written to Temporary(i) (OwnTemporaryName of
    // the target's name and token, beside it) before Commit.
    TRotation(const std::vector<std::string>& targets, TFileMover& mover, std::uint64_t token = NewBuildToken());

    // Where the new file of targets[i] is to be written, in the folder as the caller spelled it.
    const std::string& Temporary(std::size_t i) const { return temporaries_[i]; }

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
    void WriteJournals(TJournalPhase phase);
    TFileMover& mover_;
    TJournal journal_;
    std::vector<std::string> journals_;
    std::vector<std::string> given_; // the targets as the caller spelled them
    std::vector<std::string> temporaries_;
    std::vector<std::string> kept_;
};

// What a journal may act on: its targets (the files it stands beside, and those in other
// folders beside which a journal of the same build stands), and how far the build had come.
struct TJournalScope {
    std::vector<std::string> Targets;
    TJournalPhase Phase = TJournalPhase::Writing;
};

// The scope of the journal at journalPath; nothing when no journal is there. Raises
// EJournalError, naming the journal and what does not belong, for one that cannot be trusted:
// damaged, of another version, or naming anything but this program's own names for a target
// beside it (another folder's files without a journal of the same build there, "..", a name
// not of the form this program gives). Changes nothing.
std::optional<TJournalScope> ReadJournalScope(const std::string& journalPath, TFileMover& mover);

// Finishes the rotation that the journal at journalPath describes, whose build no longer runs
// (the caller holds the locks of its targets): for a build stopped while writing (or whose
// failed rotation was undone), its temporaries are removed; for one stopped while moving, the
// rotation is finished when every new file is whole (in place or still at its temporary name),
// and otherwise undone, earlier backups included. Then the journals go. Returns a sentence on
// what was done, "" when no journal is there. Raises EJournalError, changing nothing, for a
// journal that cannot be trusted (ReadJournalScope), or when the files no longer match it, or
// cannot be told apart from the ones they replaced; EInOutError when a move fails (the journal
// then says to undo, for the next run).
std::string RecoverRotation(const std::string& journalPath, TFileMover& mover);

} // namespace vellocar
