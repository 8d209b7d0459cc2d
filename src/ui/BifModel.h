#pragma once
// The BIF model the window holds (TNWNBifFile) and the two controls the window lends it: the
// resource list (ListBox2), which it fills with the chosen BIF's lines and reads the selection
// of, and the gauge (Gauge1), which shows an export's or a build's progress. A thin layer over
// the core, which takes values and gives reports: the BIF opened as a value (OpenBif), the
// export (ExportResources) and the build (BuildArchive). An archive of the ERF family is opened
// as the core holds one (ErfContainer): its file in place of the BIF, its entries as the KEY's.

#include "base/Progress.h"
#include "formats/BifFiles.h"
#include "formats/KeyFiles.h"
#include "operations/Build.h"
#include "operations/Containers.h"
#include "operations/Export.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::ui {

// The resource list. Lines keep the order in which they were added.
class TResourceList {
public:
    virtual ~TResourceList() = default;
    virtual void Clear() = 0;
    virtual void Add(const std::string& line) = 0;
    // Every line at once, in order: a list that shows thousands of lines draws them once.
    virtual void AddAll(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) Add(line);
    }
    virtual int Count() const = 0;
    virtual std::string Line(int index) const = 0;
    virtual bool Selected(int index) const = 0;
};

// The progress gauge. RepaintNow must show the new position at once, because the work runs
// on the window's own thread.
class TGauge {
public:
    virtual ~TGauge() = default;
    virtual void SetMinValue(int value) = 0;
    virtual void SetMaxValue(int value) = 0;
    virtual void SetProgress(int value) = 0;
    virtual void Show() = 0;
    virtual void RepaintNow() = 0;
};

// A job's progress on gauge: before its first step the range 0 to the last step, the position 0
// and the gauge shown; then before each step its position, repainted at once.
TProgress GaugeProgress(TGauge& gauge);

class TNWNBifFile {
public:
    // The list and the gauge are the caller's and must outlive this object.
    TNWNBifFile(TResourceList& resourceList, TGauge& gauge);

    // The KEY this BIF was opened with. Shared, so that a KEY the window has replaced stays
    // alive as long as a BIF opened with it is still in use.
    std::shared_ptr<const TNWNKeyFile> KeyFile;
    // Its path, which entry of KeyFile it is, its header and tables.
    TOpenedBif Opened;

    // What the last export left out: resources in index order, then KEY entries that name no
    // resource of their own.
    std::vector<TSkippedResource> Skipped;
    // For the exports: asked (with the bytes planned and the BIF's size) before writing more than
    // the BIF holds, since its resources share bytes; true writes them all, none stops the export
    // at the BIF's size. After one: the resources whose bytes overlap another's, and whether it
    // stopped there.
    TAllowOverlaps AllowOverlaps;
    std::vector<TSkippedResource> Overlapping;
    bool ExportStopped = false;

    // For BuildFrom: told while the build waits for another build of the same files (the
    // message, then "" when the wait is over); and after it, what it did beyond the usual, a
    // sentence each (interrupted builds finished, backups kept, its own files left out).
    TWaitNotice Waiting;
    std::vector<std::string> BuildNotes;
    // For BuildFrom: the environment's SOURCE_DATE_EPOCH, when it is set (TBuildRequest).
    std::optional<std::string> SourceDateEpoch;

    // OpenBif, then the resource list filled at once with the BIF's ResourceLines. The model
    // names the BIF it was asked for before it is read, also when reading fails.
    void Open(const std::string& path, std::shared_ptr<const TNWNKeyFile> keyFile,
              std::optional<std::int32_t> bifIndex = std::nullopt);
    // The archive of the ERF family at path (ErfContainer), the resource list filled with its
    // ContainerLines; KeyFile is then the archive's own entries, with no KEY path. The model
    // names the archive before it is read, also when reading fails.
    void OpenArchive(const std::string& path);

    // Every failure of these raises.

    // Writes every variable resource into its own file in the folder target (which ends with
    // the path separator), showing progress on the gauge. What was left out is in Skipped.
    void ExtractAll(const std::string& target);

    // The same for the resources of the selected lines of the resource list, found through
    // their KEY entries' ResId. No progress display.
    void ExtractSelected(const std::string& target);

    // Packs files (in their order, each SourceDir + name: the names the folder listing put into
    // the list) into a new BIF at BifFileName and registers it as "data\<file name>" in the KEY
    // at KeyFileName, keeping the other contents of an existing KEY when Append is set
    // (BuildArchive).
    void BuildFrom(const std::string& SourceDir, const std::vector<std::string>& files, const std::string& BifFileName,
                   const std::string& KeyFileName, bool Append);

private:
    void Keep(TExportReport report);

    TResourceList& resourceList_;
    TGauge& gauge_;
};

} // namespace vellocar::ui
