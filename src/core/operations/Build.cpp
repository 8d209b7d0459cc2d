// BuildArchive: packs a folder's files into a new BIF and registers it in a KEY.
//
// A build runs in three phases, and only the last one touches any existing file:
//   1. checks: the names of the targets, then (holding the locks of both targets, and having
//      finished whatever a build of them that died left) the files at those names, the list,
//      every source file, the limits of both formats, and in append mode the existing KEY,
//      which is loaded and so validated here, with the entry it gives the BIF (leading to no
//      other file) and the resources of its other BIFs (none of them packed again);
//   2. writing: the new BIF and the new KEY go to temporary files beside their targets, named in
//      a journal first, the BIF in one forward pass (table pass, then data pass), both flushed
//      and closed;
//   3. rotation: the current files become the backups, the new files are moved into place, and
//      only then are the old backups deleted (Rotation.h).
// Any failure in phases 1 and 2 removes the temporaries and leaves every existing file as it
// was; a failure in phase 3 puts every file back; a process that dies in phase 2 or 3 is
// cleaned up after, finished or undone by the next run, through the journal.

#include "operations/Build.h"

#include "BuildSteps.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/BifCodec.h"
#include "formats/BifFiles.h"
#include "formats/KeyCodec.h"
#include "formats/KeyFiles.h"
#include "names/ArchiveNames.h"
#include "names/ExportNames.h"
#include "names/Names.h"
#include "operations/BuildGuard.h"
#include "operations/Rotation.h"
#include "platform/Platform.h"

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

// A target and the temporary its new file is written to.
struct TNewFile {
    std::string Path;
    std::string Temporary;
};

using namespace buildsteps;

constexpr char kEntryFolder[] = "data\\";
constexpr std::uint64_t kMaxFilenameSize = std::numeric_limits<std::uint16_t>::max();
// The variable table is written through a buffer of this many entries at a time.
constexpr std::size_t kTableChunkEntries = 4096;

// How many fresh temporary names are tried before the folder is taken to refuse them all.

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
void WriteBif(platform::File& bif, const platform::Folder& folder, const std::vector<TSourceFile>& files,
              const TProgress& progress) {
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

    for (std::size_t i = 0; i < files.size(); ++i) {
        if (progress) progress(i, files.size());
        const TSourceFile& file = files[i];
        platform::File source = folder.OpenRead(file.Name);
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

// This build's key entries in entry q of key, and the header as a build leaves it: the tags,
// the build date, the layout (refused when it would not fit a KEY's 32-bit offsets).
void FillTheKey(TNWNKeyFile& key, std::size_t q, const std::vector<TSourceFile>& files, const TBuildRequest& request) {
    const std::string& bifFileName = request.BifPath;
    key.BifCount = static_cast<std::uint32_t>(key.FileTable.size());
    key.FileType = keycodec::kFileType;
    key.FileVersion = keycodec::kVersion1;
    const LocalDate today = BuildDate(request.SourceDateEpoch, bifFileName);
    key.BuildYear = today.YearsSince1900;
    key.BuildDay = today.DayOfYear;

    auto& resources = key.Filenames[q].Resources;
    resources.assign(files.size(), TNWNKeyEntry{});
    for (std::size_t i = 0; i < files.size(); ++i) {
        TNWNKeyEntry& entry = resources[i];
        const std::string& base = files[i].BaseName.Bytes;
        std::memcpy(entry.ResRef.data(), base.data(), base.size());
        entry.ResType = static_cast<std::uint16_t>(files[i].ResType & 0xFFFFu);
        entry.ResId = static_cast<std::uint32_t>(q << kResIdBifShift) | static_cast<std::uint32_t>(i);
    }
    try {
        keycodec::ComputeLayout(key);
    } catch (const EFormatError&) {
        Refuse(bifFileName, "the KEY would grow beyond the 4 GiB its offsets can address");
    }
}

// The new BIF at its temporary name, flushed and closed, and checked to be whole: a failure is
// reported under the BIF's own name.
void WriteBifTemporary(const TNewFile& bif, const platform::Folder& folder, const std::vector<TSourceFile>& files,
                       std::uint64_t bifSize, const TProgress& progress) {
    std::optional<platform::File> created;
    try {
        created.emplace(platform::File::CreateNew(bif.Temporary));
    } catch (const EFCreateError& e) {
        RethrowNamingTarget(e, {bif.Temporary}, bif.Path);
    }
    try {
        WriteBif(*created, folder, files, progress);
        created->Flush();
        created->Close();
    } catch (const EWriteError& e) {
        RethrowNamingTarget(e, {bif.Temporary}, bif.Path);
    }
    const auto written = platform::Stat(bif.Temporary);
    if (!written) { // the finished BIF is gone: no KEY may name it
        throw EWriteError("The new BIF " + Quoted(bif.Temporary) + " was gone after it was written");
    }
    if (written->Size != bifSize) {
        throw EWriteError("The new BIF " + Quoted(bif.Temporary) + " holds " + std::to_string(written->Size) +
                          " bytes instead of " + std::to_string(bifSize));
    }
}

// The KEY as the build will save it: the existing one in append mode, with the BIF's entry
// found or added, this build's key entries in it, today's date and its layout computed; refused
// when that entry leads to another file or another BIF holds a resource of the files.
// entryIndex is the entry's position; reused says whether it was there before.
TNWNKeyFile KeyWithTheBif(const TBuildRequest& request, const std::vector<TSourceFile>& files, std::size_t& entryIndex,
                          bool& reused) {
    const std::string& BifFileName = request.BifPath;
    TNWNKeyFile key;
    if (request.Append && platform::PathExists(request.KeyPath)) {
        try {
            key.LoadFromFile(request.KeyPath);
        } catch (EVellocarError& e) {
            e.AddContext(". The KEY to extend could not be read; nothing was changed.");
            throw;
        }
    }

    // The KEY names the BIF in Windows-1252 too. An entry that an earlier build stored in this
    // system's own spelling (UTF-8) is the same BIF: it is reused, never joined by a second one.
    const std::string localName = platform::FileNamePart(BifFileName);
    const auto archivedName = ArchiveNameOf(localName, platform::kHostSpelling);
    if (!archivedName) Refuse(BifFileName, "its file name holds characters that Windows-1252 cannot hold");
    const std::string entryName = kEntryFolder + archivedName->Bytes;
    if (entryName.size() > kMaxFilenameSize) Refuse(BifFileName, "its file name is too long");
    std::int64_t found = FindEntry(key, entryName);
    if (found < 0) found = FindEntry(key, kEntryFolder + localName);
    reused = found >= 0;
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
    entryIndex = static_cast<std::size_t>(found);
    const std::string& stored = key.Filenames[entryIndex].Filename;
    RefuseEntryOfAnotherFile(BifFileName, request.KeyPath, stored,
                             stored == entryName || stored == kEntryFolder + localName);
    RefuseResourcesHeldElsewhere(key, entryIndex, files, BifFileName);
    FillTheKey(key, entryIndex, files, request);
    return key;
}

// The BIF and the KEY written to their temporaries, named in the journal first; on any failure
// the temporaries and the journal go, and the error says that nothing else was touched.
void WriteTemporaries(TRotation& rotation, const TNewFile& bif, const TNewFile& index, const platform::Folder& folder,
                      const std::vector<TSourceFile>& files, std::uint64_t bifSize, TNWNKeyFile& key,
                      std::size_t entryIndex, const TProgress& progress) {
    WriteUnderJournal(rotation, [&] {
        try {
            rotation.Begin();
        } catch (const EFCreateError& e) {
            RethrowNamingTarget(e, {platform::SideFileFor(index.Path, kJournalKind) + ".new"}, index.Path);
        }
        WriteBifTemporary(bif, folder, files, bifSize, progress);
        key.FileTable[entryIndex].FileSize = static_cast<std::uint32_t>(bifSize);
        try {
            // Made new, flushed and closed, or removed.
            platform::WriteWholeFile(index.Temporary, keycodec::Serialize(key, index.Temporary), true);
        } catch (const EFCreateError& e) {
            RethrowNamingTarget(e, {index.Temporary}, index.Path);
        } catch (const EWriteError& e) {
            RethrowNamingTarget(e, {index.Temporary}, index.Path);
        }
    });
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

TBuildReport BuildArchive(const TBuildRequest& request) {
    // Phase 1: checks. Nothing below raises before phase 2 without EBuildRefused or the
    // KEY reader's own error, and nothing on disk has changed by then (but for finishing what
    // an earlier build that died left, which is reported).
    RefuseCollidingTargets(request.BifPath, request.KeyPath);
    RefuseReservedTargets(request.BifPath, request.KeyPath);
    const TTargetLocks locks = LockTargets(request);
    TBuildReport report;
    for (const std::string* target : {&request.KeyPath, &request.BifPath}) {
        std::string done = RecoverBeside(*target, locks, request.LockWait, request.Waiting);
        if (!done.empty()) report.Recovered.push_back(std::move(done));
    }
    RefuseUnusableTargets(request.BifPath, request.KeyPath);
    const std::vector<std::string> own{request.BifPath, request.KeyPath, request.BifPath + kBackupSuffix,
                                       request.KeyPath + kBackupSuffix};
    std::uint64_t bifSize = 0;
    // The source folder is found once, its files by name in it.
    const platform::Folder source(request.SourceDir);
    const TPackFormat bifFormat{"BIF", bifcodec::Header::Size, bifcodec::VarEntry::Size,
                                std::numeric_limits<std::uint32_t>::max(), "under 4 GiB"};
    const std::vector<TSourceFile> files =
        CheckSources(NamesToPack(request.Files, request.SourceDir, own, report.LeftOut), source, request.BifPath,
                     bifFormat, bifSize);
    std::size_t q = 0;
    TNWNKeyFile key = KeyWithTheBif(request, files, q, report.ReusedEntry);

    // Phase 2: the new files, beside their targets.
    TFileMover mover;
    TRotation rotation({request.BifPath, request.KeyPath}, mover);
    const TNewFile bif{request.BifPath, rotation.Temporary(0)}, index{request.KeyPath, rotation.Temporary(1)};
    WriteTemporaries(rotation, bif, index, source, files, bifSize, key, q, request.Progress);

    // Phase 3: rotation, BIF first: until the KEY is in place the old KEY stays in force.
    rotation.Commit();

    report.EntryName = key.Filenames[q].Filename;
    report.BifIndex = static_cast<std::uint32_t>(q);
    report.Files = files.size();
    report.BifSize = bifSize;
    report.ContentBytes = bifSize - (bifcodec::Header::Size + bifcodec::VarEntry::Size * files.size());
    report.KeyBifs = key.Filenames.size();
    report.KeyResources = key.KeyCount;
    report.KeptBackups = rotation.KeptBackups();
    return report;
}

} // namespace vellocar
