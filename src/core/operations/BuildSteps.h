#pragma once
// The steps of a build that BuildArchive (Build.cpp) takes in turn, apart so that each can be
// read on its own: the checks before anything is touched are in BuildChecks.cpp.

#include "base/Dates.h"
#include "base/Errors.h"
#include "base/Text.h"
#include "formats/KeyFiles.h"
#include "names/ArchiveNames.h"
#include "operations/Rotation.h"
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellocar {
class TNWNKeyFile;
}

namespace vellocar::buildsteps {

// Said of every failure before the rotation: it changed nothing on disk.
inline constexpr char kNoFileChanged[] = ". The build was stopped; no existing file was changed.";

// One file of the list as the table pass records it.
struct TSourceFile {
    std::string_view Name; // as listed (the request's own string)
    std::string Path; // SourceDir + Name
    TArchiveName BaseName; // the name as the archive holds it, without its extension
    TResType ResType = 0;
    std::uint32_t Size = 0;
};

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

// Runs write, which begins rotation's journal and writes the new files to their temporaries;
// on any failure the temporaries and the journal go, and the error says that nothing else was
// touched.
template <class Write>
void WriteUnderJournal(TRotation& rotation, Write&& write) {
    try {
        write();
    } catch (EVellocarError& e) {
        rotation.Abandon();
        e.AddContext(kNoFileChanged);
        throw;
    } catch (...) {
        rotation.Abandon();
        throw;
    }
}

// Raises EBuildRefused: "Cannot build "<bif>": <reason>. Nothing was changed."
[[noreturn]] void Refuse(const std::string& bifFileName, const std::string& reason);

// The targets' names: no two of the BIF, the KEY, their backups and the files kept beside them
// one file, however spelled; where a folder takes names as Windows does, no device or stream.
void RefuseCollidingTargets(const std::string& bifFileName, const std::string& keyFileName);
void RefuseReservedTargets(const std::string& bifFileName, const std::string& keyFileName);

// What stands at the targets' names: ordinary files, a BIF and a KEY, no folder at a backup name.
void RefuseUnusableTargets(const std::string& bifFileName, const std::string& keyFileName);

// The KEY's entry for the BIF (storedName, found or new; exact says whether it is spelled as the
// build would store the BIF's name) must lead, where the KEY's readers look for a BIF, to the
// BIF itself or to no file yet: else the new names would be read over another file's bytes.
void RefuseEntryOfAnotherFile(const std::string& bifFileName, const std::string& keyFileName,
                              const std::string& storedName, bool exact);

// No file to pack may be a resource (ResourceKey) that a BIF of key other than entryIndex, the
// entry the build fills, already holds: the game looks a resource up across all of a KEY's BIFs.
void RefuseResourcesHeldElsewhere(const TNWNKeyFile& key, std::size_t entryIndex, const std::vector<TSourceFile>& files,
                                  const std::string& bifFileName);

// The names to pack: all of names but the build's own files (own), which are appended to
// leftOut, when the source folder is a folder the build writes into.
std::vector<std::string_view> NamesToPack(const std::vector<std::string>& names, const std::string& sourceDir,
                                          const std::vector<std::string>& own, std::vector<std::string>& leftOut);

// What the archive a build writes can hold, for the checks of its sources.
struct TPackFormat {
    std::string Kind; // how a refusal names it: "BIF", "HAK", ...
    std::uint64_t FixedBytes = 0; // its header and whatever else comes once
    std::uint64_t BytesPerFile = 0; // its table rows for one file
    std::uint64_t MaxBytes = 0; // the most the whole archive may take
    std::string MaxText; // that limit in words: "under 4 GiB"
};

// Every source file of the folder checked and recorded (there, ordinary, its name fit for a
// ResRef and for export), with size the size the archive will have (within format's limits).
std::vector<TSourceFile> CheckSources(const std::vector<std::string_view>& names, const platform::Folder& folder,
                                      const std::string& bifFileName, const TPackFormat& format, std::uint64_t& size);

// The targets' files: an ordinary file (or none) at path and a backup name that no folder
// takes; an existing file of signature and version, kind naming it.
void RefuseUnusableTarget(const std::string& buildName, const std::string& path, const TFourCC& signature,
                          const TFourCC& version, const std::string& kind);

// Where a folder takes names as Windows does: path and its backup name no device or stream.
void RefuseReservedTarget(const std::string& buildName, const std::string& path);

// The date the KEY is stamped with: today's, or that of sourceDateEpoch (the environment's
// SOURCE_DATE_EPOCH) when it is set.
LocalDate BuildDate(const std::optional<std::string>& sourceDateEpoch, const std::string& bifFileName);

} // namespace vellocar::buildsteps
