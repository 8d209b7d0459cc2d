// The journaled rotation of a build's files, in-process and after a dead build: see Rotation.h.

#include "Rotation.h"

#include "Errors.h"
#include "Text.h"
#include "Platform.h"

#include <cstddef>

namespace vellocar {

namespace {

void SyncFolderOf(const std::string& path) { platform::SyncFolder(platform::FolderPart(path)); }

} // namespace

void TFileMover::Rename(const std::string& from, const std::string& to) {
    platform::RenameFile(from, to, false);
    SyncFolderOf(to);
}

bool TFileMover::Exists(const std::string& path) { return platform::PathExists(path); }

std::optional<std::uint64_t> TFileMover::SizeOf(const std::string& path) {
    const auto info = platform::Stat(path);
    if (!info || !info->IsRegular) return std::nullopt;
    return info->Size;
}

bool TFileMover::Remove(const std::string& path) {
    const bool removed = platform::RemoveFile(path);
    if (removed) SyncFolderOf(path);
    return removed;
}

void TFileMover::WriteJournal(const std::string& path, const TJournal& journal) {
    const std::string fresh = path + ".new";
    platform::WriteWholeFile(fresh, journalcodec::Serialize(journal));
    platform::RenameFile(fresh, path, true);
    SyncFolderOf(path);
}

std::vector<std::string> JournalPaths(const TJournal& journal) {
    // The last target (the KEY) first: it is where a reader looks, so its journal is written
    // before any other and removed after all others.
    std::vector<std::string> paths;
    for (auto file = journal.Files.rbegin(); file != journal.Files.rend(); ++file)
        paths.push_back(platform::SideFileFor(file->Path, kJournalKind));
    return paths;
}

namespace {

// How far one file has come, so that the rest can be done, or all of it undone.
struct FileState {
    const TJournalFile* File = nullptr;
    bool AsideDone = false; // the earlier backup waits at Aside
    bool MovedAside = false; // the current file is at Backup
    bool Placed = false; // the new file is at Path
};

std::vector<FileState> FreshStates(const TJournal& journal) {
    std::vector<FileState> states(journal.Files.size());
    for (std::size_t i = 0; i < states.size(); ++i) states[i].File = &journal.Files[i];
    return states;
}

// The steps not yet made for one file.
void Advance(FileState& state, TFileMover& mover) {
    const TJournalFile& file = *state.File;
    if (state.Placed) return;
    if (!file.Aside.empty() && !state.AsideDone && !state.MovedAside && mover.Exists(file.Backup)) {
        mover.Rename(file.Backup, file.Aside);
        state.AsideDone = true;
    }
    if (file.HadCurrent && !state.MovedAside) {
        mover.Rename(file.Path, file.Backup);
        state.MovedAside = true;
    }
    mover.Rename(file.Temporary, file.Path);
    state.Placed = true;
}

// Takes back, in reverse order, what was done for one file. Returns sentences on what could
// not be taken back and where each file then is; empty when everything is at its earlier name.
std::string Undo(FileState& state, TFileMover& mover) {
    const TJournalFile& file = *state.File;
    auto tryRename = [&mover](const std::string& from, const std::string& to) {
        try {
            mover.Rename(from, to);
            return true;
        } catch (const EVellocarError&) {
            return false;
        }
    };
    if (state.Placed) {
        if (!tryRename(file.Path, file.Temporary)) {
            std::string trouble = " The new file is at " + Quoted(file.Path) + " and could not be moved away.";
            if (state.MovedAside) trouble += " The previous one is at " + Quoted(file.Backup) + ".";
            if (state.AsideDone) trouble += " The earlier backup is at " + Quoted(file.Aside) + ".";
            return trouble;
        }
        state.Placed = false;
    }
    if (state.MovedAside) {
        if (!tryRename(file.Backup, file.Path)) {
            std::string trouble = " The previous file is at " + Quoted(file.Backup) +
                " and could not be moved back to " + Quoted(file.Path) + ".";
            if (state.AsideDone) trouble += " The earlier backup is at " + Quoted(file.Aside) + ".";
            return trouble;
        }
        state.MovedAside = false;
    }
    if (state.AsideDone) {
        if (!tryRename(file.Aside, file.Backup)) {
            return " The earlier backup is at " + Quoted(file.Aside) + " and could not be moved back to " +
                Quoted(file.Backup) + ".";
        }
        state.AsideDone = false;
    }
    return "";
}

std::string UndoAll(std::vector<FileState>& states, TFileMover& mover) {
    std::string trouble;
    for (std::size_t i = states.size(); i-- > 0;) trouble += Undo(states[i], mover);
    return trouble;
}

void RemoveIfThere(TFileMover& mover, const std::string& path) {
    if (!path.empty() && mover.Exists(path)) mover.Remove(path);
}

void RemoveTemporaries(const TJournal& journal, TFileMover& mover) {
    for (const TJournalFile& file : journal.Files) RemoveIfThere(mover, file.Temporary);
}

void RemoveJournals(const std::vector<std::string>& journals, TFileMover& mover) {
    for (auto path = journals.rbegin(); path != journals.rend(); ++path) {
        RemoveIfThere(mover, *path + ".new");
        RemoveIfThere(mover, *path);
    }
}

// "a", "a" and "b", "a", "b" and "c".
std::string PathList(const TJournal& journal) {
    std::string text;
    for (std::size_t i = 0; i < journal.Files.size(); ++i) {
        if (i > 0) text += i + 1 == journal.Files.size() ? " and " : ", ";
        text += Quoted(journal.Files[i].Path);
    }
    return text;
}

} // namespace

TRotation::TRotation(const std::vector<TReplacement>& files, TFileMover& mover) : mover_(mover) {
    for (const TReplacement& file : files) {
        given_.push_back(file.Path);
        TJournalFile entry;
        entry.Path = platform::AbsolutePath(file.Path);
        entry.Temporary = platform::AbsolutePath(file.Temporary);
        entry.Backup = entry.Path + kBackupSuffix;
        journal_.Files.push_back(std::move(entry));
    }
    journals_ = JournalPaths(journal_);
}

void TRotation::Begin() {
    journal_.Phase = TJournalPhase::Writing;
    for (const std::string& path : journals_) mover_.WriteJournal(path, journal_);
}

void TRotation::Abandon() noexcept {
    try {
        RemoveTemporaries(journal_, mover_);
        RemoveJournals(journals_, mover_);
    } catch (...) {
        // What cannot be removed is found and removed by the next run, through the journal.
    }
}

void TRotation::Commit() {
    // What the moves start from, written down before the first of them.
    for (std::size_t i = 0; i < journal_.Files.size(); ++i) {
        TJournalFile& file = journal_.Files[i];
        const auto size = mover_.SizeOf(file.Temporary);
        if (!size) {
            Abandon();
            throw EWriteError("The new file " + Quoted(file.Temporary) + " was gone before it was moved into place");
        }
        file.NewSize = *size;
        file.HadCurrent = mover_.Exists(file.Path);
        if (mover_.Exists(file.Backup)) {
            if (file.HadCurrent)
                file.Aside = platform::TemporaryNameBeside(file.Backup);
            else
                kept_.push_back(given_[i] + kBackupSuffix);
        }
    }
    journal_.Phase = TJournalPhase::Rotating;
    try {
        for (const std::string& path : journals_) mover_.WriteJournal(path, journal_);
    } catch (...) {
        Abandon(); // no file has moved yet
        throw;
    }

    std::vector<FileState> states = FreshStates(journal_);
    try {
        for (FileState& state : states) Advance(state, mover_);
    } catch (const EInOutError& e) {
        const std::string trouble = UndoAll(states, mover_);
        if (trouble.empty()) {
            Abandon();
        } else {
            // The next run must not go forward with a build the user was told had failed.
            journal_.Phase = TJournalPhase::RollingBack;
            try {
                for (const std::string& path : journals_) mover_.WriteJournal(path, journal_);
            } catch (...) {}
        }
        throw EInOutError(
            WithContext(e.what(),
                        trouble.empty() ? ". The new files could not be moved into place; the previous files and "
                                          "their backups are back at their names."
                                        : ". The new files could not be moved into place, and not everything could "
                                          "be put back." +
                                trouble),
            e.ErrorCode);
    }
    // Everything is in place: the earlier backups are no longer needed. One that cannot be
    // deleted stays under its temporary name rather than fail a build that has succeeded.
    for (const TJournalFile& file : journal_.Files) RemoveIfThere(mover_, file.Aside);
    RemoveJournals(journals_, mover_);
}

std::string RecoverRotation(const TJournal& journal, TFileMover& mover) {
    const std::vector<std::string> journals = JournalPaths(journal);
    if (journal.Phase == TJournalPhase::Writing) {
        RemoveTemporaries(journal, mover);
        RemoveJournals(journals, mover);
        return "removed the unfinished files of a build of " + PathList(journal) +
            " that was stopped before it changed any of them";
    }

    // Each file is waiting (its new file whole at its temporary name), placed (the new file at
    // its name), or lost (neither; at its name nothing, or the file that stood there before);
    // anything else means the files have changed since.
    std::vector<FileState> states = FreshStates(journal);
    bool whole = true;
    for (FileState& state : states) {
        const TJournalFile& file = *state.File;
        const auto temporary = mover.SizeOf(file.Temporary);
        const auto current = mover.SizeOf(file.Path);
        const bool gone = !mover.Exists(file.Temporary);
        const bool waiting = temporary && *temporary == file.NewSize;
        const bool placed = gone && current && *current == file.NewSize;
        const bool lost = gone && !placed && (!mover.Exists(file.Path) || file.HadCurrent);
        if (!waiting && !placed && !lost)
            throw EJournalError("A build of " + PathList(journal) +
                                " was stopped while moving its files into place, but " + Quoted(file.Path) +
                                " and its new file no longer match what its journal says, so Vellocar will not "
                                "touch them; nothing was changed. Check the files and their .bak files, then "
                                "delete the journal " +
                                Quoted(journals.front()));
        whole = whole && !lost;
        state.Placed = placed;
        state.AsideDone = !file.Aside.empty() && mover.Exists(file.Aside);
        state.MovedAside = file.HadCurrent && (placed || !mover.Exists(file.Path));
    }

    if (whole && journal.Phase == TJournalPhase::Rotating) {
        for (FileState& state : states) Advance(state, mover);
        for (const TJournalFile& file : journal.Files) RemoveIfThere(mover, file.Aside);
        RemoveJournals(journals, mover);
        return "finished a build of " + PathList(journal) +
            " that was stopped while moving its files into place: the new files are in place, and the files they "
            "replaced are their backups";
    }
    const std::string trouble = UndoAll(states, mover);
    if (!trouble.empty()) {
        TJournal undo = journal;
        undo.Phase = TJournalPhase::RollingBack;
        for (const std::string& path : journals) mover.WriteJournal(path, undo);
        throw EInOutError("A build of " + PathList(journal) +
                              " was stopped while moving its files into place, and it could not be undone." + trouble,
                          0);
    }
    RemoveTemporaries(journal, mover);
    RemoveJournals(journals, mover);
    return "undid a build of " + PathList(journal) +
        " that was stopped while moving its files into place before all its new files were there: the files are as "
        "they were before it, backups included";
}

} // namespace vellocar
