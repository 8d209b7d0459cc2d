// The journaled rotation of a build's files, in-process and after a dead build: see Rotation.h.

#include "operations/Rotation.h"

#include "base/Crc32.h"
#include "base/Errors.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "names/Names.h"

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

} // namespace

// Each folder a rotation or a recovery acts in is opened once, never through a link at its
// name, and every act goes through it: a folder swapped for a link (or moved) on the way gets
// nothing.
const platform::HeldFolder& TFileMover::Hold(const std::string& folder) {
    const std::string key = HereIfEmpty(folder);
    auto found = folders_.find(key);
    if (found == folders_.end()) found = folders_.emplace(key, platform::HeldFolder::Open(key)).first;
    return found->second;
}

void TFileMover::Rename(const std::string& from, const std::string& to) {
    // A rotation's moves never leave their folder.
    const std::string folder = platform::FolderPart(from);
    if (platform::FolderPart(to) != folder)
        throw EInOutError("Cannot move " + Quoted(from) + " to another folder (" + Quoted(to) + ")", 0);
    const platform::HeldFolder& held = Hold(folder);
    try {
        held.Rename(platform::FileNamePart(from), platform::FileNamePart(to), false);
    } catch (EInOutError& e) {
        e.AddContext(" (moving " + Quoted(from) + " to " + Quoted(to) + ")");
        throw;
    }
    held.Sync();
}

bool TFileMover::Remove(const std::string& path) {
    const platform::HeldFolder& held = Hold(platform::FolderPart(path));
    const bool removed = held.Remove(platform::FileNamePart(path));
    if (removed) held.Sync();
    return removed;
}

void TFileMover::WriteJournal(const std::string& path, const TJournal& journal) {
    // Made new, never through what stands at the name: a dead build's replacement is removed
    // first, anything else there is refused.
    const platform::HeldFolder& held = Hold(platform::FolderPart(path));
    const std::string name = platform::FileNamePart(path), fresh = name + kReplacementSuffix;
    if (const auto there = held.LookAt(fresh)) {
        if (there->What != platform::EntryFacts::Kind::Regular || !held.Remove(fresh))
            throw EUntrustedFile(Quoted(held.PathOf(fresh)) + " is where Vellocar writes a journal, but " +
                                 platform::WhatStandsAt(held.PathOf(fresh)) +
                                 " stands there that it cannot remove; nothing was changed");
    }
    const std::vector<std::uint8_t> bytes = journalcodec::Serialize(journal);
    try {
        platform::File file = held.CreateNew(fresh);
        file.WriteAll(bytes.data(), bytes.size());
        file.Flush();
        file.Close();
    } catch (...) {
        held.Remove(fresh);
        throw;
    }
    held.Rename(fresh, name, true);
    held.Sync();
}

std::optional<std::vector<std::uint8_t>> TFileMover::ReadJournal(const std::string& path) {
    std::optional<platform::HeldFolder> held;
    try {
        held.emplace(platform::HeldFolder::Open(HereIfEmpty(platform::FolderPart(path))));
    } catch (const EFOpenError&) {
        return std::nullopt; // no such folder, so no journal
    }
    const std::string name = platform::FileNamePart(path);
    if (!held->LookAt(name)) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        platform::File file = held->OpenRead(name);
        // One byte more than a journal can hold is enough for the parser to refuse it.
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), journalcodec::kMaxSize + 1)));
        file.ReadExact(bytes.data(), bytes.size());
    } catch (const EFOpenError&) {
        if (!held->LookAt(name)) return std::nullopt; // finished by its writer meanwhile
        throw;
    }
    return bytes;
}

std::optional<platform::EntryFacts> TFileMover::LookAt(const std::string& path) {
    try {
        return Hold(platform::FolderPart(path)).LookAt(platform::FileNamePart(path));
    } catch (const EFOpenError&) {
        return std::nullopt; // no such folder
    }
}

std::optional<TContentMark> TFileMover::Content(const std::string& path) {
    try {
        platform::File file = Hold(platform::FolderPart(path)).OpenRead(platform::FileNamePart(path));
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

bool TFileMover::KeepsIdentities(const std::string& folder) { return platform::FolderKeepsIdentities(folder); }

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

// Whether the entry at path is the file that mark describes: of its size and with its identity.
// Only where the file system may have numbered it anew (a FAT stick after a remount) is a file
// of another identity known by its checksum, unless it has the identity of the other file of
// the pair, which makes it that one.
bool IsFile(TFileMover& mover, const std::string& path, const std::optional<platform::EntryFacts>& facts,
            const TFileMark& mark, const TFileMark* other, bool renumbering) {
    if (!facts || facts->Size != mark.Size) return false;
    if (IsKnownId(facts->Id) && facts->Id == IdOf(mark)) return true;
    if (!renumbering) return false;
    if (other && IsKnownId(facts->Id) && facts->Id == IdOf(*other)) return false;
    if (facts->What != platform::EntryFacts::Kind::Regular || !mark.ChecksumKnown) return false;
    const auto content = mover.Content(path);
    return content && content->Checksum == mark.Checksum;
}

// ---- What a journal may be trusted with

// Every name a recovery may touch for one file of a journal, in its folder: the target, its
// backup, its two temporaries, its journal and the journal's replacement.
std::vector<std::string> OwnNamesOf(const TJournalFile& file) {
    const std::string journal = SideFileName(file.Name, kJournalKind, platform::kHostPathSystem);
    std::vector<std::string> names{file.Name, file.Name + kBackupSuffix, file.Temporary, journal,
                                   journal + kReplacementSuffix};
    if (!file.Aside.empty()) names.push_back(file.Aside);
    return names;
}

// A journal's names checked against the one form this program gives them, and its folders
// taken by what they are rather than how they are spelled: a file whose folder is the journal's
// own (or another file's), under any spelling, is put there. Raises for anything else. This is
// the only judge of what a journal may name.
void CheckNames(TJournal& journal, const std::string& journalPath, TFileMover& mover) {
    const std::string journalFolder = platform::FolderPart(journalPath);
    std::vector<std::string> folders{journalFolder};
    std::vector<std::string> keys; // every name the build may touch, as a folding folder compares them
    std::vector<std::string> journalKeys;
    for (TJournalFile& file : journal.Files) {
        if (!IsAbsoluteFolder(file.Folder, platform::kHostPathSystem))
            Untrusted(journalPath, file.Folder, "is not a folder as a build writes one");
        if (!IsPlainFileName(file.Name, platform::kHostPathSystem))
            Untrusted(journalPath, file.Name, "is not the name of one file");
        if (file.Temporary != OwnTemporaryName(file.Name, journal.Token, platform::kHostPathSystem))
            Untrusted(journalPath, file.Temporary, "is not the temporary that its build gives " + Quoted(file.Name));
        if (!file.Aside.empty() &&
            file.Aside != OwnTemporaryName(file.Name + kBackupSuffix, journal.Token, platform::kHostPathSystem))
            Untrusted(journalPath, file.Aside,
                      "is not the temporary that its build gives " + Quoted(file.Name + kBackupSuffix));
        // Known by contents only where the journal says the file system may number files anew
        // and the file system says so itself.
        if (file.Renumbering && mover.KeepsIdentities(file.Folder)) file.Renumbering = false;
        if (journal.Phase != TJournalPhase::Writing && !file.Renumbering &&
            (!IsKnownId(IdOf(file.New)) || (file.HadCurrent && !IsKnownId(IdOf(file.Old))) ||
             (file.HadCurrent && IdOf(file.New) == IdOf(file.Old))))
            Untrusted(journalPath, file.Name,
                      "it cannot tell from the file it replaces: the journal gives no identity for them on a file "
                      "system that keeps one");
        for (const std::string& folder : folders) {
            if (folder != file.Folder && mover.SameFile(folder, file.Folder)) {
                file.Folder = folder;
                break;
            }
        }
        if (std::find(folders.begin(), folders.end(), file.Folder) == folders.end()) folders.push_back(file.Folder);
        const std::vector<std::string> names = OwnNamesOf(file);
        for (std::size_t n = 0; n < names.size(); ++n) {
            // Two targets whose names differ in case share one journal; nothing else is shared.
            const bool journalName = n == 3 || n == 4;
            const std::string key = WindowsNameKey(platform::JoinPath(file.Folder, names[n]));
            const bool twice = std::find(keys.begin(), keys.end(), key) != keys.end() ||
                (!journalName && std::find(journalKeys.begin(), journalKeys.end(), key) != journalKeys.end());
            if (twice)
                Untrusted(journalPath, platform::JoinPath(file.Folder, names[n]), "it names twice, for two purposes");
            (journalName ? journalKeys : keys).push_back(key);
        }
    }
    for (const std::string& key : journalKeys)
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            Untrusted(journalPath, key, "it names twice, for two purposes");
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
    std::vector<std::string> Journals; // the journals that stand, in JournalPaths order

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (std::size_t i = 0; i < Journal.Files.size(); ++i)
            if (Authorised[i]) targets.push_back(Journal.Files[i].Path());
        return targets;
    }
};

// The journal at path, when one stands there: an ordinary file of one name, reached without a
// link (a second name of another journal, or a link to one, would let one journal pass for two).
std::optional<TJournal> ReadOne(const std::string& path, TFileMover& mover) {
    const auto bytes = mover.ReadJournal(path);
    if (!bytes) return std::nullopt;
    const auto facts = mover.LookAt(path);
    if (!facts || facts->What != platform::EntryFacts::Kind::Regular || facts->Links > 1)
        Untrusted(path, path, "has more than one name, or is not an ordinary file");
    return journalcodec::Parse(*bytes, path);
}

std::optional<TTrusted> Trust(const std::string& journalPath, TFileMover& mover) {
    const auto read = ReadOne(journalPath, mover);
    if (!read) return std::nullopt;
    const TJournal& first = *read;
    TTrusted trusted;
    trusted.Journal = first;
    CheckNames(trusted.Journal, journalPath, mover);
    const TJournal& checked = trusted.Journal; // the folders as the journal's own folder spells them

    // The files it stands beside are its own; every other one needs a journal of the same build
    // beside it before anything there may change.
    const std::size_t count = first.Files.size();
    trusted.Authorised.assign(count, false);
    std::vector<std::string> standing{journalPath}; // journal paths known to stand
    const TJournal* newest = &first;
    std::vector<TJournal> peers;
    peers.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string path = JournalPathOf(checked.Files[i]);
        if (std::find(standing.begin(), standing.end(), path) != standing.end()) {
            trusted.Authorised[i] = true;
            continue;
        }
        for (const std::string& seen : standing)
            if (mover.SameFile(seen, path))
                Untrusted(journalPath, path, "is another name of the journal " + Quoted(seen));
        auto peer = ReadOne(path, mover);
        if (!peer) continue;
        if (!SameBuild(*peer, first))
            Untrusted(journalPath, checked.Files[i].Path(),
                      "has a journal of another build beside it (" + Quoted(path) + ")");
        TJournal own = *peer;
        CheckNames(own, path, mover);
        peers.push_back(std::move(*peer));
        if (peers.back().Phase > newest->Phase) newest = &peers.back();
        standing.push_back(path);
        trusted.Authorised[i] = true;
    }
    bool ownFile = false;
    for (const TJournalFile& file : checked.Files) ownFile = ownFile || JournalPathOf(file) == journalPath;
    if (!ownFile) Untrusted(journalPath, checked.Files.back().Path(), "is not the file it stands beside");
    if (newest != &first) {
        trusted.Journal = *newest;
        CheckNames(trusted.Journal, journalPath, mover);
    }
    for (const std::string& path : JournalPaths(trusted.Journal))
        if (std::find(standing.begin(), standing.end(), path) != standing.end()) trusted.Journals.push_back(path);
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
    const bool renumbering = file.Renumbering;
    const bool currentNew = IsFile(mover, file.Path(), current, file.New, old, renumbering);
    const bool currentOld = old && IsFile(mover, file.Path(), current, *old, &file.New, renumbering);
    if (currentNew && currentOld) return "cannot be told apart from the file it replaced";
    state.TemporaryThere = temporary.has_value();
    if (temporary) {
        if (!IsFile(mover, file.TemporaryPath(), temporary, file.New, old, renumbering))
            return "has a new file that is no longer the one the build wrote";
    } else {
        state.Placed = currentNew;
        state.Lost = !currentNew;
    }
    if (!state.Placed && current && !currentOld) return "is neither the file the build replaces nor its new one";
    state.MovedAside = file.HadCurrent && (state.Placed || !current);
    state.BackupIsOld =
        old && IsFile(mover, file.BackupPath(), mover.LookAt(file.BackupPath()), *old, &file.New, renumbering);
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

void RemoveJournals(const std::vector<std::string>& journals, TFileMover& mover,
                    const std::vector<std::string>& kept = {}) {
    for (auto path = journals.rbegin(); path != journals.rend(); ++path) {
        if (std::find(kept.begin(), kept.end(), *path) != kept.end()) continue;
        RemoveIfThere(mover, *path + kReplacementSuffix);
        RemoveIfThere(mover, *path);
    }
}

// The temporaries, then the journals. A journal stays beside a target whose temporary could not
// be removed, so that the temporary is never left to a journal of the build in another place,
// which may not touch it; the next run there tries again. Returns the temporaries left.
std::vector<std::string> RemoveTemporariesAndJournals(const TJournal& journal, const std::vector<std::string>& journals,
                                                      TFileMover& mover) {
    std::vector<std::string> left, kept;
    for (const TJournalFile& file : journal.Files) {
        const std::string path = file.TemporaryPath();
        if (!mover.LookAt(path) || mover.Remove(path)) continue;
        left.push_back(path);
        kept.push_back(JournalPathOf(file));
    }
    RemoveJournals(journals, mover, kept);
    return left;
}

// What a recovery says of the temporaries it could not remove: "" when there are none.
std::string LeftText(const std::vector<std::string>& left) {
    return left.empty() ? ""
                        : "; " + PathList(left) + " could not be removed, and the journal beside " +
            (left.size() == 1 ? "it stays" : "each stays") + " so that the next run tries again";
}

void MarkJournals(const std::vector<std::string>& journals, const TJournal& journal, TJournalPhase phase,
                  TFileMover& mover) {
    TJournal marked = journal;
    marked.Phase = phase;
    for (const std::string& path : journals) mover.WriteJournal(path, marked);
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

std::uint64_t NewBuildToken() {
    std::random_device random;
    const std::uint64_t high = random(), low = random();
    return (high << 32) ^ low;
}

TRotation::TRotation(const std::vector<std::string>& targets, TFileMover& mover, std::uint64_t token) : mover_(mover) {
    journal_.Token = token;
    for (const std::string& target : targets) {
        given_.push_back(target);
        const std::string path = platform::AbsolutePath(target);
        TJournalFile entry;
        entry.Folder = platform::FolderPart(path);
        entry.Name = platform::FileNamePart(path);
        entry.Temporary = OwnTemporaryName(entry.Name, token, platform::kHostPathSystem);
        entry.Renumbering = !mover_.KeepsIdentities(entry.Folder);
        temporaries_.push_back(platform::JoinPath(platform::FolderPart(target), entry.Temporary));
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
        RemoveTemporariesAndJournals(journal_, journals_, mover_);
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
                file.Aside = OwnTemporaryName(file.Name + kBackupSuffix, journal_.Token, platform::kHostPathSystem);
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
        // A build writes every journal before its first temporary, and removes a journal only
        // once its temporary is gone: a temporary without its own journal beside it is not this
        // journal's to remove, in whatever phase and folder.
        for (std::size_t i = 0; i < journal.Files.size(); ++i)
            refuseUnless(i, mover.LookAt(journal.Files[i].TemporaryPath()).has_value());
        const std::string left = LeftText(RemoveTemporariesAndJournals(journal, journals, mover));
        return (journal.Phase == TJournalPhase::Writing ? "removed the unfinished files of a build of " + targets +
                        " that was stopped before it changed any of them"
                                                        : "removed the new files of a build of " + targets +
                        " whose files could not be moved into place; the files are as they were before it, backups "
                        "included") +
            left;
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
        try {
            for (FileState& state : states) Advance(state, mover);
        } catch (const EInOutError& e) {
            // Nothing is lost: each file is at one of its names, and the journal stays for the
            // next run, which finds the same state and tries again.
            std::string where;
            for (const FileState& state : states)
                where += state.Placed ? " " + Quoted(state.File->Path()) + " is the new file."
                                      : " The new file for " + Quoted(state.File->Path()) + " waits at " +
                        Quoted(state.File->TemporaryPath()) + ".";
            throw EInOutError("A build of " + targets +
                                  " was stopped while moving its files into place, and Vellocar could not finish it: " +
                                  e.what() + "." + where + " The journal " + Quoted(journals.front()) +
                                  " stays, so that the next run finishes it",
                              e.ErrorCode);
        }
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
    const std::string left = LeftText(RemoveTemporariesAndJournals(journal, journals, mover));
    return "undid a build of " + targets +
        " that was stopped while moving its files into place before all its new files were there: the files are as "
        "they were before it, backups included" +
        left;
}

} // namespace vellocar
