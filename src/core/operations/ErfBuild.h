#pragma once
// Packing a folder's files into an archive of the ERF family (a HAK, a MOD, an ERF, ...), new or
// added to, with the checks and the durability of a BIF and KEY build (Build.h): everything
// checked before the disk is touched, the new archive written beside its target under a journal
// and a lock, then moved into place with the file it replaces kept as <name>.bak.

#include "base/Progress.h"
#include "formats/KeyFiles.h"
#include "operations/BuildGuard.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

struct TErfBuildRequest {
    std::string SourceDir; // ends with the path separator; a file's path is SourceDir + name
    std::vector<std::string> Files; // the names of the files to pack (platform::ListPlainFiles)
    std::string Path; // the archive to write
    TFourCC FileType{'H', 'A', 'K', ' '};
    // The archive's description, one string of language 0 (English), as this system spells
    // text; nothing for none (an append then keeps the archive's own).
    std::optional<std::string> Description;
    bool Append = false; // keep the other resources of an existing archive
    std::chrono::milliseconds LockWait = kDefaultLockWait;
    TWaitNotice Waiting;
    TProgress Progress; // told before each resource's bytes are copied
    std::optional<std::string> SourceDateEpoch; // as a KEY build's
};

struct TErfBuildReport {
    std::string Kind; // "HAK", ...
    std::size_t Files = 0; // packed from the folder
    std::uint64_t ContentBytes = 0; // theirs
    std::size_t Kept = 0; // resources an append kept from the archive
    // The resources that the folder's files replaced, as lines ("name.ext").
    std::vector<std::string> Replaced;
    std::size_t Resources = 0; // in the archive as saved
    std::uint64_t Size = 0; // the archive's bytes
    std::vector<std::string> KeptBackups;
    std::vector<std::string> LeftOut;
    std::vector<std::string> Recovered;
};

// The archive type a file name's extension calls for (".hak" gives "HAK "); nothing for another.
std::optional<TFourCC> ErfTypeForName(const std::string& path);

// Packs the files that request names into the archive at Path (with Append, into the archive
// there: its resources that no file replaces are kept, its description unless one is given).
// Failures raise as BuildArchive's do: EBuildRefused before the disk was touched, the file and
// format errors otherwise, every existing file then as it was.
TErfBuildReport BuildErfArchive(const TErfBuildRequest& request);

} // namespace vellocar
