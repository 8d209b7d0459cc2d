// The writer locks of a build's targets, and recovery after a dead build for builds and readers.

#include "BuildGuard.h"

#include "Errors.h"
#include "Text.h"
#include "Journal.h"
#include "Rotation.h"

#include <algorithm>
#include <optional>
#include <thread>

namespace vellocar {

namespace {

// How often a waiting build looks again.
constexpr std::chrono::milliseconds kPoll{100};
// A reader that finds files being moved waits this long: a rotation takes milliseconds.
constexpr std::chrono::milliseconds kReaderWait = std::chrono::seconds(5);

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
            ClearLeftLocks();
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

void TTargetLocks::ClearLeftLocks() {
    // A lock left behind is a build's that died before its journal said what else it had
    // locked: the other locks it left are in the same folder, or are taken over by the next
    // build of their own targets. Each lock file of that folder that no one holds is taken and
    // let go, which removes it.
    std::vector<std::string> folders;
    for (const platform::FileLock& lock : locks_) {
        if (!lock.WasLeftBehind()) continue;
        const std::string folder = platform::FolderOf(lock.Path());
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        for (const std::string& path : platform::SideFilesIn(folder, kLockKind)) {
            if (std::find(lockPaths_.begin(), lockPaths_.end(), path) != lockPaths_.end()) continue;
            try {
                platform::FileLock::TryAcquire(path);
            } catch (const EVellocarError&) {
                // Not a lock after all, or one that cannot be taken here: left as it is.
            }
        }
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
    return RecoverLocked(platform::SideFileFor(target, kJournalKind), held, wait, notice);
}

TRecoveryNote RecoverInterruptedBuild(const std::string& keyPath) {
    std::string journalPath;
    try {
        journalPath = platform::SideFileFor(keyPath, kJournalKind);
    } catch (const EFOpenError&) {
        return {}; // no such folder: reading the KEY will say so
    }
    TFileMover mover;
    const auto scope = ReadJournalScope(journalPath, mover);
    if (!scope) {
        // A build killed before it wrote its journal left at most its lock and the journal's
        // replacement: taken and let go, the lock goes, and the replacement with it, unless a
        // build that is still running holds the lock.
        const std::string lockPath = platform::SideFileFor(keyPath, kLockKind);
        if (!platform::LookAt(lockPath) && !platform::LookAt(journalPath + kReplacementSuffix)) return {};
        try {
            const TTargetLocks stale({keyPath}, std::chrono::milliseconds(0), nullptr);
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
        } catch (const EVellocarError&) {
            // Held by a running build, or a folder where nothing can be made: nothing to clear.
        }
        return {};
    }

    const bool moving = scope->Phase == TJournalPhase::Rotating || scope->Phase == TJournalPhase::RollingBack;
    std::optional<TTargetLocks> locks;
    try {
        // A build still writing holds its locks for as long as that takes, and has not touched
        // the files at their names: nothing to wait for. One that is moving them is done at once.
        locks.emplace(scope->Targets, moving ? kReaderWait : std::chrono::milliseconds(0), nullptr);
    } catch (const EBuildRefused&) {
        if (!moving) return {};
        throw EVellocarError("Another build of " + Quoted(keyPath) +
                             " is moving its files into place right now; try again in a moment. Nothing was read");
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
    std::string done = RecoverLocked(journalPath, *locks, kReaderWait, nullptr);
    return {std::move(done), moving};
}

} // namespace vellocar
