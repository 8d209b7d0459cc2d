// pack: a folder's plain files into a new BIF, registered in a new KEY or (--append) in an
// existing one.

#include "Build.h"
#include "Commands.h"
#include "Output.h"
#include "Platform.h"
#include "SafeFolders.h"
#include "Usage.h"

#include <cstdlib>
#include <utility>
#include <variant>

namespace vellocar::cli {

namespace {

// The files of sourceDir to pack, in the order the build packs them; nothing (and a complaint)
// when it is no folder or holds no plain file.
std::optional<std::vector<std::string>> SourceFiles(const std::string& sourceDir) {
    const auto source = platform::Stat(sourceDir);
    if (!source) {
        Complain("source folder " + Quoted(sourceDir) + " does not exist; nothing written");
        return std::nullopt;
    }
    if (!source->IsDirectory) {
        Complain(Quoted(sourceDir) + " is not a folder; nothing written");
        return std::nullopt;
    }
    std::vector<std::string> names = platform::ListPlainFiles(sourceDir);
    if (names.empty()) {
        Complain("source folder " + Quoted(sourceDir) + " holds no plain files to pack; nothing written");
        return std::nullopt;
    }
    return names;
}

// Makes the folder that path's file goes into when the folder above it stands: one level only,
// and never through a link that stands at its name (HeldFolder::MakeBelow). A folder that stands
// already, or whose parent does not, is the build's to find. False, with a complaint, when the
// folder is refused.
bool MakeTargetFolder(const std::string& path) {
    std::string folder = platform::FolderPart(path);
    if (folder.empty() || platform::LookAt(folder)) return true;
    while (folder.size() > 1 && platform::IsPathSeparator(folder.back())) folder.pop_back();
    const std::string name = platform::FileNamePart(folder);
    if (name.empty() || name == "." || name == ".." || platform::LookAt(folder)) return true;
    const std::string parent = platform::FolderOf(folder);
    if (!platform::IsFolder(parent)) return true;
    const auto made = platform::HeldFolder::OpenChosen(parent).MakeBelow(name);
    if (const auto* refused = std::get_if<std::string>(&made)) {
        Complain("cannot make the folder " + Quoted(folder) + ": " + *refused + "; nothing written");
        return false;
    }
    return true;
}

// What the build did: its summary line, then the backups it kept and the files it left out.
void Summarize(const TBuildReport& report, const std::string& sourceDir, const std::string& bifPath,
               const std::string& keyPath, Output& out) {
    out.Line("packed " + std::to_string(report.Files) + (report.Files == 1 ? " file (" : " files (") +
             WithThousands(report.ContentBytes) + " bytes) into " + bifPath + "; registered as " + report.EntryName +
             " in " + keyPath + " (" + std::to_string(report.KeyBifs) + (report.KeyBifs == 1 ? " BIF, " : " BIFs, ") +
             std::to_string(report.KeyResources) + (report.KeyResources == 1 ? " resource)" : " resources)"));
    for (const std::string& backup : report.KeptBackups)
        out.Line("kept the earlier backup " + backup + ": there was no current file to take its place");
    if (!report.LeftOut.empty()) {
        std::string line = "left out the build's own files found in " + sourceDir + ":";
        for (const std::string& name : report.LeftOut) line += " " + name;
        out.Line(line);
    }
}

} // namespace

int PackCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    if (args.size() != 3) return UsageError("pack takes SRCDIR, BIF and KEY", {kUsagePack});
    const std::string& sourceDir = args[0];
    const std::string& bifPath = args[1];
    const std::string& keyPath = args[2];
    auto names = SourceFiles(sourceDir);
    if (!names) return kExitFailure;
    if (!MakeTargetFolder(bifPath) || !MakeTargetFolder(keyPath)) return kExitFailure;

    JobGauge gauge("packing", !cmd.quiet);
    TBuildRequest request(WithSeparator(sourceDir), bifPath, keyPath, cmd.append);
    request.Files = std::move(*names);
    request.Progress = gauge.Progress();
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) request.SourceDateEpoch = epoch;
    request.Waiting = WaitNotice();
    const TBuildReport report = BuildArchive(request);
    gauge.Finish();
    for (const std::string& done : report.Recovered) Complain("note: " + done);
    if (!cmd.quiet) Summarize(report, sourceDir, bifPath, keyPath, out);
    return kExitOk;
}

} // namespace vellocar::cli
