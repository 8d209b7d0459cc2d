// The writer locks of a build's targets, and recovery after a dead build for builds and readers.

#include "operations/BuildGuard.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "formats/Journal.h"
#include "operations/Rotation.h"
#include "platform/SafeFolders.h"

#include <algorithm>
#include <optional>
#include <thread>

namespace vellocar {

namespace {

// How often a waiting build looks again.
constexpr std::chrono::milliseconds kPoll{100};

std::optional<std::vector<platform::FileLock>> TryLockAll(const std::vector<std::string>& lockPaths) {
    std::vector<platform::FileLock> locks;
    for (const std::string& path : lockPaths) {
        auto lock = platform::FileLock::TryAcquire(path);
        if (!lock) return std::nullopt; // the ones taken go with the vector
        locks.push_back(std::move(*lock));
    }
    return locks;
}

// The journal beside target, recovered while its files are locked (held, plus the others it may
// act on, taken here). Returns "" when there was none; a dead build's replacement of it goes.
std::string RecoverLocked(const std::string& journalPath, const TTargetLocks& held, std::chrono::milliseconds wait,
                          const TWaitNotice& notice) {
    TFileMover mover;
    const auto scope = ReadJournalScope(journalPath, mover);
    if (!scope) {
        // A replacement journal that never got its name: nothing depends on it.
        platform::RemoveLeftover(journalPath + kReplacementSuffix);
        return "";
    }
    std::vector<std::string> others;
    for (const std::string& target : scope->Targets)
        if (!held.Holds(target)) others.push_back(target);
    std::optional<TTargetLocks> more;
    if (!others.empty()) more.emplace(others, wait, notice);
    return RecoverRotation(journalPath, mover);
}

} // namespace

TTargetLocks::TTargetLocks(const std::vector<std::string>& targets, std::chrono::milliseconds wait,
                           const TWaitNotice& notice) {
    for (const std::string& target : targets) {
        std::string path = platform::SideFileFor(target, kLockKind);
        if (std::find(lockPaths_.begin(), lockPaths_.end(), path) == lockPaths_.end())
            lockPaths_.push_back(std::move(path));
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (bool waited = false;; waited = true) {
        if (auto locks = TryLockAll(lockPaths_)) {
            locks_ = std::move(*locks);
            if (waited && notice) notice("");
            return;
        }
        // Named by the first target, the KEY for a build: the file the user thinks of.
        const std::string message = "waiting for another build of " + Quoted(targets.front());
        if (std::chrono::steady_clock::now() >= deadline)
            throw EBuildRefused("Cannot build: another build of " + Quoted(targets.front()) +
                                " is still running after " +
                                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
                                " seconds. Nothing was changed");
        if (notice) notice(message);
        std::this_thread::sleep_for(kPoll);
    }
}

bool TTargetLocks::Holds(const std::string& target) const {
    const std::string path = platform::SideFileFor(target, kLockKind);
    for (const std::string& held : lockPaths_)
        if (held == path) return true;
    return false;
}

std::string RecoverBeside(const std::string& target, const TTargetLocks& held, std::chrono::milliseconds wait,
                          const TWaitNotice& notice) {
    std::string done = RecoverLocked(platform::SideFileFor(target, kJournalKind), held, wait, notice);
    RemoveLeftTemporaries(target);
    return done;
}

void RemoveLeftTemporaries(const std::string& target) {
    // Under the target's lock no build of it runs, and with its journal gone no recovery needs
    // them: what still has a temporary's form for this target (its new file, or its waiting
    // backup) is what a build that died, or a delete that failed, left behind. Anything but an
    // ordinary file there is left alone.
    const std::string name = platform::FileNamePart(target), backup = name + kBackupSuffix;
    const auto own = [&](std::string_view candidate) {
        return OwnTemporaryToken(candidate, name, platform::kHostPathSystem).has_value() ||
            OwnTemporaryToken(candidate, backup, platform::kHostPathSystem).has_value();
    };
    const std::vector<std::string> found = platform::EntriesIn(platform::FolderPart(target), own);
    if (found.empty()) return;
    // Removed through the folder held open, never through a link at its name: a folder swapped
    // for a link after the listing gets nothing.
    std::optional<platform::HeldFolder> folder;
    try {
        folder.emplace(platform::HeldFolder::Open(platform::FolderPart(target)));
    } catch (const EVellocarError&) {
        return; // the build itself will say what is wrong with the folder
    }
    for (const std::string& path : found) {
        const std::string entry = platform::FileNamePart(path);
        // A link or a folder at such a name is not this program's: it stays.
        const auto facts = folder->LookAt(entry);
        if (facts && facts->What == platform::EntryFacts::Kind::Regular) folder->Remove(entry);
    }
}

TRecoveryNote RecoverInterruptedBuild(const std::string& keyPath, const TWaitNotice& notice) {
    std::string journalPath;
    try {
        journalPath = platform::SideFileFor(keyPath, kJournalKind);
    } catch (const EFOpenError&) {
        return {}; // no such folder: reading the KEY will say so
    }
    // A build that runs while this reader waits for it changes the files the reader may have
    // read before: the caller is told so.
    bool waited = false;
    const TWaitNotice noting = [&waited, &notice](const std::string& message) {
        waited = true;
        if (notice) notice(message);
    };
    TFileMover mover;
    const auto scope = ReadJournalScope(journalPath, mover);
    if (!scope) {
        // A build killed before it wrote its journal left at most its lock and the journal's
        // replacement: taken and let go, the lock goes, and the replacement with it. A build
        // that is still running holds the lock: the reader waits for it, as builds wait for
        // each other, and then reads what it wrote.
        const std::string lockPath = platform::SideFileFor(keyPath, kLockKind);
        if (!platform::LookAt(lockPath) && !platform::LookAt(journalPath + kReplacementSuffix)) return {};
        try {
            const TTargetLocks stale({keyPath}, kDefaultLockWait, noting);
            platform::RemoveLeftover(journalPath + kReplacementSuffix);
        } catch (const EUntrustedFile&) {
            // The KEY itself can still be read: the note names what was left alone.
            for (const std::string& side : {lockPath, journalPath + kReplacementSuffix}) {
                const auto facts = platform::LookAt(side);
                if (facts && facts->What != platform::EntryFacts::Kind::Regular)
                    return {"left " + Quoted(side) + " as it is: " + platform::WhatStandsAt(side) +
                                " stands at that name, where Vellocar keeps a file of its own, and Vellocar did "
                                "not make it; remove it if no build is running",
                            false};
            }
        } catch (const EBuildRefused&) {
            throw EVellocarError(
                "Another build of " + Quoted(keyPath) + " is still running after " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kDefaultLockWait).count()) +
                " seconds; try again when it is done. Nothing was read");
        } catch (const EVellocarError&) {
            // A folder where nothing can be made: nothing to clear.
        }
        // The journal may have come and gone while this run waited: look again.
        TRecoveryNote note;
        if (platform::LookAt(journalPath)) note = RecoverInterruptedBuild(keyPath, notice);
        note.FilesChanged = note.FilesChanged || waited;
        return note;
    }

    const bool moving = scope->Phase == TJournalPhase::Rotating || scope->Phase == TJournalPhase::RollingBack;
    std::optional<TTargetLocks> locks;
    try {
        // A build that is still writing or moving holds its locks: the reader waits for it.
        locks.emplace(scope->Targets, kDefaultLockWait, noting);
    } catch (const EBuildRefused&) {
        throw EVellocarError(
            "Another build of " + Quoted(keyPath) + " is still running after " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kDefaultLockWait).count()) +
            " seconds; try again when it is done. Nothing was read");
    } catch (const EFCreateError& e) {
        if (!moving)
            return {"a build of " + Quoted(keyPath) +
                        " was stopped while writing; its unfinished files are still beside it, and cannot be "
                        "removed from here (" +
                        e.what() + ")",
                    false};
        throw EJournalError(
            "A build of " + Quoted(keyPath) +
            " was stopped while moving its files into place, and Vellocar cannot finish it from here (" + e.what() +
            "): the KEY and its BIFs may not belong together. Nothing was changed; run Vellocar "
            "where it may change that folder");
    }
    std::string done = RecoverLocked(journalPath, *locks, kDefaultLockWait, noting);
    const bool changed = (moving && !done.empty()) || waited;
    return {std::move(done), changed};
}

} // namespace vellocar
