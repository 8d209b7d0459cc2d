#pragma once
// Building a BIF from a folder's files and registering it in a KEY, as one operation that
// reports what it did. Failures raise: EBuildRefused when the build was refused before the
// disk was touched, the file and format errors otherwise (every existing file is then as it
// was, or the message says where it is).

#include "base/Progress.h"
#include "operations/BuildGuard.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellocar {

struct TBuildRequest {
    TBuildRequest() = default;
    TBuildRequest(std::string sourceDir, std::string bifPath, std::string keyPath, bool append = false)
        : SourceDir(std::move(sourceDir)), BifPath(std::move(bifPath)), KeyPath(std::move(keyPath)), Append(append) {}

    std::string SourceDir; // ends with the path separator; a file's path is SourceDir + name
    // The names of the files to pack, in the order they are packed (as the folder listing gave
    // them: platform::ListPlainFiles).
    std::vector<std::string> Files;
    std::string BifPath;
    std::string KeyPath;
    bool Append = false; // keep the other contents of an existing KEY
    // How long to wait for another build of the same KEY or BIF, and whom to tell meanwhile.
    std::chrono::milliseconds LockWait = kDefaultLockWait;
    TWaitNotice Waiting;
    // Told before each file of the data pass is copied.
    TProgress Progress;
    // The environment's SOURCE_DATE_EPOCH, when it is set: the date the KEY is stamped with.
    std::optional<std::string> SourceDateEpoch;
};

struct TBuildReport {
    std::string EntryName; // how the KEY names the BIF: "data\<file name>"
    std::uint32_t BifIndex = 0; // the entry's index in the KEY
    bool ReusedEntry = false; // an existing entry was rebuilt, none added
    std::size_t Files = 0;
    std::uint64_t ContentBytes = 0; // the files' bytes, the BIF's tables aside
    std::uint64_t BifSize = 0;
    std::size_t KeyBifs = 0; // the KEY as saved: its BIF entries and its resources
    std::size_t KeyResources = 0;
    // Earlier backups that stayed as they were, since no current file was there to replace them.
    std::vector<std::string> KeptBackups;
    // The build's own files (its targets and their backups) that the list named: not packed.
    std::vector<std::string> LeftOut;
    // What was done first about builds of the same files that had been stopped half-way.
    std::vector<std::string> Recovered;

    // What the build did beyond the usual, a sentence each, to follow "Vellocar ": the builds
    // it finished or undid first, the backups it kept, its own files it left out.
    std::vector<std::string> Notes() const;
};

// Packs the files that request names (in their order, each SourceDir + name) into a new BIF at
// BifPath and registers it as "data\<file name>" in the KEY at KeyPath. Replaced files are
// kept as <name>.bak. Everything is checked before the disk is touched; the new files are
// written beside their targets and moved into place only when both are complete, under a
// journal and the locks of both targets (BuildGuard.h): a second build of the same files
// waits, and what a build that died left is finished or undone first.
// The KEY is stamped with today's local date, or with the UTC date of the request's
// SOURCE_DATE_EPOCH (seconds since 1970), for packs that are the same byte for byte every day.
TBuildReport BuildArchive(const TBuildRequest& request);

} // namespace vellocar
