// extract: the resources of one BIF (all, the LINEs named, or those --match keeps) into a
// folder; with --all, every BIF of the KEYs, each into a folder of its own or all into one. With
// --png, textures as PNG pictures. An archive of the ERF family (a HAK) is one container as a BIF
// is: all, the LINEs named or those --match keeps, into a folder. Over the game's layers (KEYs,
// ovr, override, a module's HAKs, development, added folders), the copy the game loads of each
// resource that matches, all into one folder.

#include "Commands.h"
#include "formats/BifFiles.h"
#include "KeyArguments.h"
#include "names/NamePattern.h"
#include "operations/Containers.h"
#include "operations/Export.h"
#include "operations/ExportBifs.h"
#include "operations/ExportLayers.h"
#include "operations/ResourceLayers.h"
#include "Output.h"
#include "platform/Platform.h"
#include "Usage.h"

#include <cstddef>
#include <set>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace vellocar::cli {

namespace {

// The positions of the lines equal to one of wanted, complaining about each LINE that names
// none; and whether every LINE named one.
std::pair<std::vector<std::size_t>, bool> SelectLines(const std::vector<std::string>& lines,
                                                      const std::vector<std::string>& wanted,
                                                      const std::string& bifName) {
    // A script may name thousands of lines, so they are looked up, not scanned once per LINE.
    std::unordered_map<std::string, std::vector<std::size_t>> positions;
    for (std::size_t i = 0; i < lines.size(); ++i) positions[lines[i]].push_back(i);
    std::vector<bool> selected(lines.size(), false);
    bool allFound = true;
    for (const std::string& line : wanted) {
        const auto found = positions.find(line);
        if (found == positions.end()) {
            Complain("no resource " + Quoted(line) + " in " + bifName);
            allFound = false;
            continue;
        }
        for (std::size_t i : found->second) selected[i] = true;
    }
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; i < selected.size(); ++i)
        if (selected[i]) chosen.push_back(i);
    return {std::move(chosen), allFound};
}

// The summary's count of resources (written as count gives it), and of the textures among them
// written as PNG and the GFF resources written as JSON.
std::string Extracted(std::size_t written, const std::string& count, std::size_t pngs, std::size_t jsons = 0) {
    std::string text = "extracted " + count + (written == 1 ? " resource" : " resources");
    if (pngs > 0) text += " (" + WithThousands(pngs) + (pngs == 1 ? " texture" : " textures") + " as PNG)";
    if (jsons > 0)
        text += " (" + WithThousands(jsons) + (jsons == 1 ? " GFF resource" : " GFF resources") + " as JSON)";
    return text;
}

// What to say of overlapping resources on stderr, and after the summary of an export that
// stopped at a BIF's size.
void ReportOverlaps(const std::string& bif, const std::vector<TSkippedResource>& overlapping) {
    for (const TSkippedResource& overlap : overlapping)
        Complain("note: " + bif + ": " + overlap.Name + ": " + overlap.Reason);
}
constexpr char kStoppedNote[] =
    "; stopped at the BIF's size, since its resources share their bytes (--allow-overlaps writes them all)";

// The resources of one container (all, or the wanted lines) into dir, with the summary.
int ExtractContainer(const TResourceContainer& container, const std::string& dir,
                     const std::vector<std::string>& wantedLines, const CommandLine& cmd, Output& out) {
    const bool quiet = cmd.quiet, allowOverlaps = cmd.allowOverlaps;
    JobGauge gauge("extracting", !quiet && wantedLines.empty());
    TExportRequest request(WithSeparator(dir));
    request.TexturesAsPng = cmd.png;
    request.GffAsJson = cmd.json;
    request.Progress = gauge.Progress();
    request.AllowOverlaps = [allowOverlaps](std::uint64_t, std::uint64_t) { return allowOverlaps; };

    // Each LINE selects every line equal to it, as list shows them.
    int status = kExitOk;
    if (!wantedLines.empty()) {
        auto [selected, allFound] = SelectLines(ContainerLines(container), wantedLines, container.Label);
        if (!allFound) status = kExitFailure;
        if (selected.empty()) {
            Complain("nothing to extract; " + Quoted(dir) + " left untouched");
            return kExitFailure;
        }
        request.Chosen = std::move(selected);
    }

    platform::CreateDirectories(dir);
    const TExportReport report = ExportContainer(container, request);
    gauge.Finish();

    ReportOverlaps(container.Label, report.Overlapping);
    for (const TSkippedResource& kept : report.AsBytes)
        Complain("note: " + container.Label + ": " + kept.Name + ": " + kept.Reason);
    for (const TSkippedResource& skipped : report.Skipped) {
        Complain("skipped " + skipped.Name + ": " + skipped.Reason);
        status = kExitFailure;
    }
    if (!quiet) {
        std::string summary = Extracted(report.Written, std::to_string(report.Written), report.Pngs, report.Jsons) +
            " from " + container.Label + " into " + dir;
        if (!report.Skipped.empty()) summary += " (" + std::to_string(report.Skipped.size()) + " skipped)";
        if (report.Stopped) summary += kStoppedNote;
        out.Line(summary);
    }
    return status;
}

int ExtractBif(const std::string& keyPath, const std::string& bifName, const std::string& dir,
               const std::vector<std::string>& wantedLines, const CommandLine& cmd, Output& out) {
    const auto key = LoadKey(keyPath);
    const auto index = ChooseBif(*key, bifName, keyPath);
    if (!index) return kExitFailure;
    const TNWNFilenameEntry& chosen = key->Filenames[*index];
    const std::string bifPath = LocateBif(platform::FolderOf(keyPath), chosen.Filename).Path;
    // The user named the entry, so the BIF is that one, not the first name that its path holds.
    TOpenedBif bif = OpenBif(bifPath, key.get(), static_cast<std::int32_t>(*index));
    return ExtractContainer(BifContainer(key, std::move(bif), chosen.Filename), dir, wantedLines, cmd, out);
}

// An archive of the ERF family: args are HAK, DIR and LINEs (with --all, HAK and DIR).
int ExtractErf(const CommandLine& cmd, const Operands& args, Output& out) {
    if (args.size() < 2 || (cmd.all && args.size() != 2))
        return UsageError("extract takes HAK, DIR and, optionally, LINEs", {kUsageErfExtract});
    if (args[1].empty()) return UsageError("DIR must not be empty", {kUsageErfExtract});
    std::vector<std::string> lines(args.begin() + 2, args.end());
    if (!lines.empty() && !cmd.patterns.empty())
        return UsageError("give either LINEs or --match, not both", {kUsageErfExtract});
    const TResourceContainer erf = ErfContainer(args[0]);
    if (!cmd.patterns.empty()) {
        // The lines whose names match, each named as a LINE would name it.
        const TNamePatterns patterns(cmd.patterns, platform::kHostSpelling);
        for (const TNWNKeyEntry& entry : erf.Entries())
            if (patterns.Matches(ResourceLine(entry))) lines.push_back(platform::ShownName(ResourceLine(entry)));
        if (lines.empty()) {
            Complain("no resource matches; " + Quoted(args[1]) + " left untouched");
            return kExitFailure;
        }
    }
    return ExtractContainer(erf, args[1], lines, cmd, out);
}

// Several BIFs, or one filtered by --match: into DIR/<BIF name>/ each, or all into DIR (flat).
int ExtractBifs(const std::vector<TGameKey>& keys, std::vector<TBifRef> bifs, const std::string& dir, bool flat,
                const CommandLine& cmd, Output& out) {
    const bool quiet = cmd.quiet;
    const std::vector<std::string>& patterns = cmd.patterns;
    JobGauge gauge("extracting", !quiet);
    const bool allow = cmd.allowOverlaps;
    const TExportBifsReport report = ExportBifs(
        keys,
        {std::move(bifs), WithSeparator(dir), flat, patterns, cmd.png, [allow](auto, auto) { return allow; }, cmd.json},
        gauge.Progress());
    gauge.Finish();

    for (const TBifSkip& overlap : report.Overlapping)
        Complain("note: " + BifLabel(keys, overlap.Bif.Key, overlap.Bif.Bif) + ": " + overlap.Name + ": " +
                 overlap.Reason);
    for (const TBifSkip& kept : report.AsBytes)
        Complain("note: " + BifLabel(keys, kept.Bif.Key, kept.Bif.Bif) + ": " + kept.Name + ": " + kept.Reason);
    for (const TBifSkip& skipped : report.Skipped) {
        const std::string bif = BifLabel(keys, skipped.Bif.Key, skipped.Bif.Bif);
        Complain(skipped.Name.empty() ? bif + ": not exported: " + skipped.Reason
                                      : bif + ": skipped " + skipped.Name + ": " + skipped.Reason);
    }
    if (report.Written == 0 && report.Skipped.empty()) {
        Complain((patterns.empty() ? "nothing to extract; " : "no resource matches; ") + Quoted(dir) +
                 " left untouched");
        return kExitFailure;
    }
    if (!quiet) {
        std::string summary = Extracted(report.Written, WithThousands(report.Written), report.Pngs, report.Jsons) +
            " from " + WithThousands(report.Bifs) + (report.Bifs == 1 ? " BIF" : " BIFs") + " into " + dir;
        if (!report.Skipped.empty()) summary += " (" + WithThousands(report.Skipped.size()) + " skipped)";
        if (report.Shadowed > 0)
            summary += "; " + WithThousands(report.Shadowed) + " left out for a later KEY's resource of the same name";
        if (report.Stopped > 0)
            summary += "; " + WithThousands(report.Stopped) + (report.Stopped == 1 ? " BIF" : " BIFs") +
                " stopped at its size, since its resources share their bytes (--allow-overlaps writes them all)";
        out.Line(summary);
    }
    return report.Skipped.empty() ? kExitOk : kExitFailure;
}

// Every BIF of keys, KEY by KEY.
std::vector<TBifRef> AllBifs(const std::vector<TGameKey>& keys) {
    std::vector<TBifRef> bifs;
    for (std::size_t k = 0; k < keys.size(); ++k)
        for (std::size_t b = 0; b < keys[k].Key->Filenames.size(); ++b) bifs.push_back({k, b});
    return bifs;
}

// The KEY operands before position keyArgs (none for --game).
std::vector<std::string> KeyOperands(const Operands& args, std::size_t keyArgs) {
    return {args.begin(), args.begin() + static_cast<std::ptrdiff_t>(keyArgs)};
}

int ExtractAll(const CommandLine& cmd, const Operands& args, std::size_t keyArgs, Output& out) {
    if (args.size() != keyArgs + 1)
        return UsageError(cmd.game ? "extract --game --all takes DIR" : "extract --all takes KEY and DIR",
                          {kUsageExtractAll});
    if (args[keyArgs].empty()) return UsageError("DIR must not be empty", {kUsageExtractAll});
    const std::vector<TGameKey> keys = CommandKeys(cmd, KeyOperands(args, keyArgs));
    return ExtractBifs(keys, AllBifs(keys), args[keyArgs], cmd.flat, cmd, out);
}

// The copy the game loads of each resource of the layers that matches one of patterns (every
// resource when none), each once, in the order of the patterns and then of the names.
std::vector<TResourceHit> LoadedHits(const TResourceSet& set, const std::vector<std::string>& patterns) {
    std::vector<TResourceHit> hits;
    std::set<std::tuple<TSourceKind, std::size_t, std::size_t, std::size_t>> taken;
    for (const std::string& pattern : patterns.empty() ? std::vector<std::string>{"*"} : patterns)
        for (const TResourceHit& hit : FindResources(set, pattern))
            if (hit.Loaded && taken.insert({hit.Kind, hit.Source, hit.Bif, hit.Line}).second) hits.push_back(hit);
    return hits;
}

// Over the game's layers: DIR and PATTERNs (also --match), the copy the game loads of each
// matching resource, all flat into DIR.
int ExtractLayers(const CommandLine& cmd, const Operands& args, Output& out) {
    if (cmd.all || args.empty())
        return UsageError(cmd.all ? "extract --all takes a KEY, not layers" : "extract over layers takes DIR",
                          {kUsageExtractLayers});
    const std::string& dir = args[0];
    if (dir.empty()) return UsageError("DIR must not be empty", {kUsageExtractLayers});
    std::vector<std::string> patterns(args.begin() + 1, args.end());
    patterns.insert(patterns.end(), cmd.patterns.begin(), cmd.patterns.end());

    const TResourceSet set = CommandSources(cmd, {});
    int status = ReportProblems(set) ? kExitFailure : kExitOk;
    const std::vector<TResourceHit> hits = LoadedHits(set, patterns);
    if (hits.empty()) {
        Complain((patterns.empty() ? "nothing to extract; " : "no resource matches; ") + Quoted(dir) +
                 " left untouched");
        return kExitFailure;
    }
    std::set<std::pair<TSourceKind, std::size_t>> layers;
    for (const TResourceHit& hit : hits) layers.insert({hit.Kind, hit.Source});

    JobGauge gauge("extracting", !cmd.quiet);
    TLayerExportRequest request;
    request.Target = WithSeparator(dir);
    request.TexturesAsPng = cmd.png;
    request.GffAsJson = cmd.json;
    const bool allow = cmd.allowOverlaps;
    request.AllowOverlaps = [allow](std::uint64_t, std::uint64_t) { return allow; };
    const TLayerExportReport report = ExportHits(set, hits, request, gauge.Progress());
    gauge.Finish();

    for (const TSkippedResource& overlap : report.Overlapping) Complain("note: " + overlap.Name + " " + overlap.Reason);
    for (const TSkippedResource& kept : report.AsBytes) Complain("note: " + kept.Name + " " + kept.Reason);
    for (const TSkippedResource& skipped : report.Skipped) Complain("skipped " + skipped.Name + " " + skipped.Reason);
    if (!report.Skipped.empty()) status = kExitFailure;
    if (!cmd.quiet) {
        std::string summary = Extracted(report.Written, WithThousands(report.Written), report.Pngs, report.Jsons) +
            " from " + WithThousands(layers.size()) + (layers.size() == 1 ? " layer" : " layers") + " into " + dir;
        if (!report.Skipped.empty()) summary += " (" + WithThousands(report.Skipped.size()) + " skipped)";
        out.Line(summary);
    }
    return status;
}

} // namespace

int ExtractCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    // extract --game BIF DIR keeps its meaning: the game's layers alone take DIR only.
    if (HasLayerOptions(cmd) || (cmd.game && !cmd.all && args.size() == 1)) return ExtractLayers(cmd, args, out);
    if (FirstIsErf(cmd, args)) return ExtractErf(cmd, args, out);
    const std::size_t keyArgs = cmd.game ? 0 : 1;
    if (cmd.all) return ExtractAll(cmd, args, keyArgs, out);
    if (args.size() < keyArgs + 2) return UsageError("extract takes KEY, BIF and DIR", {kUsageExtract});
    // An empty DIR would become the bare separator: the root of the file system.
    if (args[keyArgs + 1].empty()) return UsageError("DIR must not be empty", {kUsageExtract});
    const std::vector<std::string> lines(args.begin() + static_cast<std::ptrdiff_t>(keyArgs) + 2, args.end());
    if (!lines.empty() && !cmd.patterns.empty())
        return UsageError("give either LINEs or --match, not both", {kUsageExtract, kUsageExtractAll});
    if (!cmd.game && cmd.patterns.empty()) return ExtractBif(args[0], args[1], args[2], lines, cmd, out);
    const std::vector<TGameKey> keys = CommandKeys(cmd, KeyOperands(args, keyArgs));
    const auto ref = ChooseBifIn(keys, args[keyArgs]);
    if (!ref) return kExitFailure;
    if (cmd.patterns.empty())
        return ExtractBif(keys[ref->Key].Path, std::to_string(ref->Bif), args[keyArgs + 1], lines, cmd, out);
    // One BIF with a filter: its matching resources straight into DIR.
    return ExtractBifs(keys, {*ref}, args[keyArgs + 1], true, cmd, out);
}

} // namespace vellocar::cli
