#pragma once
// One writer per KEY, and nothing left half done. A build holds a lock beside each of its
// targets (platform::FileLock, which the system releases when the process dies, so a killed
// build never leaves a stale lock) from before it reads an existing KEY to the end of its
// rotation; a second build of the same KEY or BIF waits for it, then works on the files as the
// first left them. Under those locks, whoever comes next finishes or undoes what the journal of
// a dead build says (Rotation.h).

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "names/SideFileNames.h"
#include "platform/Platform.h"

namespace vellocar {

// How long a build waits for another build of the same files before it gives up.
inline constexpr std::chrono::milliseconds kDefaultLockWait = std::chrono::minutes(10);

// Told, about ten times a second while a build waits, what it waits for ("waiting for another
// build of "x.key""), and "" once the wait is over: the window shows it and stays alive, the
// command line prints it.
using TWaitNotice = std::function<void(const std::string& message)>;

// The locks of a set of targets, all held or none.
class TTargetLocks {
public:
    // Locks every target, waiting while another build holds any of them (never holding some
    // while waiting for others, so two builds cannot wait for each other). Two targets with one
    // lock file (names that differ only in case, in a folder where that makes two files) take
    // it once. Raises EBuildRefused once wait has passed, EFCreateError when a lock file cannot
    // be created, EUntrustedFile when something other than a lock stands at its name.
    TTargetLocks(const std::vector<std::string>& targets, std::chrono::milliseconds wait, const TWaitNotice& notice);

    // Whether target is one of the locked ones.
    bool Holds(const std::string& target) const;

private:
    std::vector<std::string> lockPaths_;
    std::vector<platform::FileLock> locks_;
};

// For a build that holds the locks of its targets: finishes or undoes what the journal beside
// target says a build that died was doing, locking the other files it may act on first, and
// removes a dead build's journal replacement there. Returns what was done, "" when there was
// nothing to do. Raises EJournalError for a journal that cannot be trusted, EUntrustedFile for
// something at a journal's name that no build made (nothing is changed then).
std::string RecoverBeside(const std::string& target, const TTargetLocks& held, std::chrono::milliseconds wait,
                          const TWaitNotice& notice);

// Removes what has the form of target's temporaries (OwnTemporaryName for target's name or its
// backup's, of any token) beside it: left by a build that died, or by a delete that failed. For
// a run that holds target's lock after its journal was dealt with. Only ordinary files go.
void RemoveLeftTemporaries(const std::string& target);

// What a reader's look for an interrupted build found.
struct TRecoveryNote {
    std::string Text; // what was done or could not be done, for the user; "" for nothing
    // Files at their names were moved, or another build ran while the reader waited for it:
    // what was read before is stale.
    bool FilesChanged = false;
};

// For a run that reads a KEY (list, verify, extract, opening it in the window): finishes or
// undoes the rotation of a build of that KEY that died, and clears the lock file and journal
// replacement that a dead build left beside the KEY. A build of that KEY that is still running
// is waited for (told to notice, as a build's wait is), then its work is read. Raises, changing
// nothing, when the files cannot be put right here (a read-only folder), or when the journal
// cannot be trusted. Something at a lock's name that no build made is told in the note, naming
// it, and left alone.
TRecoveryNote RecoverInterruptedBuild(const std::string& keyPath, const TWaitNotice& notice = nullptr);

} // namespace vellocar
