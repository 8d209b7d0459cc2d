// The journaled rotation of a build's files, in-process and after a dead build: see Rotation.h.

#include "Rotation.h"

#include "Crc32.h"
#include "Errors.h"
#include "Names.h"
#include "Text.h"

#include <algorithm>
#include <cstddef>
#include <random>

namespace vellocar {

namespace {

// How much of a file's start and of its end its checksum covers: the BIF's and the KEY's tables
// are at the start, the last resource at the end.
constexpr std::uint64_t kMarkBlock = 64 * 1024;
// The longest piece of a name from a journal that a message quotes.
constexpr std::size_t kQuotedNameBytes = 200;

void SyncFolderOf(const std::string& path) { platform::SyncFolder(platform::FolderPart(path)); }

} // namespace

void TFileMover::Rename(const std::string& from, const std::string& to) {
    platform::RenameFile(from, to, false);
    SyncFolderOf(to);
}

bool TFileMover::Remove(const std::string& path) {
    const bool removed = platform::RemoveFile(path);
    if (removed) SyncFolderOf(path);
    return removed;
}

void TFileMover::WriteJournal(const std::string& path, const TJournal& journal) {
    // Made new, never through what stands at the name: a dead build's replacement is removed
    // first, anything else there is refused.
    const std::string fresh = path + kReplacementSuffix;
    platform::RemoveLeftover(fresh);
    platform::WriteWholeFile(fresh, journalcodec::Serialize(journal), true);
    platform::RenameFile(fresh, path, true);
    SyncFolderOf(path);
}

std::optional<std::vector<std::uint8_t>> TFileMover::ReadJournal(const std::string& path) {
    if (!platform::LookAt(path)) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        platform::File file = platform::File::OpenOwn(path);
        // One byte more than a journal can hold is enough for the parser to refuse it.
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), journalcodec::kMaxSize + 1)));
        file.ReadExact(bytes.data(), bytes.size());
    } catch (const EFOpenError&) {
        if (!platform::LookAt(path)) return std::nullopt; // finished by its writer meanwhile
        throw;
    }
    return bytes;
}

std::optional<platform::EntryFacts> TFileMover::LookAt(const std::string& path) { return platform::LookAt(path); }

std::optional<TContentMark> TFileMover::Content(const std::string& path) {
    try {
        platform::File file = platform::File::OpenRead(path);
        const std::uint64_t size = file.Size();
        std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min(size, kMarkBlock)));
        file.ReadExact(block.data(), block.size());
        std::uint32_t checksum = Crc32(block);
        if (size > kMarkBlock) {
            const std::uint64_t tail = std::max(kMarkBlock, size - kMarkBlock);
            block.resize(static_cast<std::size_t>(size - tail));
            file.Seek(tail);
            file.ReadExact(block.data(), block.size());
            checksum = Crc32(block, checksum);
        }
        return TContentMark{checksum};
    } catch (const EVellocarError&) {
        return std::nullopt; // held by another program, say: it is known by its identity only
    }
}

bool TFileMover::SameFile(const std::string& a, const std::string& b) { return platform::SameFile(a, b); }

namespace {

std::string JournalPathOf(const TJournalFile& file) {
    return platform::JoinPath(file.Folder, SideFileName(file.Name, kJournalKind, platform::kHostPathSystem));
}

// A name from a journal, as a message quotes it: in full when short, else its start.
std::string QuotedName(const std::string& name) {
    return name.size() <= kQuotedNameBytes ? Quoted(name) : Quoted(name.substr(0, kQuotedNameBytes)) + "...";
}

[[noreturn]] void Untrusted(const std::string& journalPath, const std::string& name, const std::string& why) {
    throw EJournalError("The build journal " + Quoted(journalPath) + " names " + QuotedName(name) + ", which " + why +
                        ", so Vellocar does not trust it and will not act on it; nothing was changed. If no build "
                        "of these files is running, check the KEY and BIF beside it and their .bak files, then "
                        "delete the journal");
}

// "a", "a" and "b", "a", "b" and "c".
std::string PathList(const std::vector<std::string>& paths) {
    std::string text;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) text += i + 1 == paths.size() ? " and " : ", ";
        text += Quoted(paths[i]);
    }
    return text;
}

bool IsKnownId(const platform::FileId& id) { return id != platform::FileId{}; }

platform::FileId IdOf(const TFileMark& mark) { return {mark.Volume, mark.Index}; }

// What the mover knows of the entry at path, to know it again after a crash.
TFileMark MarkOf(TFileMover& mover, const std::string& path, const platform::EntryFacts& facts) {
    TFileMark mark;
    mark.Size = facts.Size;
    mark.Volume = facts.Id.Volume;
    mark.Index = facts.Id.Index;
    if (facts.What == platform::EntryFacts::Kind::Regular) {
        if (const auto content = mover.Content(path)) {
            mark.Checksum = content->Checksum;
            mark.ChecksumKnown = true;
        }
    }
    return mark;
}

// Whether the entry at path is the file that mark describes: of its size, with its identity,
// or (where the file system may have numbered it anew, a FAT stick after a remount) with its
// checksum, unless it has the identity of the other file of the pair, which makes it that one.
bool IsFile(TFileMover& mover, const std::string& path, const std::optional<platform::EntryFacts>& facts,
            const TFileMark& mark, const TFileMark* other) {
    if (!facts || facts->Size != mark.Size) return false;
    if (IsKnownId(facts->Id) && facts->Id == IdOf(mark)) return true;
    if (other && IsKnownId(facts->Id) && facts->Id == IdOf(*other)) return false;
    if (facts->What != platform::EntryFacts::Kind::Regular || !mark.ChecksumKnown) return false;
    const auto content = mover.Content(path);
    return content && content->Checksum == mark.Checksum;
}

// ---- What a journal may be trusted with

// A journal's names checked against the forms this program gives them; raises for any other.
void CheckNames(const TJournal& journal, const std::string& journalPath) {
    std::vector<std::string> keys; // every path the build may touch, in the form a folding folder compares
    for (const TJournalFile& file : journal.Files) {
        if (!IsAbsoluteFolder(file.Folder, platform::kHostPathSystem))
            Untrusted(journalPath, file.Folder, "is not a folder as a build writes one");
        if (!IsPlainFileName(file.Name, platform::kHostPathSystem))
            Untrusted(journalPath, file.Name, "is not the name of one file");
        if (!IsTemporaryNameOf(file.Temporary, file.Name))
            Untrusted(journalPath, file.Temporary, "is not a temporary that Vellocar would give " + Quoted(file.Name));
        if (!file.Aside.empty() && !IsTemporaryNameOf(file.Aside, file.Name + kBackupSuffix))
            Untrusted(journalPath, file.Aside,
                      "is not a temporary that Vellocar would give " + Quoted(file.Name + kBackupSuffix));
        for (const std::string& path : {file.Path(), file.TemporaryPath(), file.BackupPath(), file.AsidePath()}) {
            if (path.empty()) continue;
            const std::string key = WindowsNameKey(path);
            if (std::find(keys.begin(), keys.end(), key) != keys.end())
                Untrusted(journalPath, path, "it names twice, for two purposes");
            keys.push_back(key);
        }
    }
}

// Whether two journals are of one build: the same token and the same files under the same names.
bool SameBuild(const TJournal& a, const TJournal& b) {
    if (a.Token != b.Token || a.Files.size() != b.Files.size()) return false;
    for (std::size_t i = 0; i < a.Files.size(); ++i) {
        const TJournalFile &x = a.Files[i], &y = b.Files[i];
        if (x.Folder != y.Folder || x.Name != y.Name || x.Temporary != y.Temporary) return false;
    }
    return true;
}

// A journal checked, with the journals of the same build beside its other targets: the newest of
// them says how far the build came, and a file may be acted on only where one of them stands.
struct TTrusted {
    TJournal Journal; // the newest of the build's journals
    std::vector<bool> Authorised; // per file: a journal of the build stands beside it
    std::vector<bool> InJournalFolder; // per file: it lies in the folder of the journal read first
    std::vector<std::string> Journals; // the journals that stand, in JournalPaths order

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (std::size_t i = 0; i < Journal.Files.size(); ++i)
            if (Authorised[i]) targets.push_back(Journal.Files[i].Path());
        return targets;
    }
};

std::optional<TTrusted> Trust(const std::string& journalPath, TFileMover& mover) {
    const auto bytes = mover.ReadJournal(journalPath);
    if (!bytes) return std::nullopt;
    TTrusted trusted;
    trusted.Journal = journalcodec::Parse(*bytes, journalPath);
    const TJournal first = trusted.Journal;
    CheckNames(first, journalPath);

    // The files it stands beside are its own; every other one needs a journal of the same build
    // beside it before anything there may change.
    const std::size_t count = first.Files.size();
    trusted.Authorised.assign(count, false);
    trusted.InJournalFolder.assign(count, false);
    const std::string journalFolder = platform::FolderPart(journalPath);
    std::vector<std::string> standing; // journal paths known to stand
    bool ownFile = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string path = JournalPathOf(first.Files[i]);
        trusted.InJournalFolder[i] = mover.SameFile(first.Files[i].Folder, journalFolder);
        if (mover.SameFile(path, journalPath)) {
            trusted.Authorised[i] = ownFile = true;
            continue;
        }
        bool known = false;
        for (const std::string& seen : standing) known = known || mover.SameFile(seen, path);
        if (known) {
            trusted.Authorised[i] = true;
            continue;
        }
        const auto other = mover.ReadJournal(path);
        if (!other) continue;
        const TJournal peer = journalcodec::Parse(*other, path);
        CheckNames(peer, path);
        if (!SameBuild(peer, first))
            Untrusted(journalPath, first.Files[i].Path(),
                      "has a journal of another build beside it (" + Quoted(path) + ")");
        if (peer.Phase > trusted.Journal.Phase) trusted.Journal = peer;
        standing.push_back(path);
        trusted.Authorised[i] = true;
    }
    if (!ownFile) Untrusted(journalPath, first.Files.back().Path(), "is not the file it stands beside");
    standing.push_back(journalPath);
    for (const std::string& path : JournalPaths(trusted.Journal)) {
        for (const std::string& seen : standing) {
            if (mover.SameFile(seen, path)) {
                trusted.Journals.push_back(path);
                break;
            }
        }
    }
    return trusted;
}

// ---- The states of the files and the steps between them

// How far one file has come, so that the rest can be done, or all of it undone.
struct FileState {
    const TJournalFile* File = nullptr;
    bool AsideDone = false; // the earlier backup waits at Aside
    bool MovedAside = false; // the current file is at Backup
    bool Placed = false; // the new file is at Path
    bool Lost = false; // the new file is nowhere
    bool TemporaryThere = false;
    bool BackupIsOld = false; // the file it replaced is at Backup
};

std::vector<FileState> FreshStates(const TJournal& journal) {
    std::vector<FileState> states(journal.Files.size());
    for (std::size_t i = 0; i < states.size(); ++i) states[i].File = &journal.Files[i];
    return states;
}

// Where one file of a journal stands, from what is at its names. Returns why the files no longer
// match the journal, "" when they do.
std::string Classify(FileState& state, TFileMover& mover) {
    const TJournalFile& file = *state.File;
    const auto temporary = mover.LookAt(file.TemporaryPath());
    const auto current = mover.LookAt(file.Path());
    const TFileMark* old = file.HadCurrent ? &file.Old : nullptr;
    const bool currentNew = IsFile(mover, file.Path(), current, file.New, old);
    const bool currentOld = old && IsFile(mover, file.Path(), current, *old, &file.New);
    if (currentNew && currentOld) return "cannot be told apart from the file it replaced";
    state.TemporaryThere = temporary.has_value();
    if (temporary) {
        if (!IsFile(mover, file.TemporaryPath(), temporary, file.New, old))
            return "has a new file that is no longer the one the build wrote";
    } else {
        state.Placed = currentNew;
        state.Lost = !currentNew;
    }
    if (!state.Placed && current && !currentOld) return "is neither the file the build replaces nor its new one";
    state.MovedAside = file.HadCurrent && (state.Placed || !current);
    state.BackupIsOld = old && IsFile(mover, file.BackupPath(), mover.LookAt(file.BackupPath()), *old, &file.New);
    state.AsideDone = !file.Aside.empty() && mover.LookAt(file.AsidePath()).has_value();
    return "";
}

// The steps not yet made for one file.
void Advance(FileState& state, TFileMover& mover) {
    const TJournalFile& file = *state.File;
    if (state.Placed) return;
    if (!file.Aside.empty() && !state.AsideDone && !state.MovedAside && mover.LookAt(file.BackupPath())) {
        mover.Rename(file.BackupPath(), file.AsidePath());
        state.AsideDone = true;
    }
    if (file.HadCurrent && !state.MovedAside) {
        mover.Rename(file.Path(), file.BackupPath());
        state.MovedAside = true;
    }
    mover.Rename(file.TemporaryPath(), file.Path());
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
        if (!tryRename(file.Path(), file.TemporaryPath())) {
            std::string trouble = " The new file is at " + Quoted(file.Path()) + " and could not be moved away.";
            if (state.MovedAside) trouble += " The previous one is at " + Quoted(file.BackupPath()) + ".";
            if (state.AsideDone) trouble += " The earlier backup is at " + Quoted(file.AsidePath()) + ".";
            return trouble;
        }
        state.Placed = false;
    }
    if (state.MovedAside) {
        if (!tryRename(file.BackupPath(), file.Path())) {
            std::string trouble = " The previous file is at " + Quoted(file.BackupPath()) +
                " and could not be moved back to " + Quoted(file.Path()) + ".";
            if (state.AsideDone) trouble += " The earlier backup is at " + Quoted(file.AsidePath()) + ".";
            return trouble;
        }
        state.MovedAside = false;
    }
    if (state.AsideDone) {
        if (!tryRename(file.AsidePath(), file.BackupPath())) {
            return " The earlier backup is at " + Quoted(file.AsidePath()) + " and could not be moved back to " +
                Quoted(file.BackupPath()) + ".";
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
    if (!path.empty() && mover.LookAt(path)) mover.Remove(path);
}

void RemoveTemporaries(const TJournal& journal, TFileMover& mover) {
    for (const TJournalFile& file : journal.Files) RemoveIfThere(mover, file.TemporaryPath());
}

void RemoveJournals(const std::vector<std::string>& journals, TFileMover& mover) {
    for (auto path = journals.rbegin(); path != journals.rend(); ++path) {
        RemoveIfThere(mover, *path + kReplacementSuffix);
        RemoveIfThere(mover, *path);
    }
}

void MarkJournals(const std::vector<std::string>& journals, const TJournal& journal, TJournalPhase phase,
                  TFileMover& mover) {
    TJournal marked = journal;
    marked.Phase = phase;
    for (const std::string& path : journals) mover.WriteJournal(path, marked);
}

std::uint64_t FreshToken() {
    std::random_device random;
    const std::uint64_t high = random(), low = random();
    return (high << 32) ^ low;
}

} // namespace

std::vector<std::string> JournalPaths(const TJournal& journal) {
    std::vector<std::string> paths;
    for (auto file = journal.Files.rbegin(); file != journal.Files.rend(); ++file) {
        std::string path = JournalPathOf(*file);
        if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(std::move(path));
    }
    return paths;
}

TRotation::TRotation(const std::vector<TReplacement>& files, TFileMover& mover) : mover_(mover) {
    journal_.Token = FreshToken();
    for (const TReplacement& file : files) {
        given_.push_back(file.Path);
        const std::string path = platform::AbsolutePath(file.Path);
        const std::string temporary = platform::AbsolutePath(file.Temporary);
        TJournalFile entry;
        entry.Folder = platform::FolderPart(path);
        entry.Name = platform::FileNamePart(path);
        entry.Temporary = platform::FileNamePart(temporary);
        // The journal can only say what a later run may trust.
        if (platform::FolderPart(temporary) != entry.Folder || !IsTemporaryNameOf(entry.Temporary, entry.Name))
            throw EWriteError("Cannot use " + Quoted(file.Temporary) + " as the temporary of " + Quoted(file.Path));
        journal_.Files.push_back(std::move(entry));
    }
    journals_ = JournalPaths(journal_);
}

void TRotation::WriteJournals(TJournalPhase phase) {
    journal_.Phase = phase;
    MarkJournals(journals_, journal_, phase, mover_);
}

void TRotation::Begin() { WriteJournals(TJournalPhase::Writing); }

void TRotation::Abandon() noexcept {
    try {
        RemoveTemporaries(journal_, mover_);
        RemoveJournals(journals_, mover_);
    } catch (...) {
        // What cannot be removed is found and removed by the next run, through the journal.
    }
}

void TRotation::Commit() {
    // What the moves start from, and how to know each file again, written down before the
    // first of them.
    for (std::size_t i = 0; i < journal_.Files.size(); ++i) {
        TJournalFile& file = journal_.Files[i];
        const auto temporary = mover_.LookAt(file.TemporaryPath());
        if (!temporary || temporary->What != platform::EntryFacts::Kind::Regular) {
            Abandon();
            throw EWriteError("The new file " + Quoted(file.TemporaryPath()) +
                              " was gone before it was moved into place");
        }
        file.New = MarkOf(mover_, file.TemporaryPath(), *temporary);
        const auto current = mover_.LookAt(file.Path());
        file.HadCurrent = current.has_value();
        if (current) file.Old = MarkOf(mover_, file.Path(), *current);
        if (mover_.LookAt(file.BackupPath())) {
            if (file.HadCurrent)
                file.Aside = platform::FileNamePart(platform::TemporaryNameBeside(file.BackupPath()));
            else
                kept_.push_back(given_[i] + kBackupSuffix);
        }
    }
    try {
        WriteJournals(TJournalPhase::Rotating);
    } catch (...) {
        Abandon(); // no file has moved yet
        throw;
    }

    std::vector<FileState> states = FreshStates(journal_);
    try {
        for (FileState& state : states) Advance(state, mover_);
    } catch (const EInOutError& e) {
        const std::string trouble = UndoAll(states, mover_);
        try {
            // Said before the temporaries go, so that no later run takes what is at the names
            // for the new files: every file is back, or the next run must finish putting back.
            WriteJournals(trouble.empty() ? TJournalPhase::Undone : TJournalPhase::RollingBack);
        } catch (...) {
            // The journal still says the files were moving; each is known by its identity.
        }
        if (trouble.empty()) Abandon();
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
    for (const TJournalFile& file : journal_.Files) RemoveIfThere(mover_, file.AsidePath());
    RemoveJournals(journals_, mover_);
}

std::optional<TJournalScope> ReadJournalScope(const std::string& journalPath, TFileMover& mover) {
    const auto trusted = Trust(journalPath, mover);
    if (!trusted) return std::nullopt;
    return TJournalScope{trusted->Targets(), trusted->Journal.Phase};
}

std::string RecoverRotation(const std::string& journalPath, TFileMover& mover) {
    const auto trusted = Trust(journalPath, mover);
    if (!trusted) return "";
    const TJournal& journal = trusted->Journal;
    const std::vector<std::string>& journals = trusted->Journals;
    const std::string targets = PathList(trusted->Targets());
    // Nothing changes in a folder that holds no journal of the build.
    auto refuseUnless = [&](std::size_t i, bool needed) {
        if (needed && !trusted->Authorised[i])
            Untrusted(journalPath, journal.Files[i].Path(), "has no journal of that build beside it, yet would change");
    };

    if (journal.Phase == TJournalPhase::Writing || journal.Phase == TJournalPhase::Undone) {
        // A build writes its journals one after another: a temporary in the folder of the one
        // read first goes even before the journal beside its own target was written.
        const bool writing = journal.Phase == TJournalPhase::Writing;
        for (std::size_t i = 0; i < journal.Files.size(); ++i)
            refuseUnless(i,
                         !(writing && trusted->InJournalFolder[i]) &&
                             mover.LookAt(journal.Files[i].TemporaryPath()).has_value());
        RemoveTemporaries(journal, mover);
        RemoveJournals(journals, mover);
        return journal.Phase == TJournalPhase::Writing ? "removed the unfinished files of a build of " + targets +
                " that was stopped before it changed any of them"
                                                       : "removed the new files of a build of " + targets +
                " whose files could not be moved into place; the files are as they were before it, backups included";
    }

    // Each file is waiting (its new file whole at its temporary name), placed (the new file at
    // its name), or lost (neither; at its name nothing, or the file that stood there before);
    // anything else means the files have changed since.
    std::vector<FileState> states = FreshStates(journal);
    bool whole = true;
    for (std::size_t i = 0; i < states.size(); ++i) {
        FileState& state = states[i];
        const std::string why = Classify(state, mover);
        refuseUnless(i, !why.empty());
        if (!why.empty())
            throw EJournalError("A build of " + targets + " was stopped while moving its files into place, but " +
                                Quoted(state.File->Path()) + " " + why +
                                ", so Vellocar will not touch them; nothing was changed. Check the files and their "
                                ".bak files, then delete the journal " +
                                Quoted(journals.front()));
        whole = whole && !state.Lost;
    }

    const bool forward = whole && journal.Phase == TJournalPhase::Rotating;
    for (std::size_t i = 0; i < states.size(); ++i) {
        const FileState& state = states[i];
        refuseUnless(i,
                     forward ? !state.Placed || state.AsideDone
                             : state.Placed || state.MovedAside || state.AsideDone || state.TemporaryThere);
        if (!forward && state.MovedAside && !state.BackupIsOld)
            throw EJournalError("A build of " + targets + " was stopped while moving its files into place, and " +
                                Quoted(state.File->BackupPath()) +
                                " is no longer the file it replaced, so the build cannot be undone; nothing was "
                                "changed. Check the files and their .bak files, then delete the journal " +
                                Quoted(journals.front()));
    }
    if (forward) {
        for (FileState& state : states) Advance(state, mover);
        for (const TJournalFile& file : journal.Files) RemoveIfThere(mover, file.AsidePath());
        RemoveJournals(journals, mover);
        return "finished a build of " + targets +
            " that was stopped while moving its files into place: the new files are in place, and the files they "
            "replaced are their backups";
    }
    const std::string trouble = UndoAll(states, mover);
    if (!trouble.empty()) {
        MarkJournals(journals, journal, TJournalPhase::RollingBack, mover);
        throw EInOutError("A build of " + targets +
                              " was stopped while moving its files into place, and it could "
                              "not be undone." +
                              trouble,
                          0);
    }
    try {
        MarkJournals(journals, journal, TJournalPhase::Undone, mover);
    } catch (const EVellocarError&) {
        // Every file is back at its name, which a later run knows by identity all the same.
    }
    RemoveTemporaries(journal, mover);
    RemoveJournals(journals, mover);
    return "undid a build of " + targets +
        " that was stopped while moving its files into place before all its new files were there: the files are as "
        "they were before it, backups included";
}

} // namespace vellocar
