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

// The journal at path; nothing when there is none. Raises EJournalError for one that cannot be
// trusted.
std::optional<TJournal> ReadJournal(const std::string& path) {
    if (!platform::PathExists(path)) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        platform::File file = platform::File::OpenRead(path);
        // One byte more than a journal can hold is enough for the parser to refuse it.
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), journalcodec::kMaxSize + 1)));
        file.ReadExact(bytes.data(), bytes.size());
    } catch (const EFOpenError&) {
        if (!platform::PathExists(path)) return std::nullopt; // finished by its writer meanwhile
        throw;
    }
    return journalcodec::Parse(bytes, path);
}

std::vector<std::string> TargetsOf(const TJournal& journal) {
    std::vector<std::string> targets;
    for (const TJournalFile& file : journal.Files) targets.push_back(file.Path);
    return targets;
}

// The journal beside target, recovered while its files are locked (held, plus whatever else it
// names, taken here). Returns "" when there was none.
std::string RecoverLocked(const std::string& journalPath, const TTargetLocks& held, std::chrono::milliseconds wait,
                          const TWaitNotice& notice) {
    const auto journal = ReadJournal(journalPath);
    if (!journal) {
        // A replacement journal that never got its name: nothing depends on it.
        platform::RemoveFile(journalPath + ".new");
        return "";
    }
    std::vector<std::string> others;
    for (const std::string& target : TargetsOf(*journal))
        if (!held.Holds(target)) others.push_back(target);
    std::optional<TTargetLocks> more;
    if (!others.empty()) more.emplace(others, wait, notice);
    TFileMover mover;
    return RecoverRotation(*journal, mover);
}

} // namespace

TTargetLocks::TTargetLocks(const std::vector<std::string>& targets, std::chrono::milliseconds wait,
                           const TWaitNotice& notice) {
    for (const std::string& target : targets) lockPaths_.push_back(platform::SideFileFor(target, kLockKind));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (bool waited = false;; waited = true) {
        if (auto locks = TryLockAll(lockPaths_)) {
            locks_ = std::move(*locks);
            ClearStaleLocks();
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

void TTargetLocks::ClearStaleLocks() {
    // Each lock names all the locks its build took. A note found in one is a dead build's: the
    // other lock files it left are taken and let go (which removes them), unless a live build
    // holds them now.
    std::string note;
    for (const std::string& path : lockPaths_) note += path + '\n';
    for (platform::FileLock& lock : locks_) {
        const std::string old = lock.Noted();
        for (std::size_t at = 0, end; (end = old.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string path = old.substr(at, end - at);
            if (std::find(lockPaths_.begin(), lockPaths_.end(), path) != lockPaths_.end()) continue;
            if (!platform::PathExists(path)) continue;
            try {
                platform::FileLock::TryAcquire(path);
            } catch (const EVellocarError&) {}
        }
        lock.Note(note);
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
    const auto journal = ReadJournal(journalPath);
    if (!journal) {
        // A build killed before it wrote its journal left only its locks: taken and let go, they
        // go away.
        if (platform::PathExists(platform::SideFileFor(keyPath, kLockKind))) {
            try {
                const TTargetLocks stale({keyPath}, std::chrono::milliseconds(0), nullptr);
            } catch (const EVellocarError&) {}
        }
        return {};
    }

    const bool moving = journal->Phase != TJournalPhase::Writing;
    std::optional<TTargetLocks> locks;
    try {
        // A build still writing holds its locks for as long as that takes, and has not touched
        // the files at their names: nothing to wait for. One that is moving them is done at once.
        locks.emplace(TargetsOf(*journal), moving ? kReaderWait : std::chrono::milliseconds(0), nullptr);
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
