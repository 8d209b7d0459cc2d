#pragma once
// BIF data archives ("BIFF" "V1  "): the records and tables, field for field as the file holds
// them; where a KEY's BIF lies; and opening one with its KEY, as a value (OpenBif) or as the
// classic model TNWNBifFile, whose jobs (export, build) are the operations' (Export.h, Build.h;
// their entry points here are defined with them, in BifFilesJobs.cpp). The layout and the
// reading of the bytes are in BifCodec.h.

#include "KeyFiles.h"
#include "Progress.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

// Where the BIF that a KEY in keyFolder stores as storedName lies. First where the classic
// game keeps it: keyFolder + storedName (platform::ResolveStoredName). When nothing is there,
// the Enhanced Edition's layouts, whose KEYs sit one folder below the names' root: the KEY's
// parent folder + storedName (<game>/data/nwn_base.key naming data\base_2da.bif), then the
// KEY's own folder + the stored name's last part (the language KEYs in <game>/lang/xx/data).
// A name beyond ASCII is looked for as stored, then (Classic false) as this system spells it
// (FileNameOfArchiveName: UTF-8 on Linux).
// found says whether a file stands there; when none does, the classic path is returned, so
// that the error names where the BIF was looked for first.
struct TBifLocation {
    std::string Path;
    bool Found = false;
    bool Classic = true; // the path is keyFolder + storedName
};
TBifLocation LocateBif(const std::string& keyFolder, const std::string& storedName);

using TNWNBinaryData = std::vector<std::uint8_t>;

struct TNWNVarResEntry {
    std::uint32_t Id = 0;
    std::uint32_t Offset = 0;
    std::uint32_t FileSize = 0;
    std::uint32_t ResType = 0;
};

struct TNWNFixedResEntry {
    std::uint32_t Id = 0;
    std::uint32_t Offset = 0;
    std::uint32_t PartCount = 0;
    std::uint32_t PartSize = 0;
    std::uint32_t ResType = 0;
};

// The header and both tables of a BIF, field for field; HeaderExtra holds the bytes between
// the header and a variable table that starts later.
struct TBifTables {
    TFourCC FileType{};
    TFourCC FileVersion{};
    std::uint32_t VarResCount = 0;
    std::uint32_t FixedResCount = 0;
    std::uint32_t VarTableOffset = 0;
    TNWNBinaryData HeaderExtra;
    std::vector<TNWNVarResEntry> VarResources;
    std::vector<TNWNFixedResEntry> FixedResources;
};

// A BIF read with its KEY: its tables, and which entry of the KEY it is.
struct TOpenedBif {
    std::string Path;
    std::int32_t BifIndex = 0;
    TBifTables Tables;
};

// Which entry of key the BIF at path is: bifIndex where the caller knows it; otherwise the KEY
// Filename that ends path, else the first one that occurs in it (a path that holds none of them
// is refused with EFormatError); 0 without a KEY.
std::int32_t BifEntryOf(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex = {});

// Reads the header and tables of the BIF at path. Tables that do not fit the file are refused
// with EFormatError before anything is allocated.
TBifTables ReadBifTables(const std::string& path);

// Both: the BIF at path read as entry BifEntryOf of key.
TOpenedBif OpenBif(const std::string& path, const TNWNKeyFile* key, std::optional<std::int32_t> bifIndex = {});

// The lines a list shows for BIF bif of key: one per KEY entry in KEY order, each the
// resource's name and extension as this system spells names.
std::vector<std::string> ResourceLines(const TNWNKeyFile& key, std::size_t bif);

// A resource that an export did not write, and why (an unsafe file name, no KEY entry, ...).
struct TSkippedResource {
    std::string Name; // the list line, or "#<index>" when the KEY does not name it
    std::string Reason;
};

class TNWNBifFile : public TBifTables {
public:
    // The list and the gauge are the caller's and must outlive this object.
    TNWNBifFile(TResourceList& resourceList, TGauge& gauge);

    // The KEY this BIF was opened with. Shared, so that a KEY the window has replaced stays
    // alive as long as a BIF opened with it is still in use.
    std::shared_ptr<const TNWNKeyFile> KeyFile;
    std::int32_t BifIndex = 0;
    std::string Path;

    // What the last export left out: resources in index order, then KEY entries that name no
    // resource of their own.
    std::vector<TSkippedResource> Skipped;
    // For the exports: asked (with the bytes planned and the BIF's size) before writing more than
    // the BIF holds, since its resources share bytes; true writes them all, none stops the export
    // at the BIF's size. After one: the resources whose bytes overlap another's, and whether it
    // stopped there.
    std::function<bool(std::uint64_t planned, std::uint64_t bifSize)> AllowOverlaps;
    std::vector<TSkippedResource> Overlapping;
    bool ExportStopped = false;

    // For BuildFrom: told while the build waits for another build of the same files (the
    // message, then "" when the wait is over); and after it, what it did beyond the usual, a
    // sentence each (interrupted builds finished, backups kept, its own files left out).
    std::function<void(const std::string&)> Waiting;
    std::vector<std::string> BuildNotes;

    // OpenBif, then the resource list filled at once with the BIF's ResourceLines.
    void Open(const std::string& path, std::shared_ptr<const TNWNKeyFile> keyFile,
              std::optional<std::int32_t> bifIndex = std::nullopt);

    // The classic entry points: each runs its operation and returns true, since every failure
    // raises.

    // Writes every variable resource into its own file in the folder target (which ends with
    // the path separator), showing progress on the gauge. What was left out is in Skipped.
    bool ExtractAll(const std::string& target);

    // The same for the resources of the selected lines of the resource list, found through
    // their KEY entries' ResId. No progress display.
    bool ExtractSelected(const std::string& target);

    // Packs the files named by the resource list (in list order, each SourceDir + name) into a
    // new BIF at BifFileName and registers it as "data\<file name>" in the KEY at KeyFileName,
    // keeping the other contents of an existing KEY when Append is set (BuildArchive).
    bool BuildFrom(const std::string& SourceDir, const std::string& BifFileName, const std::string& KeyFileName,
                   bool Append);

private:
    TResourceList& resourceList_;
    TGauge& gauge_;
};

} // namespace vellocar
