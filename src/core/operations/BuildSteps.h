#pragma once
// The steps of a build that BuildArchive (Build.cpp) takes in turn, apart so that each can be
// read on its own: the checks before anything is touched are in BuildChecks.cpp.

#include "ArchiveNames.h"
#include "Dates.h"
#include "Platform.h"

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

// Every source file of the folder checked and recorded (there, ordinary, its name fit for a
// ResRef and for export), with bifSize the size the BIF will have (under 4 GiB).
std::vector<TSourceFile> CheckSources(const std::vector<std::string_view>& names, const platform::Folder& folder,
                                      const std::string& bifFileName, std::uint64_t& bifSize);

// The date the KEY is stamped with: today's, or that of sourceDateEpoch (the environment's
// SOURCE_DATE_EPOCH) when it is set.
LocalDate BuildDate(const std::optional<std::string>& sourceDateEpoch, const std::string& bifFileName);

} // namespace vellocar::buildsteps
