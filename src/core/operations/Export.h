#pragma once
// Exporting a BIF's resources as loose files, in two steps: the plan, worked out in memory
// (which resource becomes which file, which are skipped and why), and the writing of it.

#include "base/Progress.h"
#include "formats/BifFiles.h"
#include "media/Textures.h"
#include "platform/Platform.h"
#include "platform/SafeFolders.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace vellocar {

// A resource that an export did not write, and why (an unsafe file name, no KEY entry, ...),
// as this system shows them.
struct TSkippedResource {
    std::string Name; // the list line, or "#<index>" when the KEY does not name it
    std::string Reason;
};

// One step of an export.
struct TExportItem {
    TArchiveName Name; // the resource's line ("name.ext"), which names its file
    std::string Identity; // its entry's ResourceKey: what makes it one resource to the game
    std::uint32_t Resource = 0; // its index in the variable table
    TResType Type = 0; // its type, as its KEY entry gives it
    std::string SkipReason; // why it is not written, as this system shows it; empty when it is
    std::uint32_t Offset = 0; // where its bytes lie in the BIF
    std::uint32_t Size = 0;
    // Its bytes are unpacked before they are written (an E1 BIF's compressed buffer): how
    // (compressedbuf::Unpack) and to how many bytes.
    bool Packed = false;
    std::uint32_t Compression = 0;
    std::uint32_t Unpacked = 0;
    bool PastEnd = false; // its bytes run past the end of the BIF or archive: the export stops here
    std::int64_t Progress = -1; // the progress position told before this step; -1 for none
    // A texture written as a PNG picture of it instead of its own bytes, under OutputName.
    std::optional<media::TTextureType> Png;
    // A resource written as its JSON form (a GFF's) instead of its own bytes, under OutputName
    // (its line and ".json").
    bool Json = false;
    TArchiveName OutputName; // the file's name when it is not Name
};

// The name of the file an item is written to.
inline const TArchiveName& OutputNameOf(const TExportItem& item) {
    return item.OutputName.Bytes.empty() ? item.Name : item.OutputName;
}

// The names of the PNGs of textures written into one folder: "name.png", or "name.ext.png" where
// another output of the same export would take that name too (c_bugbear.tga and c_bugbear.dds
// both give c_bugbear.tga.png and c_bugbear.dds.png, neither takes the other's place).
class TPngNames {
public:
    explicit TPngNames(platform::NameRules rules) : rules_(rules) {}
    // An output of the export (a resource's line: "name.ext"), texture or not. The same resource
    // added twice (the same name from two KEYs) counts once.
    void Add(const TArchiveName& line, bool texture);
    // The PNG's name for a texture's line.
    TArchiveName NameFor(const TArchiveName& line) const;

private:
    std::string KeyOf(const TArchiveName& outputName) const;
    platform::NameRules rules_;
    // NameKey of an output's default name -> the resources (ASCII-folded lines) that take it.
    std::unordered_map<std::string, std::unordered_set<std::string>> takers_;
};

// What a plan is made from: the BIF's variable table and size, and the KEY's entries for it.
struct TExportSource {
    const std::vector<TNWNVarResEntry>& Resources;
    std::uint64_t BifSize = 0;
    const std::vector<TNWNKeyEntry>* Entries = nullptr; // none when no KEY names this BIF
    std::uint32_t BifIndex = 0;
    // How the target folder compares names: two resources whose names it takes for one file
    // never both go there.
    platform::NameRules Rules = platform::kHostNameRules;
    // Textures (tga, dds, plt) as PNG pictures, named by PngNames when the export spans more
    // than this plan (several BIFs into one folder), else by the plan's own names.
    bool TexturesAsPng = false;
    const TPngNames* PngNames = nullptr;
    // Resources with a JSON form (GFF) as that JSON, named "name.ext.json".
    bool GffAsJson = false;
};

// The file names and resources an export has taken in one folder: no two of its files are one
// file there (platform::NameKey under the folder's rules), nor two files one resource
// (ResourceKey), which the game and a build would take for one.
class TExportClaims {
public:
    explicit TExportClaims(platform::NameRules rules) : rules_(rules) {}
    // Takes item's file name and resource for owner (as a later refusal names it, as this system
    // shows names); why it cannot when an earlier claim holds either.
    std::optional<std::string> Claim(const TExportItem& item, const std::string& owner);
    // Makes room for count claims at once, not table by table as they come.
    void Reserve(std::size_t count) {
        files_.reserve(files_.size() + count);
        resources_.reserve(resources_.size() + count);
    }

private:
    platform::NameRules rules_;
    std::unordered_map<std::string, std::string> files_, resources_; // key -> owner
};

// Every variable resource in index order, named by its first KEY entry; a resource that no
// entry names is skipped as "#<index>". Then the KEY entries that name no resource of the BIF,
// or one an earlier entry already names, skipped, so that every listed resource is accounted
// for. Names that cannot be files in the target folder are skipped, and so is each later name
// that the target folder takes for an earlier one (platform::NameKey under source.Rules) or that
// is one resource with an earlier one (ResourceKey), so that what an export writes packs again.
// With TexturesAsPng, each texture's item is to be written as a PNG under its TPngNames name.
std::vector<TExportItem> PlanExportAll(const TExportSource& source);

// The resources of the chosen KEY entries of this BIF (positions in its list of entries, as
// its lines show them), found through each entry's ResId, with the same skips.
std::vector<TExportItem> PlanExportChosen(const TExportSource& source, const std::vector<std::size_t>& chosen);

// What an export did.
struct TExportReport {
    std::size_t Written = 0;
    std::size_t Pngs = 0; // of those written, the textures written as PNG
    std::size_t Jsons = 0; // of those written, the GFF resources written as JSON
    // Of those written, the textures (or GFF resources) that did not decode, written as their own bytes under their
    // own name instead of a PNG (Reason says why), in plan order.
    std::vector<TSkippedResource> AsBytes;
    std::vector<TSkippedResource> Skipped; // in plan order
    // The resources written or planned whose bytes overlap those of another (Reason says whose).
    std::vector<TSkippedResource> Overlapping;
    // The export stopped at the BIF's own size and kOverlapMargin more: the resources after that
    // point are in Skipped.
    bool Stopped = false;
};

// An export writes at most what its BIF holds: its resources' bytes lie side by side, so only
// resources that share bytes can add up to more, and a small BIF whose entries all point at one
// span would fill a disk. Past the BIF's size and this margin, an export stops unless allowed.
inline constexpr std::uint64_t kOverlapMargin = std::uint64_t{1} << 20;

// Asked before an export whose plan would write more than that: the bytes planned and the BIF's
// size; true writes them all. None (or false) stops the export there.
using TAllowOverlaps = std::function<bool(std::uint64_t planned, std::uint64_t bifSize)>;

// Writes a plan's resources from the open BIF into the folder target holds open (none only for a
// plan with nothing to write), each file created afresh through it. A file that would be the BIF
// or the KEY at keyPath being read is skipped, and so is a texture that does not decode into a
// PNG, and a resource at whose name stands what cannot be replaced (a folder; on Windows a link
// Wine shows as its target), each with the reason. Raises EFCreateError when the folder's path no
// longer leads to the folder held (moved, or swapped for a link): nothing more is written.
// Overlapping resources are reported, and the export stops before it writes more than the BIF's
// size and kOverlapMargin unless allow says otherwise. Raises on the first resource that cannot
// be read or written (a partial file is removed first; the files before it are kept). Progress
// is told each of the plan's progress positions, out of all of them, if it has any.
TExportReport WriteExport(const std::vector<TExportItem>& plan, platform::File& bif, const std::string& keyPath,
                          const platform::HeldFolder* target, const TProgress& progress,
                          const TAllowOverlaps& allow = {});
// The same, adding to report as it goes, so that what was written before a resource that raised
// is still told.
void WriteExportInto(const std::vector<TExportItem>& plan, platform::File& bif, const std::string& keyPath,
                     const platform::HeldFolder* target, const TProgress& progress, const TAllowOverlaps& allow,
                     TExportReport& report);

// The files that an export of several containers reads (KEYs, BIFs, archives, loose files): no
// output of it may be one of them, whichever container it comes from. Only a name that the file
// system could take for one of theirs (under the loosest rules, those of a folder that ignores
// case), or a possible 8.3 alias, is asked about, so that the common case costs no system call.
class TFilesBeingRead {
public:
    void Add(const std::string& path);
    // The file being read that out (the output's path, whose file name is name) would be.
    std::optional<std::string> Hit(const std::string& out, const std::string& name) const;

private:
    std::unordered_map<std::string, std::vector<std::string>> byKey_; // NameKey -> paths
    std::vector<std::string> all_;
};

// The name rules of the folder an export writes to, or of its nearest folder that already exists
// (the one it will be made in).
platform::NameRules TargetNameRules(std::string folder);

// Whether the plan has anything to write.
bool AnyToWrite(const std::vector<TExportItem>& plan);

// What one export of a BIF is asked to do.
struct TExportRequest {
    explicit TExportRequest(std::string target, std::optional<std::vector<std::size_t>> chosen = std::nullopt)
        : Target(std::move(target)), Chosen(std::move(chosen)) {}

    std::string Target; // the folder, ending with its separator
    // The KEY entries chosen (PlanExportChosen); nothing for every resource (PlanExportAll).
    std::optional<std::vector<std::size_t>> Chosen;
    bool TexturesAsPng = false; // textures as PNG pictures
    bool GffAsJson = false; // GFF resources as JSON
    TProgress Progress;
    TAllowOverlaps AllowOverlaps;
};

// The whole export of a BIF opened with its KEY (key, which may be none): the resources request
// asks for, under the name rules of the target folder. When a build of that KEY that died had
// to be finished first, nothing is exported (what was opened is no longer what is there).
TExportReport ExportResources(const TOpenedBif& bif, const TNWNKeyFile* key, const TExportRequest& request);

} // namespace vellocar
