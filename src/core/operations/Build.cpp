// BuildArchive: packs a folder's files into a new BIF and registers it in a KEY.
//
// A build runs in three phases, and only the last one touches any existing file:
//   1. checks: the names of the targets, then (holding the locks of both targets, and having
//      finished whatever a build of them that died left) the files at those names, the list,
//      every source file, the limits of both formats, and in append mode the existing KEY,
//      which is loaded and so validated here;
//   2. writing: the new BIF and the new KEY go to temporary files beside their targets, named in
//      a journal first, the BIF in one forward pass (table pass, then data pass), both flushed
//      and closed;
//   3. rotation: the current files become the backups, the new files are moved into place, and
//      only then are the old backups deleted (Rotation.h).
// Any failure in phases 1 and 2 removes the temporaries and leaves every existing file as it
// was; a failure in phase 3 puts every file back; a process that dies in phase 2 or 3 is
// cleaned up after, finished or undone by the next run, through the journal.

#include "Build.h"

#include "ArchiveNames.h"
#include "BifCodec.h"
#include "BifFiles.h"
#include "BuildGuard.h"
#include "ByteIO.h"
#include "Errors.h"
#include "Text.h"
#include "ExportNames.h"
#include "KeyCodec.h"
#include "KeyFiles.h"
#include "Names.h"
#include "Platform.h"
#include "Rotation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellocar {

namespace {

constexpr char kEntryFolder[] = "data\\";
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxFilenameSize = std::numeric_limits<std::uint16_t>::max();
// A refusal names at most this many offending files, then says how many more there are.
constexpr std::size_t kMaxNamesInMessage = 10;
// The variable table is written through a buffer of this many entries at a time.
constexpr std::size_t kTableChunkEntries = 4096;

// How many fresh temporary names are tried before the folder is taken to refuse them all.
constexpr int kTemporaryAttempts = 100;
// How many leading bytes of a target a refusal quotes.
constexpr std::size_t kQuotedBytes = 8;

const char* const kNothingChanged = " Nothing was changed.";
const char* const kNoFileChanged = ". The build was stopped; no existing file was changed.";

// One file of the list as the table pass records it.
struct SourceFile {
    std::string Name; // as listed
    std::string Path; // SourceDir + Name
    std::string BaseName; // Name without its extension
    std::uint32_t ResType = 0;
    std::uint32_t Size = 0;
};

// The extension runs from the last "." to the end, the point included; a name without a
// point has none.
void SplitName(const std::string& name, std::string& baseName, std::string& extension) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) {
        baseName = name;
        extension.clear();
    } else {
        baseName = name.substr(0, dot);
        extension = name.substr(dot);
    }
}

// "a", "b" and "c", cut after kMaxNamesInMessage names; quoted unless the entries are
// phrases that quote their names already.
std::string NameList(const std::vector<std::string>& names, bool quote = true) {
    std::string text;
    const std::size_t shown = std::min(names.size(), kMaxNamesInMessage);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += (i + 1 == shown && shown == names.size()) ? " and " : ", ";
        text += quote ? Quoted(names[i]) : names[i];
    }
    if (shown < names.size()) text += " and " + std::to_string(names.size() - shown) + " more";
    return text;
}

[[noreturn]] void Refuse(const std::string& bifFileName, const std::string& reason) {
    throw EBuildRefused("Cannot build " + Quoted(bifFileName) + ": " + reason + "." + kNothingChanged);
}

bool IsFolder(const std::string& path) {
    const auto info = platform::Stat(path);
    return info && info->IsDirectory;
}

// Everything about the list that can be known before the disk is touched: that it is not
// empty, that every file is still there and an ordinary file, that every base name fits a
// ResRef, and that the BIF stays within its 32-bit offsets.
std::vector<SourceFile> CheckSources(const std::vector<std::string>& names, const std::string& sourceDir,
                                     const std::string& bifFileName, std::uint64_t& bifSize) {
    if (names.empty()) Refuse(bifFileName, "the folder holds no files to pack");
    if (names.size() > kMaxResourcesPerBif) {
        Refuse(bifFileName,
               std::to_string(names.size()) + " files are more than a BIF can index (at most " +
                   std::to_string(kMaxResourcesPerBif) + ")");
    }

    std::vector<SourceFile> files(names.size());
    std::vector<std::string> unfit, missing, notPlain, tooLong, tooLarge;
    std::uint64_t total = bifcodec::Header::Size + bifcodec::VarEntry::Size * files.size();
    for (std::size_t i = 0; i < files.size(); ++i) {
        SourceFile& file = files[i];
        file.Name = names[i];
        file.Path = sourceDir + file.Name;
        // The ResRef holds the name as the game reads it (Windows-1252), whatever this system's
        // file names are spelled in.
        const TArchiveName archived = ArchiveNameOfFile(file.Name);
        if (!archived.Problem.empty()) {
            unfit.push_back(Quoted(file.Name) + " (" + archived.Problem + ")");
            continue;
        }
        std::string extension;
        SplitName(archived.Bytes, file.BaseName, extension);
        file.ResType = static_cast<std::uint32_t>(ExtToResType(extension));
        if (file.BaseName.size() > kResRefSize) tooLong.push_back(file.Name);

        const auto info = platform::Stat(file.Path);
        if (!info) {
            missing.push_back(file.Path);
        } else if (!info->IsRegular) {
            notPlain.push_back(file.Path);
        } else if (info->Size > kMax32) {
            // Counted as well, so that the refusal states the real total.
            tooLarge.push_back(file.Path);
            total = info->Size > std::numeric_limits<std::uint64_t>::max() - total
                ? std::numeric_limits<std::uint64_t>::max()
                : total + info->Size;
        } else {
            file.Size = static_cast<std::uint32_t>(info->Size);
            total += file.Size;
        }
    }

    if (!unfit.empty()) {
        Refuse(bifFileName,
               (unfit.size() == 1 ? "this name cannot be packed: " : "these names cannot be packed: ") +
                   NameList(unfit, false));
    }
    if (!missing.empty()) {
        Refuse(bifFileName,
               (missing.size() == 1 ? "this file is no longer there: " : "these files are no longer there: ") +
                   NameList(missing));
    }
    if (!notPlain.empty()) {
        Refuse(bifFileName,
               (notPlain.size() == 1 ? "this is not an ordinary file: " : "these are not ordinary files: ") +
                   NameList(notPlain));
    }
    if (!tooLong.empty()) {
        Refuse(bifFileName,
               "a resource name holds at most " + std::to_string(kResRefSize) +
                   " characters before the extension, and " +
                   (tooLong.size() == 1 ? "this name is longer: "
                                        : std::to_string(tooLong.size()) + " names are longer: ") +
                   NameList(tooLong));
    }
    if (!tooLarge.empty() || total > kMax32) {
        Refuse(bifFileName,
               "the files come to " + std::to_string(total) +
                   " bytes with the tables, more than a BIF can hold (under 4 GiB)");
    }
    bifSize = total;
    return files;
}

// The index of the entry for entryName, -1 when there is none. An entry spelled exactly so
// comes first (the last one, when several are); failing that, the last entry that names the
// same file with other letter case or "/" for "\": reusing it keeps one entry per BIF, where
// a second entry would leave the first one's names pointing into the new BIF's bytes.
std::int64_t FindEntry(const TNWNKeyFile& key, const std::string& entryName) {
    std::int64_t exact = -1, alike = -1;
    for (std::size_t d = 0; d < key.Filenames.size(); ++d) {
        const std::string& name = key.Filenames[d].Filename;
        if (name == entryName)
            exact = static_cast<std::int64_t>(d);
        else if (SameStoredName(name, entryName))
            alike = static_cast<std::int64_t>(d);
    }
    return exact >= 0 ? exact : alike;
}

// The table pass and the data pass, into the open file bif. The offsets all come from the
// sizes recorded by CheckSources, so the file is written front to back without seeking.
void WriteBif(platform::File& bif, const std::vector<SourceFile>& files, TGauge& gauge) {
    const auto count = static_cast<std::uint32_t>(files.size());
    std::array<std::uint8_t, bifcodec::Header::Size> header{};
    bifcodec::PutHeader(header, count);
    bif.WriteAll(header.data(), header.size());

    constexpr std::size_t kEntry = bifcodec::VarEntry::Size;
    std::vector<std::uint8_t> table(kEntry * std::min(files.size(), kTableChunkEntries));
    auto offset = static_cast<std::uint32_t>(bifcodec::Header::Size + kEntry * files.size());
    for (std::size_t first = 0; first < files.size(); first += kTableChunkEntries) {
        const std::size_t last = std::min(files.size(), first + kTableChunkEntries);
        for (std::size_t i = first; i < last; ++i) {
            const TNWNVarResEntry entry{static_cast<std::uint32_t>(i), offset, files[i].Size, files[i].ResType};
            bifcodec::PutVarEntry(std::span(table).subspan(kEntry * (i - first)).first<kEntry>(), entry);
            offset += files[i].Size; // CheckSources has made sure the sum fits
        }
        bif.WriteAll(table.data(), kEntry * (last - first));
    }

    gauge.SetMinValue(0);
    gauge.SetMaxValue(static_cast<int>(count) - 1);
    gauge.SetProgress(0);
    gauge.Show();
    for (std::size_t i = 0; i < files.size(); ++i) {
        gauge.SetProgress(static_cast<int>(i));
        gauge.RepaintNow();
        const SourceFile& file = files[i];
        platform::File source = platform::File::OpenRead(file.Path);
        // The tables already promise this many bytes: a file that has changed since it was
        // listed would shift every resource after it.
        const std::uint64_t now = source.Size();
        if (now != file.Size) {
            // A file that shrank yields fewer bytes than its size: a read error, as ever.
            throw EReadError(std::string(now < file.Size ? "Stream read error: " : "") + Quoted(file.Path) +
                             " changed while the BIF was being written (" + std::to_string(file.Size) +
                             " bytes when listed, " + std::to_string(now) + " bytes now)");
        }
        bif.CopyFrom(source, 0, file.Size);
        source.Close();
    }
}

// The date a KEY is stamped with: the local date, or, when SOURCE_DATE_EPOCH is set (the
// reproducible-builds convention), the UTC date of that many seconds since 1970, so that the
// same folder packs to the same bytes on every day and every system. A value that is no such
// number refuses the build rather than stamp a date nobody asked for.
LocalDate BuildDate(const std::string& bifFileName) {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch) return platform::Today();
    const auto seconds = DateFromEpoch(epoch);
    if (!seconds)
        Refuse(bifFileName,
               "SOURCE_DATE_EPOCH is set to " + Quoted(epoch) +
                   ", which is not a whole number of seconds since 1970 in the range accepted: 0 (1970-01-01) to "
                   "253402300799 (9999-12-31)");
    return *seconds;
}

// The four names a build writes or replaces, as the user gave them, and the files it keeps
// beside its targets while it runs. No two may be one file, however they are spelled: the
// rotation would move one over the other.
void RefuseCollidingTargets(const std::string& bifFileName, const std::string& keyFileName) {
    const std::string bif = Quoted(bifFileName), key = Quoted(keyFileName);
    const std::string bifBackup = bifFileName + kBackupSuffix, keyBackup = keyFileName + kBackupSuffix;
    struct Pair {
        const std::string& A;
        const std::string& B;
        std::string Reason;
    };
    const Pair pairs[] = {
        {bifFileName, keyFileName, "the BIF " + bif + " and the KEY " + key + " are the same file"},
        {keyFileName, bifBackup, "the KEY " + key + " is the file that would hold the backup of the BIF " + bif},
        {bifFileName, keyBackup, "the BIF " + bif + " is the file that would hold the backup of the KEY " + key},
        {bifBackup, keyBackup, "the backups of the BIF " + bif + " and of the KEY " + key + " would be the same file"},
    };
    for (const Pair& pair : pairs) {
        if (platform::SameFile(pair.A, pair.B)) Refuse(bifFileName, pair.Reason);
    }
    for (const std::string* owner : {&bifFileName, &keyFileName}) {
        for (const char* kind : {kLockKind, kJournalKind}) {
            const std::string side = platform::SideFileFor(*owner, kind);
            for (const std::string* target : {&bifFileName, &keyFileName, &bifBackup, &keyBackup}) {
                if (platform::SameFile(*target, side) || platform::SameFile(*target, side + ".new"))
                    Refuse(
                        bifFileName,
                        Quoted(*target) + " is the file in which a build keeps its " + kind + " of " + Quoted(*owner));
            }
        }
    }
}

// On Windows, and in a folder that compares names as Windows does, a device name opens the
// device (a console, a printer port) and a colon past the drive names a stream hidden inside
// another file: neither can be a target, nor the backup of one.
void RefuseReservedTargets(const std::string& bifFileName, const std::string& keyFileName) {
    for (const std::string* path : {&bifFileName, &keyFileName}) {
        for (const std::string& target : {*path, *path + kBackupSuffix}) {
            if (platform::FolderNameRules(platform::FolderPart(target)) != platform::NameRules::Windows) continue;
            if (platform::NamesStream(target))
                Refuse(bifFileName,
                       Quoted(target) +
                           " names a stream inside another file (a colon after the drive), "
                           "not a file of its own");
            if (IsWindowsDeviceName(platform::FileNamePart(target)))
                Refuse(bifFileName, Quoted(target) + " is a Windows device name, not a file");
        }
    }
}

// What a file's leading bytes say, for a refusal.
std::string QuotedLeadingBytes(const std::string& path) {
    platform::File file = platform::File::OpenRead(path);
    std::array<std::uint8_t, kQuotedBytes> bytes{};
    const std::size_t got = file.ReadSome(bytes.data(), bytes.size());
    if (got == 0) return "it is empty";
    return "its first bytes are \"" + Printable(byteio::AsChars(bytes.data(), got)) + "\"";
}

// What stands at the targets' names must be what the build takes it for: a file it can move
// aside, and a BIF and a KEY (BIF and KEY given the other way round would otherwise each be
// replaced by the other kind, surviving only as a backup until the next build).
void RefuseUnusableTargets(const std::string& bifFileName, const std::string& keyFileName) {
    struct Target {
        const std::string& Path;
        const TFourCC& Signature;
        const char* Kind;
    };
    for (const Target& target :
         {Target{bifFileName, bifcodec::kFileType, "BIF"}, Target{keyFileName, keycodec::kFileType, "KEY"}}) {
        // A folder cannot be replaced, and a FIFO or device would block or be written through.
        const auto existing = platform::Stat(target.Path);
        if (existing && !existing->IsRegular) Refuse(bifFileName, Quoted(target.Path) + " is not an ordinary file");
        if (IsFolder(target.Path + kBackupSuffix)) {
            Refuse(bifFileName, "the backup name " + Quoted(target.Path + kBackupSuffix) + " is taken by a folder");
        }
        if (!existing) continue;
        std::array<char, 4> head{};
        std::size_t got = 0;
        try {
            platform::File file = platform::File::OpenRead(target.Path); // held by the game, say
            got = file.ReadSome(head.data(), head.size());
            file.Close();
        } catch (EVellocarError& e) {
            e.AddContext(". Nothing was changed.");
            throw;
        }
        if (got != head.size() || !std::equal(head.begin(), head.end(), target.Signature.begin())) {
            Refuse(bifFileName,
                   Quoted(target.Path) + ", which the build would replace as its " + target.Kind + ", is no " +
                       target.Kind + " file: " + QuotedLeadingBytes(target.Path) + " (a " + target.Kind +
                       " starts with \"" + std::string(target.Signature.begin(), target.Signature.end()) + "\")");
        }
    }
}

// The names of the list to pack: all but the build's own files, when the source folder is a
// folder the build writes into. A folder packed into itself would otherwise take in its
// previous BIF, KEY and backups, and grow with every build.
std::vector<std::string> NamesToPack(const TResourceList& list, const std::string& sourceDir,
                                     const std::vector<std::string>& own, std::vector<std::string>& leftOut) {
    std::vector<std::string> names;
    const int count = list.Count();
    names.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (int i = 0; i < count; ++i) names.push_back(list.Line(i));

    std::string folder = sourceDir;
    while (folder.size() > 1 && platform::IsPathSeparator(folder.back())) folder.pop_back();
    std::vector<std::pair<std::string, const std::string*>> ownHere; // name key, own path
    for (const std::string& path : own) {
        const std::string ownFolder = platform::FolderPart(path);
        if (platform::SameFile(ownFolder.empty() ? "." : ownFolder, folder.empty() ? "." : folder))
            ownHere.emplace_back(platform::NameKey(platform::FileNamePart(path), platform::NameRules::Windows), &path);
    }
    if (ownHere.empty()) return names;

    std::vector<std::string> kept;
    kept.reserve(names.size());
    for (std::string& name : names) {
        const std::string key = platform::NameKey(name, platform::NameRules::Windows);
        bool isOwn = false;
        for (const auto& [ownKey, path] : ownHere)
            isOwn = isOwn || (key == ownKey && platform::SameFile(sourceDir + name, *path));
        if (isOwn)
            leftOut.push_back(std::move(name));
        else
            kept.push_back(std::move(name));
    }
    return kept;
}

// A fresh name beside target that is none of the names the build writes, in any spelling.
std::string TemporaryFor(const std::string& target, const std::vector<std::string>& taken,
                         const std::string& bifFileName) {
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        std::string candidate = platform::TemporaryNameBeside(target);
        bool clash = false;
        for (const std::string& name : taken) clash = clash || platform::SameFile(candidate, name);
        if (!clash) return candidate;
    }
    Refuse(bifFileName, "no name beside " + Quoted(target) + " is free for the new file while it is written");
}

// Replaces, in an error about a file the user never named (a lock, a journal, a temporary), that
// name with the target it belongs to: the system's reason (a missing folder, a read-only or full
// disk) is the same for both.
template <class Error>
[[noreturn]] void RethrowNamingTarget(const Error& e, const std::vector<std::string>& files,
                                      const std::string& target) {
    std::string message = e.what();
    for (const std::string& file : files) {
        const std::string shown = Quoted(file);
        const auto at = message.find(shown);
        if (at != std::string::npos) message.replace(at, shown.size(), Quoted(target));
    }
    throw Error(message);
}

// The locks of both targets, waited for; a folder where the lock cannot be made is reported
// under the target's own name.
TTargetLocks LockTargets(const TBuildRequest& request) {
    try {
        return TTargetLocks({request.KeyPath, request.BifPath}, request.LockWait, request.Waiting);
    } catch (EFCreateError& e) {
        for (const std::string* target : {&request.KeyPath, &request.BifPath}) {
            const std::string lock = platform::SideFileFor(*target, kLockKind);
            if (std::string(e.what()).find(Quoted(lock)) == std::string::npos) continue;
            try {
                RethrowNamingTarget(e, {lock}, *target);
            } catch (EFCreateError& named) {
                named.AddContext(kNoFileChanged);
                throw;
            }
        }
        e.AddContext(kNoFileChanged);
        throw;
    }
}

} // namespace

std::vector<std::string> TBuildReport::Notes() const {
    std::vector<std::string> notes = Recovered;
    for (const std::string& backup : KeptBackups)
        notes.push_back("kept the earlier backup " + Quoted(backup) +
                        " as it was: there was no current file to replace it");
    if (!LeftOut.empty()) {
        std::string names;
        for (const std::string& name : LeftOut) names += (names.empty() ? "" : ", ") + Quoted(name);
        notes.push_back("left the build's own files out of the BIF: " + names);
    }
    return notes;
}

TBuildReport BuildArchive(const TBuildRequest& request, const TResourceList& list, TGauge& gauge) {
    const std::string& BifFileName = request.BifPath;
    const std::string& KeyFileName = request.KeyPath;
    // Phase 1: checks. Nothing below raises before phase 2 without EBuildRefused or the
    // KEY reader's own error, and nothing on disk has changed by then (but for finishing what
    // an earlier build that died left, which is reported).
    RefuseCollidingTargets(BifFileName, KeyFileName);
    RefuseReservedTargets(BifFileName, KeyFileName);
    const TTargetLocks locks = LockTargets(request);
    TBuildReport report;
    for (const std::string* target : {&KeyFileName, &BifFileName}) {
        std::string done = RecoverBeside(*target, locks, request.LockWait, request.Waiting);
        if (!done.empty()) report.Recovered.push_back(std::move(done));
    }
    RefuseUnusableTargets(BifFileName, KeyFileName);
    const std::vector<std::string> own{BifFileName, KeyFileName, BifFileName + kBackupSuffix,
                                       KeyFileName + kBackupSuffix};
    std::uint64_t bifSize = 0;
    const std::vector<SourceFile> files = CheckSources(NamesToPack(list, request.SourceDir, own, report.LeftOut),
                                                       request.SourceDir, BifFileName, bifSize);

    TNWNKeyFile key;
    if (request.Append && platform::PathExists(KeyFileName)) {
        try {
            key.LoadFromFile(KeyFileName);
        } catch (EVellocarError& e) {
            e.AddContext(". The KEY to extend could not be read; nothing was changed.");
            throw;
        }
    }

    // The KEY names the BIF in Windows-1252 too. An entry that an earlier build stored in this
    // system's own spelling (UTF-8) is the same BIF: it is reused, never joined by a second one.
    const std::string localName = platform::FileNamePart(BifFileName);
    const auto archivedName = ArchiveNameOf(localName);
    if (!archivedName) Refuse(BifFileName, "its file name holds characters that Windows-1252 cannot hold");
    const std::string entryName = kEntryFolder + *archivedName;
    if (entryName.size() > kMaxFilenameSize) Refuse(BifFileName, "its file name is too long");
    std::int64_t found = FindEntry(key, entryName);
    if (found < 0) found = FindEntry(key, kEntryFolder + localName);
    const bool reused = found >= 0;
    if (found < 0) {
        if (key.Filenames.size() >= kMaxBifsPerKey) {
            Refuse(BifFileName,
                   "the KEY already names " + std::to_string(key.Filenames.size()) +
                       " BIFs, and one KEY can index at most " + std::to_string(kMaxBifsPerKey));
        }
        TNWNFileTableEntry row;
        row.FilenameSize = static_cast<std::uint16_t>(entryName.size());
        key.FileTable.push_back(row);
        TNWNFilenameEntry name;
        name.Filename = entryName;
        key.Filenames.push_back(std::move(name));
        found = static_cast<std::int64_t>(key.Filenames.size()) - 1;
    } else if (static_cast<std::uint64_t>(found) >= kMaxBifsPerKey) {
        Refuse(BifFileName,
               "its entry in the KEY lies beyond the " + std::to_string(kMaxBifsPerKey) + " BIFs a KEY can index");
    }
    const auto q = static_cast<std::size_t>(found);
    key.BifCount = static_cast<std::uint32_t>(key.FileTable.size());
    key.FileType = keycodec::kFileType;
    key.FileVersion = keycodec::kVersion1;
    const LocalDate today = BuildDate(BifFileName);
    key.BuildYear = today.YearsSince1900;
    key.BuildDay = today.DayOfYear;

    auto& resources = key.Filenames[q].Resources;
    resources.assign(files.size(), TNWNKeyEntry{});
    for (std::size_t i = 0; i < files.size(); ++i) {
        TNWNKeyEntry& entry = resources[i];
        std::memcpy(entry.ResRef.data(), files[i].BaseName.data(), files[i].BaseName.size());
        entry.ResType = static_cast<std::uint16_t>(files[i].ResType & 0xFFFFu);
        entry.ResId = static_cast<std::uint32_t>(q << kResIdBifShift) | static_cast<std::uint32_t>(i);
    }
    try {
        keycodec::ComputeLayout(key);
    } catch (const EFormatError&) {
        Refuse(BifFileName, "the KEY would grow beyond the 4 GiB its offsets can address");
    }

    // Phase 2: the new files, beside their targets, named in the journal before they are made.
    std::vector<std::string> taken = own;
    for (const std::string* owner : {&BifFileName, &KeyFileName}) {
        for (const char* kind : {kLockKind, kJournalKind}) taken.push_back(platform::SideFileFor(*owner, kind));
    }
    const TReplacement bif{BifFileName, TemporaryFor(BifFileName, taken, BifFileName)};
    const TReplacement index{KeyFileName, TemporaryFor(KeyFileName, taken, BifFileName)};
    TFileMover mover;
    TRotation rotation({bif, index}, mover);
    try {
        try {
            rotation.Begin();
        } catch (const EFCreateError& e) {
            RethrowNamingTarget(e, {platform::SideFileFor(KeyFileName, kJournalKind) + ".new"}, KeyFileName);
        }
        {
            std::optional<platform::File> created;
            try {
                created.emplace(platform::File::Create(bif.Temporary));
            } catch (const EFCreateError& e) {
                RethrowNamingTarget(e, {bif.Temporary}, BifFileName);
            }
            platform::File& out = *created;
            try {
                WriteBif(out, files, gauge);
                out.Flush();
                out.Close();
            } catch (const EWriteError& e) {
                RethrowNamingTarget(e, {bif.Temporary}, BifFileName);
            }
        }
        const auto written = platform::Stat(bif.Temporary);
        if (!written) { // the finished BIF is gone: no KEY may name it
            throw EWriteError("The new BIF " + Quoted(bif.Temporary) + " was gone after it was written");
        }
        if (written->Size != bifSize) {
            throw EWriteError("The new BIF " + Quoted(bif.Temporary) + " holds " + std::to_string(written->Size) +
                              " bytes instead of " + std::to_string(bifSize));
        }
        key.FileTable[q].FileSize = static_cast<std::uint32_t>(written->Size);
        try {
            key.SaveToFile(index.Temporary); // flushed and closed, or removed, by SaveToFile
        } catch (const EFCreateError& e) {
            RethrowNamingTarget(e, {index.Temporary}, KeyFileName);
        } catch (const EWriteError& e) {
            RethrowNamingTarget(e, {index.Temporary}, KeyFileName);
        }
    } catch (EVellocarError& e) {
        rotation.Abandon();
        e.AddContext(kNoFileChanged);
        throw;
    } catch (...) {
        rotation.Abandon();
        throw;
    }

    // Phase 3: rotation, BIF first: until the KEY is in place the old KEY stays in force.
    rotation.Commit();

    report.EntryName = key.Filenames[q].Filename;
    report.BifIndex = static_cast<std::uint32_t>(q);
    report.ReusedEntry = reused;
    report.Files = files.size();
    report.BifSize = bifSize;
    report.ContentBytes = bifSize - (bifcodec::Header::Size + bifcodec::VarEntry::Size * files.size());
    report.KeyBifs = key.Filenames.size();
    report.KeyResources = key.KeyCount;
    report.KeptBackups = rotation.KeptBackups();
    return report;
}

} // namespace vellocar
