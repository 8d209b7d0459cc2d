// The window's BIF model over the core's open, export and build, and the gauge that shows their
// progress.

#include "BifModel.h"

#include <utility>

namespace vellocar::ui {

TProgress GaugeProgress(TGauge& gauge) {
    return [&gauge, steps = std::uint64_t{0}](std::uint64_t done, std::uint64_t total) mutable {
        if (total != steps) {
            steps = total;
            gauge.SetMinValue(0);
            gauge.SetMaxValue(ClampToInt(total - 1));
            gauge.SetProgress(0);
            gauge.Show();
        }
        gauge.SetProgress(ClampToInt(done));
        gauge.RepaintNow();
    };
}

TNWNBifFile::TNWNBifFile(TResourceList& resourceList, TGauge& gauge) : resourceList_(resourceList), gauge_(gauge) {}

void TNWNBifFile::Open(const std::string& path, std::shared_ptr<const TNWNKeyFile> keyFile,
                       std::optional<std::int32_t> bifIndex) {
    Opened.BifIndex = BifEntryOf(path, keyFile.get(), bifIndex);
    KeyFile = std::move(keyFile);
    Opened.Path = path;
    Opened.Tables = ReadBifTables(path);
    resourceList_.Clear();
    if (KeyFile) resourceList_.AddAll(ResourceLines(*KeyFile, static_cast<std::size_t>(Opened.BifIndex)));
}

void TNWNBifFile::OpenArchive(const std::string& path) {
    Opened.Path = path;
    TResourceContainer archive = ErfContainer(path);
    resourceList_.Clear();
    resourceList_.AddAll(ContainerLines(archive));
    KeyFile = std::move(archive.Names);
    Opened = std::move(archive.Bytes);
}

void TNWNBifFile::Keep(TExportReport report) {
    Skipped = std::move(report.Skipped);
    Overlapping = std::move(report.Overlapping);
    ExportStopped = report.Stopped;
}

void TNWNBifFile::ExtractAll(const std::string& target) {
    TExportRequest request(target);
    request.Progress = GaugeProgress(gauge_);
    request.AllowOverlaps = AllowOverlaps;
    Keep(ExportResources(Opened, KeyFile.get(), request));
}

void TNWNBifFile::ExtractSelected(const std::string& target) {
    std::vector<std::size_t> chosen;
    for (int i = 0; i < resourceList_.Count(); ++i)
        if (resourceList_.Selected(i)) chosen.push_back(static_cast<std::size_t>(i));
    TExportRequest request(target, std::move(chosen));
    request.AllowOverlaps = AllowOverlaps;
    Keep(ExportResources(Opened, KeyFile.get(), request));
}

void TNWNBifFile::BuildFrom(const std::string& SourceDir, const std::vector<std::string>& files,
                            const std::string& BifFileName, const std::string& KeyFileName, bool Append) {
    TBuildRequest request(SourceDir, BifFileName, KeyFileName, Append);
    request.Files = files;
    request.Waiting = Waiting;
    request.SourceDateEpoch = SourceDateEpoch;
    request.Progress = GaugeProgress(gauge_);
    BuildNotes = BuildArchive(request).Notes();
}

} // namespace vellocar::ui
