// pack: a folder's plain files into a new BIF, registered in a new KEY or (--append) in an
// existing one; or into an archive of the ERF family (a HAK, a MOD, ...), new or added to.

#include "base/Text.h"
#include "Commands.h"
#include "operations/Build.h"
#include "operations/ErfBuild.h"
#include "Output.h"
#include "platform/Platform.h"
#include "platform/SafeFolders.h"
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

// The backups a build kept and the files of its own it left out, a line each.
void SummarizeKeptAndLeftOut(const std::vector<std::string>& keptBackups, const std::vector<std::string>& leftOut,
                             const std::string& sourceDir, Output& out) {
    for (const std::string& backup : keptBackups)
        out.Line("kept the earlier backup " + backup + ": there was no current file to take its place");
    if (!leftOut.empty()) {
        std::string line = "left out the build's own files found in " + sourceDir + ":";
        for (const std::string& name : leftOut) line += " " + name;
        out.Line(line);
    }
}

// What the build did: its summary line, then the backups it kept and the files it left out.
void Summarize(const TBuildReport& report, const std::string& sourceDir, const std::string& bifPath,
               const std::string& keyPath, Output& out) {
    out.Line("packed " + std::to_string(report.Files) + (report.Files == 1 ? " file (" : " files (") +
             WithThousands(report.ContentBytes) + " bytes) into " + bifPath + "; registered as " + report.EntryName +
             " in " + keyPath + " (" + std::to_string(report.KeyBifs) + (report.KeyBifs == 1 ? " BIF, " : " BIFs, ") +
             std::to_string(report.KeyResources) + (report.KeyResources == 1 ? " resource)" : " resources)"));
    SummarizeKeptAndLeftOut(report.KeptBackups, report.LeftOut, sourceDir, out);
}

// The archive type that --type names ("hak", any letter case), or the target's name calls for.
std::optional<TFourCC> ArchiveType(const CommandLine& cmd, const std::string& path) {
    if (!cmd.archiveType) return ErfTypeForName(path);
    return ErfTypeForName("." + *cmd.archiveType);
}

int PackErf(const CommandLine& cmd, const std::string& sourceDir, const std::string& path, Output& out) {
    const auto type = ArchiveType(cmd, path);
    if (!type) {
        return UsageError(cmd.archiveType
                              ? "--type " + Quoted(*cmd.archiveType) + " is none of hak, mod, erf, nwm and sav"
                              : "pack with one target writes a HAK, MOD, ERF, NWM or SAV, and " + Quoted(path) +
                                  " ends in none of their extensions (--type KIND "
                                  "names the kind)",
                          {kUsagePack, kUsagePackErf});
    }
    auto names = SourceFiles(sourceDir);
    if (!names) return kExitFailure;
    if (!MakeTargetFolder(path)) return kExitFailure;

    JobGauge gauge("packing", !cmd.quiet);
    TErfBuildRequest request;
    request.SourceDir = WithSeparator(sourceDir);
    request.Files = std::move(*names);
    request.Path = path;
    request.FileType = *type;
    request.Description = cmd.description;
    request.Append = cmd.append;
    request.Progress = gauge.Progress();
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) request.SourceDateEpoch = epoch;
    request.Waiting = WaitNotice();
    const TErfBuildReport report = BuildErfArchive(request);
    gauge.Finish();
    for (const std::string& done : report.Recovered) Complain("note: " + done);
    if (cmd.quiet) return kExitOk;
    out.Line("packed " + std::to_string(report.Files) + (report.Files == 1 ? " file (" : " files (") +
             WithThousands(report.ContentBytes) + " bytes) into the " + report.Kind + " " + path + " (" +
             std::to_string(report.Resources) + (report.Resources == 1 ? " resource, " : " resources, ") +
             WithThousands(report.Size) + " bytes)");
    if (!report.Replaced.empty()) out.Line("replaced " + Enumeration(report.Replaced, 20));
    if (report.Kept > 0) out.Line("kept " + std::to_string(report.Kept) + " resources of the " + report.Kind);
    SummarizeKeptAndLeftOut(report.KeptBackups, report.LeftOut, sourceDir, out);
    return kExitOk;
}

} // namespace

int PackCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    if (args.size() == 2 || cmd.archiveType || cmd.description) {
        if (args.size() != 2)
            return UsageError("pack with --type or --description takes SRCDIR and HAK", {kUsagePackErf});
        return PackErf(cmd, args[0], args[1], out);
    }
    if (args.size() != 3)
        return UsageError("pack takes SRCDIR, BIF and KEY, or SRCDIR and HAK", {kUsagePack, kUsagePackErf});
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
