// The jobs of the classic BIF model, TNWNBifFile (BifFiles.h): export and build, each a thin
// entry point over its operation, kept for the names the window logic calls them by.

#include "BifFiles.h"

#include "Build.h"
#include "Export.h"

#include <utility>

namespace vellocar {

namespace {

void Keep(TNWNBifFile& bif, TExportReport report) {
    bif.Skipped = std::move(report.Skipped);
    bif.Overlapping = std::move(report.Overlapping);
    bif.ExportStopped = report.Stopped;
}

} // namespace

bool TNWNBifFile::ExtractAll(const std::string& target) {
    Keep(*this, ExportResources(*this, target, TExportScope::All, resourceList_, gauge_, false, AllowOverlaps));
    return true;
}

bool TNWNBifFile::ExtractSelected(const std::string& target) {
    TNullGauge noProgress;
    Keep(*this,
         ExportResources(*this, target, TExportScope::Selected, resourceList_, noProgress, false, AllowOverlaps));
    return true;
}

bool TNWNBifFile::BuildFrom(const std::string& SourceDir, const std::string& BifFileName,
                            const std::string& KeyFileName, bool Append) {
    TBuildRequest request(SourceDir, BifFileName, KeyFileName, Append);
    request.Waiting = Waiting;
    BuildNotes = BuildArchive(request, resourceList_, gauge_).Notes();
    return true;
}

} // namespace vellocar
