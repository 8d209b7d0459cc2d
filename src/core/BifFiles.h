#pragma once
// BIF data archives ("BIFF" "V1  "): the model, opening one together with its KEY and listing
// its resources, and the entry points of exporting them (Export.h) and of building a new BIF
// with its KEY entry from a folder's files (Build.h). The format itself is in BifCodec.h.

#include "KeyFiles.h"
#include "Progress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {

inline constexpr std::size_t kBifHeaderSize = 20;
inline constexpr std::size_t kBifVarEntrySize = 16;
inline constexpr std::size_t kBifFixedEntrySize = 20;

// The type number of an extension given with its leading point (".2da", ".BMP"); 65535 when no
// row of the table matches.
std::int64_t ExtToResType(const std::string& extension);
inline constexpr std::int64_t kUnknownResType = 0xFFFF;

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

// A resource that an export did not write, and why (an unsafe file name, no KEY entry, ...).
struct TSkippedResource {
    std::string Name; // the list line, or "#<index>" when the KEY does not name it
    std::string Reason;
};

class TNWNBifFile {
public:
    // The list and the gauge are the caller's and must outlive this object.
    TNWNBifFile(TResourceList& resourceList, TGauge& gauge);

    // The KEY this BIF was opened with. Shared, so that a KEY the window has replaced stays
    // alive as long as a BIF opened with it is still in use.
    std::shared_ptr<const TNWNKeyFile> KeyFile;
    std::int32_t BifIndex = 0;
    TNWNBinaryData HeaderExtra;
    std::string Path;
    TFourCC FileType{};
    TFourCC FileVersion{};
    std::uint32_t VarResCount = 0;
    std::uint32_t FixedResCount = 0;
    std::uint32_t VarTableOffset = 0;
    std::vector<TNWNVarResEntry> VarResources;
    std::vector<TNWNFixedResEntry> FixedResources;

    // What the last export left out: resources in index order, then KEY entries that name no
    // resource of their own. Cleared when an export starts.
    std::vector<TSkippedResource> Skipped;

    // Reads the header and tables of the BIF at path and fills the resource list with one
    // line per KEY entry of this BIF. The BIF is entry bifIndex of the KEY where the caller
    // knows it; otherwise the KEY Filename that ends path, else the first one that occurs in
    // it (a path that holds none of them is refused). Tables that do not fit the file are
    // refused with EFormatError before anything is allocated.
    void Open(const std::string& path, std::shared_ptr<const TNWNKeyFile> keyFile,
              std::optional<std::int32_t> bifIndex = std::nullopt);

    // The KEY entry of the variable-table entry at index; false (entry untouched) if none.
    bool FindKeyEntry(std::int64_t index, TNWNKeyEntry& entry) const;

    // The classic entry points, kept for their names: each runs the operation of Export.h or
    // Build.h (which callers that want the report use directly) and returns true, since every
    // failure raises.

    // Writes every variable resource into its own file in the folder target (which ends with
    // the path separator), showing progress on the gauge. What was left out is in Skipped.
    bool ExtractAll(const std::string& target);

    // The same for the resources of the selected lines of the resource list, found through
    // their KEY entries' ResId. No progress display.
    bool ExtractSelected(const std::string& target);

    // Packs the files named by the resource list (in list order, each SourceDir + name) into a
    // new BIF at BifFileName and registers it as "data\<file name>" in the KEY at KeyFileName,
    // keeping the other contents of an existing KEY when Append is set. Replaced files are kept
    // as <name>.bak. Everything is checked before the disk is touched; the new files are
    // written beside their targets and moved into place only when both are complete, so a
    // failure leaves every existing file as it was.
    bool BuildFrom(const std::string& SourceDir, const std::string& BifFileName, const std::string& KeyFileName,
                   bool Append);

private:
    TResourceList& resourceList_;
    TGauge& gauge_;
};

} // namespace vellocar
