// vellocar-cli: the archive operations without a window, for scripts, builds and benchmarks.
//
//   vellocar-cli [--quiet] list [--json] KEY               BIF names of KEY, in file-table order
//   vellocar-cli [--quiet] list [--json] KEY BIF           resource lines of BIF, in KEY order
//   vellocar-cli [--quiet] extract KEY BIF DIR [LINE...]   export all or the named resources
//   vellocar-cli [--quiet] pack [--append] SRCDIR BIF KEY  pack a folder into BIF, register in KEY
//   vellocar-cli [--quiet] verify KEY [BIF...]             check the KEY against its BIFs
//
// Exit status: 0 success, 1 failure (or a resource skipped / not found, or a problem that
// verify found), 2 wrong usage.

#include "ArchiveNames.h"
#include "BifFiles.h"
#include "Build.h"
#include "BuildGuard.h"
#include "ConsoleGauge.h"
#include "Errors.h"
#include "Export.h"
#include "KeyFiles.h"
#include "ListJson.h"
#include "Platform.h"
#include "Progress.h"
#include "TerminalText.h"
#include "Verify.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

using namespace vellocar;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kProgram = "vellocar-cli";
constexpr std::string_view kVersion = VELLOCAR_VERSION;

// Each form of the command: its synopsis, and what it does for --help.
struct Usage {
    std::string_view synopsis;
    std::string_view purpose;
};
constexpr Usage kUsageList{"vellocar-cli [--quiet] list [--json] KEY", "the KEY's BIF names, one per line"};
constexpr Usage kUsageListBif{"vellocar-cli [--quiet] list [--json] KEY BIF",
                              "the BIF's resources (name.ext), one per line"};
constexpr Usage kUsageExtract{"vellocar-cli [--quiet] extract KEY BIF DIR [LINE...]",
                              "export all resources of BIF, or the named ones, into DIR"};
constexpr Usage kUsagePack{"vellocar-cli [--quiet] pack [--append] SRCDIR BIF KEY",
                           "pack SRCDIR's plain files into BIF and register it in KEY"};
constexpr Usage kUsageVerify{"vellocar-cli [--quiet] verify KEY [BIF...]",
                             "check the KEY against its BIFs (all, or those named)"};
constexpr Usage kUsageInfo{"vellocar-cli --help | --version", "this text, or the version"};

// Standard output collects everything and is written once at the end: a listing of 20,000
// lines must not cost 20,000 writes. On a terminal each line is escaped (names from a KEY are
// bytes from a file); into a pipe or a file the lines go as they are, as ls does it, so that a
// script gets the exact names to pass back.
class Output {
public:
    explicit Output(bool escape) : escape_(escape) {}
    // A line that may quote names.
    void Line(std::string_view text) {
        if (escape_) {
            OwnLine(cli::Escaped(text));
        } else {
            OwnLine(text);
        }
    }
    // A line of the program's own text only (the help shows \xHH, which must stay as written).
    void OwnLine(std::string_view text) {
        buffer_.append(text);
        buffer_ += '\n';
    }
    // False when the text could not be written (a closed pipe, a full disk).
    bool Flush() {
        bool ok = true;
        if (!buffer_.empty()) ok = std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) == buffer_.size();
        buffer_.clear();
        return std::fflush(stdout) == 0 && ok;
    }

private:
    bool escape_;
    std::string buffer_;
};

// One line on stderr. Messages quote names from files and from the command line, so the whole
// line is escaped, wherever stderr goes: a log file is read on a terminal too.
void Complain(std::string_view message) {
    std::string line;
    line.append(kProgram).append(": ").append(cli::Escaped(message)) += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// A wrong command line: the problem, then how the command is used.
int UsageError(std::string_view message, std::initializer_list<Usage> usages) {
    Complain(message);
    std::string hint;
    for (const Usage& usage : usages) hint.append("usage: ").append(usage.synopsis) += '\n';
    hint.append("Try 'vellocar-cli --help' for more information.\n");
    std::fwrite(hint.data(), 1, hint.size(), stderr);
    return kExitUsage;
}

void PrintHelp(Output& out) {
    out.OwnLine("Packs, lists and exports Neverwinter Nights BIF/KEY archives.");
    out.OwnLine("");
    out.OwnLine("usage:");
    constexpr std::size_t kColumn = 58;
    for (const Usage& usage : {kUsageList, kUsageListBif, kUsageExtract, kUsagePack, kUsageVerify, kUsageInfo}) {
        std::string line = "  ";
        line.append(usage.synopsis);
        line.append(kColumn > line.size() ? kColumn - line.size() : 1, ' ');
        out.OwnLine(line.append(usage.purpose));
    }
    out.OwnLine("");
    out.OwnLine("BIF is a name as list shows it or as the KEY stores it (data\\2da.bif), or its index in");
    out.OwnLine("the KEY; a name that the KEY stores at several entries must be given by its index.");
    out.OwnLine("LINE is a resource as list shows it (name.ext). Without --append an existing KEY");
    out.OwnLine("is replaced; a replaced KEY or BIF is kept as <name>.bak.");
    out.OwnLine("--quiet leaves out the progress bar and the summary lines.");
    out.OwnLine("");
    out.OwnLine("list --json prints one JSON document instead: the KEY's path and build date and each");
    out.OwnLine("BIF (index, stored name, FileSize, resource count, the path it is looked for at and");
    out.OwnLine("whether it exists); with BIF, also each resource (line, name, type, extension, ResId,");
    out.OwnLine("index, and its offset and size when the BIF opens). Names are decoded as Windows-1252");
    out.OwnLine("in \"name\", with their exact bytes in hex in \"name_hex\".");
    out.OwnLine("");
    out.OwnLine("verify checks the signatures of the KEY and its BIFs, that each BIF is listed once,");
    out.OwnLine("is there, opens and has the size the KEY gives, that every KEY entry's resource");
    out.OwnLine("exists with the KEY's type, its own index in its ID and bytes inside the file that");
    out.OwnLine("overlap neither the tables nor another resource, that every resource is named once,");
    out.OwnLine("and that no name and type is listed twice in the whole KEY. One line per problem on");
    out.OwnLine("stderr; exit status 1 when there is any.");
    out.OwnLine("");
    out.OwnLine("On a terminal, bytes of names that a terminal could act on are shown as \\xHH (the");
    out.OwnLine("byte in hex): control bytes, DEL, C1 controls and bytes that are not valid UTF-8;");
    out.OwnLine("a backslash that would read as such an escape is shown as \\x5c. Error messages");
    out.OwnLine("are always escaped so. Output into a pipe or a file keeps the exact bytes.");
    out.OwnLine("");
    out.OwnLine("With SOURCE_DATE_EPOCH set (seconds since 1970, from 0 to 253402300799, the end of");
    out.OwnLine("9999-12-31), pack stamps the KEY with that UTC date instead of today's: the same folder");
    out.OwnLine("then packs to the same bytes every time.");
    out.OwnLine("");
    out.OwnLine("Exit status: 0 success, 1 failure, a resource skipped or a problem found, 2 wrong usage.");
}

// 301234567 -> "301,234,567".
std::string WithThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// A folder as the archive code takes it: with its trailing separator.
std::string WithSeparator(const std::string& folder) {
    return !folder.empty() && platform::IsPathSeparator(folder.back()) ? folder : folder + platform::kPathSeparator;
}

// The folder that a KEY's stored BIF names are relative to. A KEY given without a folder lies
// in the current one.
std::string KeyFolder(const std::string& keyPath) {
    std::string folder = platform::FolderPart(keyPath);
    return folder.empty() ? std::string(".") : folder;
}

// Every KEY a command reads comes through here: first whatever a build of it that was stopped
// half-way left is finished or undone, so that the KEY and its BIFs belong together again.
std::shared_ptr<TNWNKeyFile> LoadKey(const std::string& path) {
    const TRecoveryNote recovery = RecoverInterruptedBuild(path);
    if (!recovery.Text.empty()) Complain("note: " + recovery.Text);
    auto key = std::make_shared<TNWNKeyFile>();
    key->LoadFromFile(path);
    return key;
}

// "0 and 3", "0, 3 and 5".
std::string Enumerated(const std::vector<std::size_t>& indexes) {
    std::string text;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i > 0) text += i + 1 == indexes.size() ? " and " : ", ";
        text += std::to_string(indexes[i]);
    }
    return text;
}

// The BIF that the command line names: a stored name, else a decimal index into the file
// table. A name that the KEY stores at several entries is refused rather than resolved to one
// of them: the user cannot tell which would be used, and the index says it exactly. Complains
// and returns nothing when no single entry is named.
std::optional<std::size_t> ChooseBif(const TNWNKeyFile& key, const std::string& wanted, const std::string& keyPath) {
    // As stored, or as list shows it (on Linux a name beyond ASCII as UTF-8).
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        const std::string& stored = key.Filenames[i].Filename;
        if (stored == wanted || ShownName(stored) == wanted) named.push_back(i);
    }
    if (named.size() == 1) return named.front();
    if (named.size() > 1) {
        Complain("\"" + wanted + "\" is listed " + std::to_string(named.size()) + " times in \"" + keyPath +
                 "\" (entries " + Enumerated(named) + "); give the index instead");
        return std::nullopt;
    }

    bool isIndex = !wanted.empty() && wanted.size() <= 9;
    std::size_t index = 0;
    for (char c : wanted) {
        if (c < '0' || c > '9') isIndex = false;
        if (isIndex) index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    if (isIndex && index < key.Filenames.size()) return index;

    const std::size_t count = key.Filenames.size();
    Complain("no BIF \"" + wanted + "\" in \"" + keyPath + "\" (it names " + std::to_string(count) +
             (count == 1 ? " BIF" : " BIFs") + "; give a name as 'list' shows it, or an index from 0)");
    return std::nullopt;
}

int RunList(const std::string& keyPath, const std::optional<std::string>& bifName, bool asJson, Output& out) {
    const auto key = LoadKey(keyPath);
    if (asJson) {
        // A document for scripts: JSON's own escaping makes every control byte inert, and the
        // names are UTF-8 text, so nothing is escaped for a terminal.
        std::optional<std::size_t> index;
        if (bifName) {
            index = ChooseBif(*key, *bifName, keyPath);
            if (!index) return kExitFailure;
        }
        // Streamed to stdout as it is made: a listing of a million entries never waits in memory.
        cli::TJsonWriter json(
            [](std::string_view chunk) { return std::fwrite(chunk.data(), 1, chunk.size(), stdout) == chunk.size(); });
        if (index) {
            cli::WriteBifListing(json, key, keyPath, KeyFolder(keyPath), *index);
        } else {
            cli::WriteKeyListing(json, *key, keyPath, KeyFolder(keyPath));
        }
        if (!json.Finish()) throw EWriteError("cannot write the listing to standard output");
        return kExitOk;
    }
    if (!bifName) {
        for (const TNWNFilenameEntry& bif : key->Filenames) out.Line(ShownName(bif.Filename));
        return kExitOk;
    }
    const auto index = ChooseBif(*key, *bifName, keyPath);
    if (!index) return kExitFailure;
    // As the window lists them, and as extract takes them back.
    for (const TNWNKeyEntry& entry : key->Filenames[*index].Resources) out.Line(ShownName(ResourceLine(entry)));
    return kExitOk;
}

int RunExtract(const std::string& keyPath, const std::string& bifName, const std::string& dir,
               const std::vector<std::string>& wantedLines, bool quiet, Output& out) {
    const auto key = LoadKey(keyPath);
    const auto index = ChooseBif(*key, bifName, keyPath);
    if (!index) return kExitFailure;
    const TNWNFilenameEntry& chosen = key->Filenames[*index];
    const std::string bifPath = LocateBif(KeyFolder(keyPath), chosen.Filename).Path;

    const bool showProgress = !quiet && wantedLines.empty() && cli::IsTerminal(stderr);
    TStringResourceList lines;
    cli::TConsoleGauge consoleGauge(stderr, "extracting");
    TNullGauge nullGauge;
    TGauge& gauge = showProgress ? static_cast<TGauge&>(consoleGauge) : nullGauge;
    // The user named the entry, so the BIF is that one, not the first name that its path holds.
    TNWNBifFile bif(lines, gauge);
    bif.Open(bifPath, key, static_cast<std::int32_t>(*index));

    // Each LINE selects every line equal to it. A script may name thousands of them, so the
    // lines are looked up, not scanned once per LINE.
    int status = kExitOk;
    int selected = 0;
    if (!wantedLines.empty()) {
        std::unordered_map<std::string, std::vector<int>> positions;
        for (int i = 0; i < lines.Count(); ++i) positions[lines.Line(i)].push_back(i);
        for (const std::string& wanted : wantedLines) {
            const auto found = positions.find(wanted);
            if (found == positions.end()) {
                Complain("no resource \"" + wanted + "\" in " + chosen.Filename);
                status = kExitFailure;
                continue;
            }
            for (int i : found->second) {
                if (!lines.Selected(i)) ++selected;
                lines.SetSelected(i, true);
            }
        }
    }
    if (!wantedLines.empty() && selected == 0) {
        Complain("nothing to extract; \"" + dir + "\" left untouched");
        return kExitFailure;
    }

    platform::CreateDirectories(dir);
    const std::string target = WithSeparator(dir);
    const TExportReport report =
        ExportResources(bif, target, wantedLines.empty() ? TExportScope::All : TExportScope::Selected, lines, gauge);
    consoleGauge.Finish();

    for (const TSkippedResource& skipped : report.Skipped) {
        Complain("skipped " + skipped.Name + ": " + skipped.Reason);
        status = kExitFailure;
    }
    if (!quiet) {
        std::string summary = "extracted " + std::to_string(report.Written) +
            (report.Written == 1 ? " resource" : " resources") + " from " + chosen.Filename + " into " + dir;
        if (!report.Skipped.empty()) summary += " (" + std::to_string(report.Skipped.size()) + " skipped)";
        out.Line(summary);
    }
    return status;
}

int RunPack(const std::string& sourceDir, const std::string& bifPath, const std::string& keyPath, bool append,
            bool quiet, Output& out) {
    const auto source = platform::Stat(sourceDir);
    if (!source) {
        Complain("source folder \"" + sourceDir + "\" does not exist; nothing written");
        return kExitFailure;
    }
    if (!source->IsDirectory) {
        Complain("\"" + sourceDir + "\" is not a folder; nothing written");
        return kExitFailure;
    }
    const std::vector<std::string> names = platform::ListPlainFiles(sourceDir);
    if (names.empty()) {
        Complain("source folder \"" + sourceDir + "\" holds no plain files to pack; nothing written");
        return kExitFailure;
    }

    TStringResourceList list;
    for (const std::string& name : names) list.Add(name);

    const bool showProgress = !quiet && cli::IsTerminal(stderr);
    cli::TConsoleGauge consoleGauge(stderr, "packing");
    TNullGauge nullGauge;
    TBuildRequest request(WithSeparator(sourceDir), bifPath, keyPath, append);
    // Said once, not ten times a second; a script that waits should know why.
    request.Waiting = [shown = std::string()](const std::string& message) mutable {
        if (!message.empty() && message != shown) Complain(message);
        shown = message;
    };
    const TBuildReport report =
        BuildArchive(request, list, showProgress ? static_cast<TGauge&>(consoleGauge) : nullGauge);
    consoleGauge.Finish();
    for (const std::string& done : report.Recovered) Complain("note: " + done);
    if (quiet) return kExitOk;

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
    return kExitOk;
}

int RunVerify(const std::string& keyPath, const std::vector<std::string>& bifNames, bool quiet, Output& out) {
    const auto key = LoadKey(keyPath);
    std::vector<std::size_t> indexes;
    for (const std::string& name : bifNames) {
        const auto index = ChooseBif(*key, name, keyPath);
        if (!index) return kExitFailure;
        indexes.push_back(*index);
    }
    if (bifNames.empty()) {
        for (std::size_t i = 0; i < key->Filenames.size(); ++i) indexes.push_back(i);
    }

    const TVerifyReport report = VerifyArchive(*key, keyPath, indexes);
    for (const std::string& problem : report.KeyProblems) Complain(keyPath + ": " + problem);
    for (const TVerifyProblem& problem : report.Problems) {
        std::string line = ShownName(key->Filenames[problem.Bif].Filename) + ": ";
        if (!problem.Resource.empty()) line += problem.Resource + ": ";
        Complain(line + problem.Message);
    }
    if (!quiet) {
        const std::size_t problems = report.KeyProblems.size() + report.Problems.size();
        out.OwnLine("verified " + WithThousands(report.Bifs) + (report.Bifs == 1 ? " BIF, " : " BIFs, ") +
                    WithThousands(report.Resources) + (report.Resources == 1 ? " resource: " : " resources: ") +
                    (problems == 0 ? std::string("no problems")
                                   : WithThousands(problems) + (problems == 1 ? " problem" : " problems")));
    }
    return report.KeyProblems.empty() && report.Problems.empty() ? kExitOk : kExitFailure;
}

struct CommandLine {
    bool quiet = false;
    bool json = false;
    bool append = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> operands; // the verb first
};

int Run(int argc, char** argv, Output& out) {
    CommandLine cmd;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            cmd.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--quiet" || arg == "-q") {
            cmd.quiet = true;
        } else if (arg == "--json") {
            cmd.json = true;
        } else if (arg == "--help" || arg == "-h") {
            cmd.help = true;
        } else if (arg == "--version") {
            cmd.version = true;
        } else if (arg == "--append") {
            if (cmd.operands.empty() || cmd.operands[0] != "pack") {
                return UsageError("--append belongs to pack", {kUsagePack});
            }
            cmd.append = true;
        } else {
            return UsageError("unknown option '" + arg + "'", {kUsageInfo});
        }
    }

    if (cmd.help) {
        PrintHelp(out);
        return kExitOk;
    }
    if (cmd.version) {
        out.OwnLine(std::string(kProgram).append(" ").append(kVersion));
        return kExitOk;
    }
    if (cmd.operands.empty()) {
        return UsageError("no command given", {kUsageList, kUsageListBif, kUsageExtract, kUsagePack, kUsageVerify});
    }

    const std::string& verb = cmd.operands[0];
    const std::vector<std::string> args(cmd.operands.begin() + 1, cmd.operands.end());
    // Like --quiet, --json may stand anywhere before "--"; it belongs to list alone.
    if (cmd.json && verb != "list") return UsageError("--json belongs to list", {kUsageList, kUsageListBif});
    if (verb == "list") {
        if (args.empty() || args.size() > 2) {
            return UsageError("list takes KEY and, optionally, BIF", {kUsageList, kUsageListBif});
        }
        return RunList(args[0], args.size() == 2 ? std::optional(args[1]) : std::nullopt, cmd.json, out);
    }
    if (verb == "extract") {
        if (args.size() < 3) return UsageError("extract takes KEY, BIF and DIR", {kUsageExtract});
        // An empty DIR would become the bare separator: the root of the file system.
        if (args[2].empty()) return UsageError("DIR must not be empty", {kUsageExtract});
        const std::vector<std::string> lines(args.begin() + 3, args.end());
        return RunExtract(args[0], args[1], args[2], lines, cmd.quiet, out);
    }
    if (verb == "pack") {
        if (args.size() != 3) return UsageError("pack takes SRCDIR, BIF and KEY", {kUsagePack});
        return RunPack(args[0], args[1], args[2], cmd.append, cmd.quiet, out);
    }
    if (verb == "verify") {
        if (args.empty()) return UsageError("verify takes KEY and, optionally, BIFs", {kUsageVerify});
        return RunVerify(args[0], std::vector<std::string>(args.begin() + 1, args.end()), cmd.quiet, out);
    }
    return UsageError("unknown command '" + verb + "'",
                      {kUsageList, kUsageListBif, kUsageExtract, kUsagePack, kUsageVerify});
}

} // namespace

int main(int argc, char** argv) {
    Output out(cli::IsTerminal(stdout));
    int status = kExitFailure;
    try {
        status = Run(argc, argv, out);
    } catch (const std::bad_alloc&) {
        Complain("out of memory");
        status = kExitFailure;
    } catch (const std::exception& error) {
        Complain(error.what());
        status = kExitFailure;
    }
    // What was printed before a failure still goes out; a listing that cannot be written is
    // itself a failure, never a silent success.
    if (!out.Flush()) {
        Complain("cannot write to standard output");
        if (status == kExitOk) status = kExitFailure;
    }
    return status;
}
