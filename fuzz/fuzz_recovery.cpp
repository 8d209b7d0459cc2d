// Recovery after a dead build, over a folder held in memory: the input makes a journal (its
// phase, files, names and marks, from small tables of names that belong and names that do not),
// journals of the same build or of another beside its other targets, what stands at every name
// involved, and a rename that fails. Whatever the journal says, recovery may change only the
// names this program gives a target beside a journal that stood there before it ran: the
// target, its ".bak", its temporaries, its journal and the journal's replacement.

#include "Errors.h"
#include "FuzzCheck.h"
#include "Journal.h"
#include "Rotation.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace vellocar;
using Kind = platform::EntryFacts::Kind;

namespace {

const char* const kFolders[] = {"/m", "/m", "/m/data", "/o", "m", "/m/../o", "/m/"};
const char* const kNames[] = {"mod.key", "mod.key", "x.bif", "x.bif", "MOD.KEY", "readme.txt", "../x", "a/b", ".."};
const char* const kTags[] = {".1-0.tmp", ".new", ".2a-3.tmp", ".journal", "", "/../v", ".bak"};
const char* const kOthers[] = {"/m/readme.txt", "/o/victim", "/m/.readme.txt.new", "/o/.VICTIM.journal"};

struct Entry {
    platform::EntryFacts Facts;
    std::uint32_t Checksum = 0;
    std::vector<std::uint8_t> Bytes; // of a journal
};

class MemoryMover : public TFileMover {
public:
    std::map<std::string, Entry> Files;
    std::vector<std::pair<std::string, bool>> Changed; // each name changed, and whether it was removed
    int FailAt = -1;

    void Rename(const std::string& from, const std::string& to) override {
        Changed.insert(Changed.end(), {{from, false}, {to, false}});
        const auto found = Files.find(from);
        if (renames_++ == FailAt || found == Files.end() || Files.count(to))
            throw EInOutError("File access denied", 16);
        Files[to] = found->second;
        Files.erase(from);
    }
    bool Remove(const std::string& path) override {
        Changed.emplace_back(path, true);
        return Files.erase(path) > 0;
    }
    void WriteJournal(const std::string& path, const TJournal& journal) override {
        Changed.emplace_back(path, false);
        Entry& entry = Files[path] = {};
        entry.Facts.What = Kind::Regular;
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
    bool SameFile(const std::string& a, const std::string& b) override { return a == b; }

private:
    const Entry* Find(const std::string& path) const {
        const auto found = Files.find(path);
        return found == Files.end() ? nullptr : &found->second;
    }
    int renames_ = 0;
};

// Whether name, in a folder that held the journal whose name is journal (of bytes), is one of
// its target's own names; a removal may also be of a temporary of another file the journal names
// in that folder (a build writes its journals one after another, before any temporary).
bool OwnName(const std::string& name, const std::string& journal, const std::vector<std::uint8_t>& bytes,
             const std::string& folder, bool removal) {
    if (name == journal || name == journal + kReplacementSuffix) return true;
    const std::string base = name.starts_with('.') ? name.substr(1) : name;
    for (std::size_t end = 1; end <= base.size(); ++end)
        if ((end == base.size() || base[end] == '.') &&
            SideFileName(base.substr(0, end), kJournalKind, platform::kHostPathSystem) == journal)
            return true;
    if (!removal) return false;
    try {
        for (const TJournalFile& file : journalcodec::Parse(bytes, "").Files)
            if (file.Folder == folder && base.starts_with(file.Name + ".")) return true;
    } catch (const EJournalError&) {}
    return false;
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

    TJournal journal{static_cast<TJournalPhase>(1 + byte() % 4), byte(), {}};
    for (std::size_t i = 0, count = 1 + byte() % journalcodec::kMaxFiles; i < count; ++i) {
        TJournalFile file{pick(kFolders), pick(kNames), "", "", false, {}, {}};
        const std::string lead = (byte() & 1) ? "." : "";
        file.Temporary = lead + file.Name + pick(kTags);
        if (byte() & 1) file.Aside = lead + file.Name + ".bak" + pick(kTags);
        file.HadCurrent = (byte() & 1) != 0;
        file.New = mark();
        file.Old = mark();
        journal.Files.push_back(file);
    }

    MemoryMover mover;
    const std::string journalPath = "/m/.MOD.KEY.journal";
    mover.WriteJournal(journalPath, journal);
    const auto place = [&](const std::string& path) {
        const std::uint8_t how = byte();
        if (how % 3 == 0) return;
        Entry& entry = mover.Files[path] = {};
        entry.Facts = {how % 7 == 1 ? Kind::Link : Kind::Regular, byte() % 4u, {1, byte() % 4u}};
        entry.Checksum = byte() % 4;
    };
    for (const TJournalFile& file : journal.Files) {
        const std::string beside =
            platform::JoinPath(file.Folder, SideFileName(file.Name, kJournalKind, platform::kHostPathSystem));
        if (const std::uint8_t peer = byte() % 4; beside != journalPath && peer != 0) {
            TJournal other = journal;
            other.Phase = static_cast<TJournalPhase>(1 + byte() % 4);
            other.Token ^= peer == 3 ? 1 : 0;
            mover.WriteJournal(beside, other);
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
    for (const auto& [path, removal] : mover.Changed) {
        const std::string folder = platform::FolderPart(path), name = platform::FileNamePart(path);
        bool own = false;
        for (const auto& [held, entry] : before)
            if (platform::FolderPart(held) == folder && held.ends_with(".journal") && !entry.Bytes.empty())
                own = own || OwnName(name, platform::FileNamePart(held), entry.Bytes, folder, removal);
        if (!own) fuzz::Fail("recovery changed a name that is not its own", path);
    }
    return 0;
}
