// Recovery after a dead build, over a folder held in memory: the input makes a journal (its
// phase, token, files, names and marks, from small tables of names that belong and names that do
// not, and of spellings of one folder), journals of the same build or of another beside its
// other targets (ordinary, or a second name of another journal), what stands at every name
// involved, whether the file systems keep identities, and a rename that fails. Whatever the
// journal says, recovery may change only the names this program gives a target beside a journal
// that stood there before it ran, and never deletes a file that stood at a target's name unless
// it is the build's new file. The oracle spells those names itself, from their one form.

#include "base/Errors.h"
#include "formats/Journal.h"
#include "FuzzCheck.h"
#include "operations/Rotation.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace vellocar;
using Kind = platform::EntryFacts::Kind;

namespace {

// "/m" spelled otherwise: through the root's link, a link to ".", a trailing separator.
const char* const kFolders[] = {"/m", "/m", "/m/data", "/o", "m", "/m/../o", "/proc/self/root/m", "/m/self"};
const char* const kNames[] = {"mod.key", "mod.key", "x.bif", "x.bif", "MOD.KEY", "readme.txt", "../x", "a/b", ".."};
const char* const kOthers[] = {"/m/readme.txt",      "/o/victim",      "/m/.readme.txt.new",
                               "/o/.VICTIM.journal", "/m/mod.key.old", "/m/.mod.key.1-0.tmp"};

// The folder a spelling leads to.
std::string FolderOf(const std::string& folder) {
    if (folder == "/proc/self/root/m" || folder == "/m/self") return "/m";
    return folder;
}
std::string Canonical(const std::string& path) {
    return platform::JoinPath(FolderOf(platform::FolderPart(path)), platform::FileNamePart(path));
}

std::string Hex(std::uint64_t token) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int shift = 60; shift >= 0; shift -= 4) text += digits[(token >> shift) & 0xF];
    return text;
}
std::string Upper(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

struct Entry {
    platform::EntryFacts Facts;
    std::uint32_t Checksum = 0;
    std::vector<std::uint8_t> Bytes; // of a journal
};

class MemoryMover : public TFileMover {
public:
    std::map<std::string, Entry> Files; // by canonical path
    std::vector<std::pair<std::string, bool>> Changed; // each name changed, and whether it was removed
    int FailAt = -1;
    bool Keeps = true;

    void Rename(const std::string& from, const std::string& to) override {
        Changed.insert(Changed.end(), {{Canonical(from), false}, {Canonical(to), false}});
        const auto found = Files.find(Canonical(from));
        if (renames_++ == FailAt || found == Files.end() || Files.count(Canonical(to)))
            throw EInOutError("File access denied", 16);
        Files[Canonical(to)] = found->second;
        Files.erase(found);
    }
    bool Remove(const std::string& path) override {
        Changed.emplace_back(Canonical(path), true);
        return Files.erase(Canonical(path)) > 0;
    }
    void WriteJournal(const std::string& path, const TJournal& journal) override {
        Changed.emplace_back(Canonical(path), false);
        Entry& entry = Files[Canonical(path)] = {};
        entry.Facts.What = Kind::Regular;
        entry.Facts.Links = 1;
        entry.Bytes = journalcodec::Serialize(journal);
        entry.Facts.Size = entry.Bytes.size();
    }
    std::optional<std::vector<std::uint8_t>> ReadJournal(const std::string& path) override {
        const Entry* entry = Find(path);
        if (entry && entry->Facts.What != Kind::Regular) throw EUntrustedFile("not a file");
        return entry ? std::optional(entry->Bytes) : std::nullopt;
    }
    std::optional<platform::EntryFacts> LookAt(const std::string& path) override {
        const Entry* entry = Find(path);
        return entry ? std::optional(entry->Facts) : std::nullopt;
    }
    std::optional<TContentMark> Content(const std::string& path) override {
        const Entry* entry = Find(path);
        if (!entry || entry->Facts.What != Kind::Regular) return std::nullopt;
        return TContentMark{entry->Checksum};
    }
    bool SameFile(const std::string& a, const std::string& b) override {
        if (Canonical(a) == Canonical(b) || FolderOf(a) == FolderOf(b)) return true;
        const Entry *x = Find(a), *y = Find(b);
        return x && y && x->Facts.Id != platform::FileId{} && x->Facts.Id == y->Facts.Id;
    }
    bool KeepsIdentities(const std::string&) override { return Keeps; }

private:
    const Entry* Find(const std::string& path) const {
        const auto found = Files.find(Canonical(path));
        return found == Files.end() ? nullptr : &found->second;
    }
    int renames_ = 0;
};

// A journal the input stood in a folder (canonical), and the build it speaks for.
struct Planted {
    std::string Folder;
    std::string Name;
    TJournal Journal;
};

// The names a build of journal may touch in folder, spelled from their one form: those of each
// of its targets there beside which a journal stood.
std::vector<std::string> OwnNames(const TJournal& journal, const std::string& folder,
                                  const std::vector<Planted>& planted) {
    std::vector<std::string> names;
    for (const TJournalFile& file : journal.Files) {
        const std::string beside = "." + Upper(file.Name) + ".journal";
        if (FolderOf(file.Folder) != folder || std::none_of(planted.begin(), planted.end(), [&](const Planted& p) {
                return p.Folder == folder && p.Name == beside;
            }))
            continue;
        const std::string tail = "." + Hex(journal.Token) + ".tmp";
        for (const std::string& name :
             {file.Name, file.Name + ".bak", "." + file.Name + tail, "." + file.Name + ".bak" + tail,
              "." + Upper(file.Name) + ".journal", "." + Upper(file.Name) + ".journal.new"})
            names.push_back(name);
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    const auto byte = [&] { return at < size ? data[at++] : std::uint8_t{0}; };
    const auto pick = [&](const auto& choices) { return choices[byte() % std::size(choices)]; };
    const auto mark = [&] {
        const std::uint8_t index = byte() % 4;
        return TFileMark{byte() % 4u, index == 0 ? 0u : 1u, index, byte() % 4u, (byte() & 1) != 0};
    };

    TJournal journal{static_cast<TJournalPhase>(1 + byte() % 4), byte() % 3u, {}};
    const std::string token = Hex(journal.Token);
    const std::string tags[] = {
        "." + token + ".tmp", ".1-0.tmp", ".new", "." + Hex(journal.Token + 1) + ".tmp", "", "/../v", ".bak"};
    for (std::size_t i = 0, count = 1 + byte() % journalcodec::kMaxFiles; i < count; ++i) {
        TJournalFile file{pick(kFolders), pick(kNames), "", "", false, (byte() & 1) != 0, {}, {}};
        const std::string lead = (byte() % 4) ? "." : "";
        file.Temporary = lead + file.Name + pick(tags);
        if (byte() & 1) file.Aside = lead + file.Name + ".bak" + pick(tags);
        file.HadCurrent = (byte() & 1) != 0;
        file.New = mark();
        file.Old = mark();
        journal.Files.push_back(file);
    }

    MemoryMover mover;
    mover.Keeps = (byte() & 1) != 0;
    const std::string journalPath = "/m/.MOD.KEY.journal";
    mover.WriteJournal(journalPath, journal);
    std::vector<Planted> planted{{"/m", ".MOD.KEY.journal", journal}};
    const auto place = [&](const std::string& path) {
        const std::uint8_t how = byte();
        if (how % 3 == 0) return;
        Entry& entry = mover.Files[Canonical(path)] = {};
        entry.Facts = {how % 7 == 1 ? Kind::Link : Kind::Regular, byte() % 4u, {1, byte() % 4u}, 1};
        entry.Checksum = byte() % 4;
    };
    for (const TJournalFile& file : journal.Files) {
        const std::string beside = Canonical(platform::JoinPath(file.Folder, "." + Upper(file.Name) + ".journal"));
        if (const std::uint8_t peer = byte() % 5; !mover.Files.count(beside) && peer != 0) {
            TJournal other = journal;
            other.Phase = static_cast<TJournalPhase>(1 + byte() % 4);
            other.Token ^= peer == 3 ? 1 : 0;
            mover.WriteJournal(beside, other);
            if (peer == 4) { // a second name of the first journal
                mover.Files[beside] = mover.Files[Canonical(journalPath)];
                mover.Files[beside].Facts.Id = mover.Files[Canonical(journalPath)].Facts.Id = {9, 9};
                mover.Files[beside].Facts.Links = mover.Files[Canonical(journalPath)].Facts.Links = 2;
            } else {
                planted.push_back({platform::FolderPart(beside), platform::FileNamePart(beside), other});
            }
        }
        for (const std::string& path : {file.Path(), file.TemporaryPath(), file.BackupPath(), file.AsidePath()})
            if (!path.empty()) place(path);
    }
    for (const char* other : kOthers) place(other);
    mover.FailAt = byte() % 8 - 1;
    mover.Changed.clear();
    const std::map<std::string, Entry> before = mover.Files;

    try {
        RecoverRotation(journalPath, mover);
    } catch (const EVellocarError&) {}

    // Every name changed is one of a target's own names, where a journal of that build stood
    // beside that target; a target's name or its backup's is never removed.
    for (const auto& [path, removal] : mover.Changed) {
        const std::string folder = platform::FolderPart(path), name = platform::FileNamePart(path);
        bool own = false;
        for (const Planted& p : planted) {
            if (p.Folder != folder) continue;
            const std::vector<std::string> names = OwnNames(p.Journal, folder, planted);
            if (std::find(names.begin(), names.end(), p.Name) == names.end())
                continue; // a journal that is not named for a target of its folder
            for (std::size_t n = 0; n < names.size(); ++n) own = own || (names[n] == name && !(removal && n % 6 < 2));
        }
        if (!own)
            fuzz::Fail(removal ? "recovery removed a name that is not its own to remove"
                               : "recovery changed a name that is not its own",
                       path);
    }
    // A file that stood at a target's name is gone afterwards only when it was that target's new
    // file: of its size and identity, or where files are numbered anew, of its checksum.
    for (const TJournalFile& file : journal.Files) {
        const auto was = before.find(Canonical(file.Path()));
        if (was == before.end() || was->second.Facts.What != Kind::Regular) continue;
        bool kept = false;
        for (const auto& [path, entry] : mover.Files)
            kept = kept ||
                (entry.Facts.Id == was->second.Facts.Id && entry.Checksum == was->second.Checksum &&
                 entry.Facts.Size == was->second.Facts.Size);
        const platform::FileId id{file.New.Volume, file.New.Index};
        const bool isNew = was->second.Facts.Size == file.New.Size &&
            ((id != platform::FileId{} && was->second.Facts.Id == id) ||
             (file.Renumbering && !mover.Keeps && file.New.ChecksumKnown && was->second.Checksum == file.New.Checksum));
        if (!kept && !isNew) fuzz::Fail("recovery deleted a file that stood at a target's name", file.Path());
    }
    return 0;
}
