// The checks a build makes before it touches the disk: its targets' names (no two of them one
// file, no device or stream names), what stands at those names (files it can replace, of the
// kind they are named for), and its sources (there, ordinary, names that fit a ResRef, sizes that
// fit a BIF). Each refusal names what it refuses and says that nothing was changed.

#include "BuildSteps.h"

#include "base/ByteIO.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/BifCodec.h"
#include "formats/BifFiles.h"
#include "formats/FileKinds.h"
#include "formats/KeyCodec.h"
#include "formats/KeyFiles.h"
#include "names/ArchiveNames.h"
#include "names/ExportNames.h"
#include "names/Names.h"
#include "names/ResourceTypes.h"
#include "operations/BuildGuard.h"
#include "operations/Rotation.h"
#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <unordered_map>

namespace vellocar::buildsteps {

namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
// A refusal names at most this many offending files, then says how many more there are.
constexpr std::size_t kMaxNamesInMessage = 10;
// How many leading bytes of a target a refusal quotes.
constexpr std::size_t kQuotedBytes = 8;
// The leading bytes that say what a target is: its type and its version, four bytes each.
constexpr std::size_t kSignatureBytes = 8;

// "a", "b" and "c", cut after kMaxNamesInMessage names; quoted unless the entries are
// phrases that quote their names already.
std::string NameList(const std::vector<std::string>& names, bool quote = true) {
    if (!quote) return Enumeration(names, kMaxNamesInMessage);
    std::vector<std::string> quoted;
    quoted.reserve(names.size());
    for (const std::string& name : names) quoted.push_back(Quoted(name));
    return Enumeration(quoted, kMaxNamesInMessage);
}

// What a file's leading bytes say, for a refusal.
std::string QuotedLeadingBytes(const std::string& path) {
    platform::File file = platform::File::OpenRead(path);
    std::array<std::uint8_t, kQuotedBytes> bytes{};
    const std::size_t got = file.ReadSome(bytes.data(), bytes.size());
    if (got == 0) return "it is empty";
    return "its first bytes are " + Quoted(Printable(byteio::AsChars(bytes.data(), got)));
}

} // namespace

void Refuse(const std::string& bifFileName, const std::string& reason) {
    throw EBuildRefused("Cannot build " + Quoted(bifFileName) + ": " + reason + ". Nothing was changed.");
}

namespace {

constexpr char kOneResourceWhy[] =
    ", since the game tells resources apart only by name, letter case ignored, and type (and every extension it "
    "does not know gives the same type): ";

// The sources a build cannot pack, by what is wrong with them.
struct TUnfitSources {
    std::vector<std::string> Names, Colliding, Missing, NotPlain, TooLong, TooLarge;
};

// Refuses the build for the first kind of unfit source there is, naming them all.
void RefuseUnfitSources(const TUnfitSources& unfit, std::uint64_t total, const std::string& bifFileName,
                        const TPackFormat& format) {
    const auto refuse = [&](const std::vector<std::string>& names, const char* one, const char* many, bool quote) {
        if (!names.empty()) Refuse(bifFileName, (names.size() == 1 ? one : many) + NameList(names, quote));
    };
    refuse(unfit.Names, "this name cannot be packed: ", "these names cannot be packed: ", false);
    refuse(unfit.Colliding, ("two files would be one resource in the " + format.Kind + kOneResourceWhy).c_str(),
           ("pairs of files would each be one resource in the " + format.Kind + kOneResourceWhy).c_str(), false);
    refuse(unfit.Missing, "this file is no longer there: ", "these files are no longer there: ", true);
    refuse(unfit.NotPlain, "this is not an ordinary file: ", "these are not ordinary files: ", true);
    if (!unfit.TooLong.empty()) {
        Refuse(bifFileName,
               "a resource name holds at most " + std::to_string(kResRefSize) +
                   " characters before the extension, and " +
                   (unfit.TooLong.size() == 1 ? "this name is longer: "
                                              : std::to_string(unfit.TooLong.size()) + " names are longer: ") +
                   NameList(unfit.TooLong));
    }
    if (!unfit.TooLarge.empty() || total > format.MaxBytes) {
        Refuse(bifFileName,
               "the files come to " + std::to_string(total) + " bytes with the tables, more than a " + format.Kind +
                   " can hold (" + format.MaxText + ")");
    }
}

} // namespace

// Everything about the list that can be known before the disk is touched: that it is not
// empty, that every file is still there and an ordinary file, that every base name fits a
// ResRef, and that the BIF stays within its 32-bit offsets.
std::vector<TSourceFile> CheckSources(const std::vector<std::string_view>& names, const platform::Folder& folder,
                                      const std::string& bifFileName, const TPackFormat& format,
                                      std::uint64_t& bifSize) {
    if (names.empty()) Refuse(bifFileName, "the folder holds no files to pack");
    if (names.size() > kMaxResourcesPerBif) {
        Refuse(bifFileName,
               std::to_string(names.size()) + " files are more than a " + format.Kind + " can index (at most " +
                   std::to_string(kMaxResourcesPerBif) + ")");
    }

    std::vector<TSourceFile> files(names.size());
    TUnfitSources unfit;
    std::uint64_t total = format.FixedBytes + format.BytesPerFile * files.size();
    for (std::size_t i = 0; i < files.size(); ++i) {
        TSourceFile& file = files[i];
        file.Name = names[i];
        file.Path = folder.Path();
        file.Path += file.Name;
        // The ResRef holds the name as the game reads it (Windows-1252), whatever this system's
        // file names are spelled in.
        TPackedName archived = ArchiveNameOfFile(file.Name, platform::kHostSpelling);
        if (!archived.Problem.empty()) {
            unfit.Names.push_back(Quoted(file.Name) + " (" + archived.Problem + ")");
            continue;
        }
        file.BaseName = std::move(archived.BaseName);
        file.ResType = archived.Type;
        if (file.BaseName.Bytes.size() > kResRefSize) unfit.TooLong.emplace_back(file.Name);

        const auto info = folder.Stat(file.Name);
        if (!info) {
            unfit.Missing.push_back(file.Path);
        } else if (!info->IsRegular) {
            unfit.NotPlain.push_back(file.Path);
        } else if (info->Size > kMax32) {
            // Counted as well, so that the refusal states the real total.
            unfit.TooLarge.push_back(file.Path);
            total = info->Size > std::numeric_limits<std::uint64_t>::max() - total
                ? std::numeric_limits<std::uint64_t>::max()
                : total + info->Size;
        } else {
            file.Size = static_cast<std::uint32_t>(info->Size);
            total += file.Size;
        }
    }

    // Two files that would be one resource: the game would load one of them, verify would
    // report them and an export would write one file for both. Asked of names that fit.
    std::unordered_map<std::string, const TSourceFile*> resources;
    resources.reserve(files.size());
    for (const TSourceFile& file : files) {
        if (!unfit.Names.empty()) break;
        if (file.BaseName.Bytes.size() > kResRefSize) continue; // refused as too long
        const auto type = static_cast<std::uint16_t>(file.ResType & 0xFFFFu);
        const auto [first, fresh] = resources.try_emplace(ResourceKey(file.BaseName.Bytes, type), &file);
        if (fresh) continue;
        const std::string line = platform::ShownName({file.BaseName.Bytes + "." + ResTypeToExt(type)});
        unfit.Colliding.push_back(Quoted(first->second->Name) + " and " + Quoted(file.Name) + " (both " + Quoted(line) +
                                  ")");
    }

    RefuseUnfitSources(unfit, total, bifFileName, format);
    bifSize = total;
    return files;
}

// The date a KEY is stamped with: the local date, or, when SOURCE_DATE_EPOCH is set (the
// reproducible-builds convention), the UTC date of that many seconds since 1970, so that the
// same folder packs to the same bytes on every day and every system. A value that is no such
// number refuses the build rather than stamp a date nobody asked for.
LocalDate BuildDate(const std::optional<std::string>& sourceDateEpoch, const std::string& bifFileName) {
    if (!sourceDateEpoch) return platform::Today();
    const auto seconds = DateFromEpoch(*sourceDateEpoch);
    if (!seconds)
        Refuse(bifFileName,
               "SOURCE_DATE_EPOCH is set to " + Quoted(*sourceDateEpoch) +
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
void RefuseReservedTarget(const std::string& buildName, const std::string& path) {
    for (const std::string& target : {path, path + kBackupSuffix}) {
        if (platform::FolderNameRules(platform::FolderPart(target)) != platform::NameRules::Windows) continue;
        if (platform::NamesStream(target))
            Refuse(buildName,
                   Quoted(target) +
                       " names a stream inside another file (a colon after the drive), "
                       "not a file of its own");
        if (IsWindowsDeviceName(platform::FileNamePart(target)))
            Refuse(buildName, Quoted(target) + " is a Windows device name, not a file");
    }
}

void RefuseReservedTargets(const std::string& bifFileName, const std::string& keyFileName) {
    for (const std::string* path : {&bifFileName, &keyFileName}) RefuseReservedTarget(bifFileName, *path);
}

void RefuseUnusableTarget(const std::string& buildName, const std::string& path, const TFourCC& signature,
                          const TFourCC& version, const std::string& kind) {
    // A folder cannot be replaced, and a FIFO or device would block or be written through.
    const auto existing = platform::Stat(path);
    if (existing && !existing->IsRegular) Refuse(buildName, Quoted(path) + " is not an ordinary file");
    if (platform::IsFolder(path + kBackupSuffix))
        Refuse(buildName, "the backup name " + Quoted(path + kBackupSuffix) + " is taken by a folder");
    if (!existing) return;
    std::array<char, kSignatureBytes> head{};
    std::size_t got = 0;
    try {
        platform::File file = platform::File::OpenRead(path); // held by the game, say
        while (got < head.size()) {
            const std::size_t n = file.ReadSome(head.data() + got, head.size() - got);
            if (n == 0) break;
            got += n;
        }
        file.Close();
    } catch (EVellocarError& e) {
        e.AddContext(". Nothing was changed.");
        throw;
    }
    const auto part = [&](std::size_t at) { return std::string(head.data() + at, head.data() + at + 4); };
    const std::string type(signature.begin(), signature.end());
    if (got < type.size() || part(0) != type) {
        // Named when it is one of the game's kinds: a KEY and a BIF given the other way round
        // are the usual mistake, and a MOD where a HAK was meant.
        const std::string found = FileKindOf(std::string_view(head.data(), got));
        Refuse(buildName,
               Quoted(path) + ", which the build would replace as its " + kind + ", is " +
                   (found.empty() ? "no " + kind + " file" : found + ", not a " + kind) + ": " +
                   QuotedLeadingBytes(path) + " (a " + kind + " starts with " + Quoted(type) + ")");
    }
    const std::string wanted(version.begin(), version.end());
    if (got < head.size() || part(type.size()) != wanted) {
        const std::string_view found(head.data() + type.size(), got - type.size());
        // E1 is read, not written: its rows carry SHA-1s and compressed resources a build does
        // not make, and a V1 table appended to would no longer be E1.
        const std::string what = found.starts_with("E1") ? "of version " + Quoted(found) +
                ", which Vellocar reads but does not write (a build writes " + kind + " version " + Quoted(wanted) + ")"
                                                         : OtherVersionText(kind, found, version);
        Refuse(
            buildName,
            Quoted(path) + ", which the build would replace or extend as its " + kind + ", is a " + kind + " " + what);
    }
}

// What stands at the targets' names must be what the build takes it for: a file it can move
// aside, and a BIF and a KEY of the version Vellocar reads (BIF and KEY given the other way
// round, or a KEY of another game's version, would otherwise be replaced by the new file,
// surviving only as a backup until the next build), with or without appending.
void RefuseUnusableTargets(const std::string& bifFileName, const std::string& keyFileName) {
    RefuseUnusableTarget(bifFileName, bifFileName, bifcodec::kFileType, bifcodec::kVersion1, "BIF");
    RefuseUnusableTarget(bifFileName, keyFileName, keycodec::kFileType, keycodec::kVersion1, "KEY");
}

// The KEY's entry for the BIF must lead, where every reader of the KEY looks for a BIF, to the BIF
// being built or to nothing yet. An entry that an append reuses because it matches the BIF's
// name with letters folded ("data\one.bif" for "ONE.BIF") stands for another file where the
// folder tells case apart and that file is there; any entry leads elsewhere when the BIF is
// written away from where the KEY's readers look while a file stands there. Either way the KEY
// would name the new resources over that file's bytes, and verify and an export would read them
// there.
void RefuseEntryOfAnotherFile(const std::string& bifFileName, const std::string& keyFileName,
                              const std::string& storedName, bool exact) {
    const std::string keyFolder = platform::FolderOf(keyFileName);
    // Once written, the BIF stands at the entry's own spelling of its name, which a reader tries
    // before any name with letters folded (data\Templates.bif, while data/templates.bif is
    // another file of a folder that tells case apart): the entry then leads to it.
    const std::string_view last = LastPartOfStoredName(storedName);
    const std::string folderPart =
        storedName.substr(0, storedName.size() - last.size() - (last.size() < storedName.size()));
    const std::string verbatim = platform::JoinPath(
        folderPart.empty() ? keyFolder : platform::ResolveStoredName(keyFolder, folderPart), std::string(last));
    if (platform::SameFile(verbatim, bifFileName)) return;
    const TBifLocation location = LocateBif(keyFolder, storedName);
    if (!location.Found || platform::SameFile(location.Path, bifFileName)) return;
    const std::string entry = Quoted(platform::ShownName({storedName}));
    Refuse(bifFileName,
           "the KEY " + Quoted(keyFileName) + " names it as " + entry +
               (exact ? "" : " (the same name with letter case ignored, as the game reads it)") +
               ", and that entry leads to another file, " + Quoted(location.Path) +
               ": the KEY would give the new resources that file's bytes. Rename the BIF, or build it where "
               "the entry leads");
}

// A resource is looked up across all the BIFs of a KEY, by its name with letters folded and its
// type: a file that another BIF already holds would be one resource listed twice, which the
// game resolves by taking one of them and verify reports. The entry the build fills (entryIndex)
// is replaced as a whole, so what it held does not count.
void RefuseResourcesHeldElsewhere(const TNWNKeyFile& key, std::size_t entryIndex, const std::vector<TSourceFile>& files,
                                  const std::string& bifFileName) {
    // A KEY made afresh, or one whose other BIFs hold nothing, cannot hold any of the files:
    // no table of the files' resources is worth building for it.
    bool othersHoldAny = false;
    for (std::size_t b = 0; b < key.Filenames.size() && !othersHoldAny; ++b)
        othersHoldAny = b != entryIndex && !key.Filenames[b].Resources.empty();
    if (!othersHoldAny) return;
    // The files to pack by resource; each is named once, against the first BIF that holds it.
    std::unordered_map<std::string, const TSourceFile*> fresh;
    fresh.reserve(files.size());
    for (const TSourceFile& file : files)
        fresh.try_emplace(ResourceKey(file.BaseName.Bytes, static_cast<std::uint16_t>(file.ResType & 0xFFFFu)), &file);
    std::vector<std::string> held;
    for (std::size_t b = 0; b < key.Filenames.size(); ++b) {
        if (b == entryIndex) continue;
        for (const TNWNKeyEntry& entry : key.Filenames[b].Resources) {
            const auto hit =
                fresh.find(ResourceKey(std::string_view(entry.ResRef.data(), entry.ResRef.size()), entry.ResType));
            if (hit == fresh.end() || !hit->second) continue;
            held.push_back(Quoted(hit->second->Name) + " (" + Quoted(platform::ShownName(ResourceLine(entry))) +
                           " in " + Quoted(platform::ShownName({key.Filenames[b].Filename})) + ")");
            hit->second = nullptr;
        }
    }
    if (held.empty()) return;
    Refuse(bifFileName,
           std::string(held.size() == 1 ? "this file would be a resource that another BIF of the KEY already holds"
                                        : "these files would be resources that other BIFs of the KEY already hold") +
               ", and the game looks a resource up in all the BIFs of its KEY by name, letter case ignored, and "
               "type: " +
               NameList(held, false));
}

// The names to pack: all but the build's own files, when the source folder is a
// folder the build writes into. A folder packed into itself would otherwise take in its
// previous BIF, KEY and backups, and grow with every build.
std::vector<std::string_view> NamesToPack(const std::vector<std::string>& names, const std::string& sourceDir,
                                          const std::vector<std::string>& own, std::vector<std::string>& leftOut) {
    const std::string folder = TrimSeparators(sourceDir, platform::kHostPathSystem);
    std::vector<std::pair<std::string, const std::string*>> ownHere; // name key, own path
    for (const std::string& path : own) {
        const std::string ownFolder = platform::FolderPart(path);
        if (platform::SameFile(HereIfEmpty(ownFolder), HereIfEmpty(folder)))
            ownHere.emplace_back(platform::NameKey(platform::FileNamePart(path), platform::NameRules::Windows), &path);
    }
    std::vector<std::string_view> kept;
    kept.reserve(names.size());
    for (const std::string& name : names) {
        bool isOwn = false;
        if (!ownHere.empty()) {
            const std::string key = platform::NameKey(name, platform::NameRules::Windows);
            for (const auto& [ownKey, path] : ownHere)
                isOwn = isOwn || (key == ownKey && platform::SameFile(sourceDir + name, *path));
        }
        if (isOwn)
            leftOut.push_back(name);
        else
            kept.push_back(name);
    }
    return kept;
}

} // namespace vellocar::buildsteps
