// vellocar-cli: the archive operations without a window, for scripts, builds and benchmarks.
//
//   vellocar-cli [--quiet] list [--json] KEY               BIF names of KEY, in file-table order
//   vellocar-cli [--quiet] list [--json] KEY BIF           resource lines of BIF, in KEY order
//   vellocar-cli [--quiet] extract KEY BIF DIR [LINE...]   export all or the named resources
//   vellocar-cli [--quiet] pack [--append] SRCDIR BIF KEY  pack a folder into BIF, register in KEY
//   vellocar-cli [--quiet] verify KEY [BIF...]             check the KEY against its BIFs
//   vellocar-cli [--quiet] extract KEY --all DIR           every BIF of the KEY (--flat, --match)
//   vellocar-cli [--quiet] find [--json] PATTERN KEY...    the resources whose names match
//   vellocar-cli [--quiet] find --shadowed KEY...          what later KEYs shadow in each KEY
//   vellocar-cli cat KEY NAME.EXT [KEY...]                 the bytes the game loads, on stdout
// --game stands for the KEY arguments: the game's own KEYs, in the game's order.
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
#include "ExportBifs.h"
#include "GameInstall.h"
#include "GameKeys.h"
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
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

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
constexpr Usage kUsageExtractAll{"vellocar-cli [--quiet] extract KEY --all DIR [--flat] [--match PATTERN...]",
                                 "export every BIF of KEY into DIR/<BIF name>/, or all into DIR"};
constexpr Usage kUsageFind{"vellocar-cli [--quiet] find [--json] PATTERN KEY...",
                           "the resources whose name.ext matches, and which one the game loads"};
constexpr Usage kUsageShadowed{"vellocar-cli [--quiet] find --shadowed [--json] KEY...",
                               "how many resources and bytes of each KEY later KEYs shadow"};
constexpr Usage kUsageCat{"vellocar-cli cat [--force] KEY NAME.EXT [KEY...]",
                          "the bytes of the resource that the game loads, on stdout"};
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
    // A line of tab-separated fields that may quote names: on a terminal each field is escaped
    // and the tabs between them stay tabs.
    void Fields(std::initializer_list<std::string> fields) {
        std::string line;
        for (const std::string& field : fields) {
            if (&field != fields.begin()) line += '\t';
            line += escape_ ? cli::Escaped(field) : field;
        }
        OwnLine(line);
    }
    // A line of the program's own text only (the help shows \xHH, which must stay as written).
    void OwnLine(std::string_view text) {
        buffer_.append(text);
        buffer_ += '\n';
        // A long listing goes out in pieces, so that its memory stays flat however many
        // lines it has.
        if (buffer_.size() >= kFlushAt) Write();
    }
    // False when the text could not be written (a closed pipe, a full disk).
    bool Flush() {
        Write();
        return std::fflush(stdout) == 0 && ok_;
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    void Write() {
        if (!buffer_.empty()) ok_ = std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) == buffer_.size() && ok_;
        buffer_.clear();
    }
    bool escape_;
    bool ok_ = true;
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
    for (const Usage& usage : {kUsageList, kUsageListBif, kUsageExtract, kUsageExtractAll, kUsagePack, kUsageVerify,
                               kUsageFind, kUsageShadowed, kUsageCat, kUsageInfo}) {
        std::string line = "  ";
        line.append(usage.synopsis);
        // A synopsis too long for the column gets its purpose on a line of its own.
        if (line.size() >= kColumn) {
            out.OwnLine(line);
            line.assign(kColumn, ' ');
        } else {
            line.append(kColumn - line.size(), ' ');
        }
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
    out.OwnLine("--game stands for the KEY arguments of list, extract, verify, find and cat: the KEYs of");
    out.OwnLine("the game folder the window finds (the registry, on Linux the Wine prefix's; NWN_ROOT,");
    out.OwnLine("Steam, Beamdog's client, GOG), in the order the game reads them: data/nwn_base.key,");
    out.OwnLine("nwn_base_loc.key, nwn_retail.key, nwn_retail_loc.key (each from lang/<xx>/data first;");
    out.OwnLine("--lang xx, default en), or chitin.key, patch.key, xp1.key ... xp3patch.key of the");
    out.OwnLine("classic game. The folder is named on stderr unless --quiet. A resource in a later KEY");
    out.OwnLine("replaces the same name and type in an earlier one; a BIF is then named as stored.");
    out.OwnLine("");
    out.OwnLine("extract --all writes each BIF into DIR/<BIF name>/ (--flat: all into DIR, and with");
    out.OwnLine("several KEYs only the resource the game loads); --match PATTERN (repeatable: *, ?,");
    out.OwnLine("[...], letter case ignored) keeps the resources whose name.ext matches, also with one");
    out.OwnLine("BIF. A missing BIF is reported and the others exported.");
    out.OwnLine("find prints name.ext, KEY, BIF, line index in the BIF's list, size, and 'loaded' for");
    out.OwnLine("the entry the game loads or 'shadowed' for those it replaces, tab-separated; --json");
    out.OwnLine("one document. find --shadowed counts each KEY's resources that later KEYs replace.");
    out.OwnLine("cat writes the exact bytes of the resource the game loads; on a terminal only text,");
    out.OwnLine("unless --force.");
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
    out.OwnLine("Exit status: 0 success, 1 failure, a resource skipped or not found, a BIF missing or a");
    out.OwnLine("problem found, 2 wrong usage.");
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

int RunVerify(const std::string& keyPath, const std::vector<std::string>& bifNames, bool quiet, Output& out,
              const std::string& label = {}) {
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
        out.Line(label + "verified " + WithThousands(report.Bifs) + (report.Bifs == 1 ? " BIF, " : " BIFs, ") +
                 WithThousands(report.Resources) + (report.Resources == 1 ? " resource: " : " resources: ") +
                 (problems == 0 ? std::string("no problems")
                                : WithThousands(problems) + (problems == 1 ? " problem" : " problems")));
    }
    return report.KeyProblems.empty() && report.Problems.empty() ? kExitOk : kExitFailure;
}

// ---- Several KEYs: the game's, or those given -------------------------------------------------

// The KEYs a command works on, in the order given (the game's order for --game), each read
// through LoadKey.
std::vector<TGameKey> LoadKeys(const std::vector<std::string>& paths) {
    std::vector<TGameKey> keys;
    for (const std::string& path : paths) keys.push_back({path, LoadKey(path)});
    return keys;
}

// How a problem of one BIF names it: its stored name, after its KEY's file name when the
// command reads several KEYs (two KEYs may store one name).
std::string BifLabel(const std::vector<TGameKey>& keys, std::size_t key, std::size_t bif) {
    std::string label = keys.size() > 1 ? platform::FileNamePart(keys[key].Path) + ": " : std::string();
    return label + keys[key].Key->Filenames[bif].Filename;
}

// The BIF that the command line names, looked for in each KEY: a stored name (or an index when
// there is one KEY). Complains and returns nothing unless exactly one KEY names it.
std::optional<TBifRef> ChooseBifIn(const std::vector<TGameKey>& keys, const std::string& wanted) {
    if (keys.size() == 1) {
        const auto index = ChooseBif(*keys[0].Key, wanted, keys[0].Path);
        if (!index) return std::nullopt;
        return TBifRef{0, *index};
    }
    std::vector<TBifRef> named;
    for (std::size_t k = 0; k < keys.size(); ++k)
        for (std::size_t b = 0; b < keys[k].Key->Filenames.size(); ++b)
            if (keys[k].Key->Filenames[b].Filename == wanted) named.push_back({k, b});
    if (named.size() == 1) return named.front();
    if (named.empty()) {
        Complain("no KEY of the game names a BIF \"" + wanted + "\"; give a name as 'list --game' shows it");
    } else {
        Complain("\"" + wanted + "\" is named by " + std::to_string(named.size()) +
                 " of the game's KEYs; give the KEY and the BIF instead");
    }
    return std::nullopt;
}

int RunExtractBifs(const std::vector<TGameKey>& keys, std::vector<TBifRef> bifs, const std::string& dir, bool flat,
                   const std::vector<std::string>& patterns, bool quiet, Output& out) {
    cli::TConsoleGauge consoleGauge(stderr, "extracting");
    TNullGauge nullGauge;
    const bool showProgress = !quiet && cli::IsTerminal(stderr);
    const TExportBifsReport report = ExportBifs(keys, {std::move(bifs), WithSeparator(dir), flat, patterns},
                                                showProgress ? static_cast<TGauge&>(consoleGauge) : nullGauge);
    consoleGauge.Finish();

    for (const TBifSkip& skipped : report.Skipped) {
        const std::string bif = BifLabel(keys, skipped.Bif.Key, skipped.Bif.Bif);
        Complain(skipped.Name.empty() ? bif + ": not exported: " + skipped.Reason
                                      : bif + ": skipped " + skipped.Name + ": " + skipped.Reason);
    }
    if (report.Written == 0 && report.Skipped.empty()) {
        Complain(patterns.empty() ? "nothing to extract; \"" + dir + "\" left untouched"
                                  : "no resource matches; \"" + dir + "\" left untouched");
        return kExitFailure;
    }
    if (!quiet) {
        std::string summary = "extracted " + WithThousands(report.Written) +
            (report.Written == 1 ? " resource" : " resources") + " from " + WithThousands(report.Bifs) +
            (report.Bifs == 1 ? " BIF" : " BIFs") + " into " + dir;
        if (!report.Skipped.empty()) summary += " (" + WithThousands(report.Skipped.size()) + " skipped)";
        if (report.Shadowed > 0)
            summary += "; " + WithThousands(report.Shadowed) + " left out for a later KEY's resource of the same name";
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

// Complains about each BIF whose sizes could not be read; true when there was any.
bool ReportBifFaults(const std::vector<TGameKey>& keys, const std::vector<TBifFault>& faults) {
    for (const TBifFault& fault : faults) Complain(BifLabel(keys, fault.Key, fault.Bif) + ": " + fault.Message);
    return !faults.empty();
}

// JSON written straight to stdout as it is made.
cli::TJsonWriter StdoutJson() {
    return cli::TJsonWriter(
        [](std::string_view chunk) { return std::fwrite(chunk.data(), 1, chunk.size(), stdout) == chunk.size(); });
}

void FinishJson(cli::TJsonWriter& json) {
    if (!json.Finish()) throw EWriteError("cannot write the listing to standard output");
}

// One KEY of a command, as the JSON documents name it.
void WriteKeyRef(cli::TJsonWriter& json, const std::vector<TGameKey>& keys, std::size_t k) {
    json.Key("index").Number(k);
    json.Key("path").String(cli::PathText(keys[k].Path));
}

void WriteKeyRefs(cli::TJsonWriter& json, const std::vector<TGameKey>& keys) {
    json.Key("keys").BeginArray();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        json.BeginObject();
        WriteKeyRef(json, keys, k);
        json.EndObject();
    }
    json.EndArray();
}

int RunFind(const std::vector<TGameKey>& keys, const std::string& pattern, bool asJson, Output& out) {
    std::vector<TResourceHit> hits = FindResources(keys, pattern);
    const bool faults = ReportBifFaults(keys, FillSizes(keys, hits));
    if (asJson) {
        // Written resource by resource: the document is never whole in memory.
        cli::TJsonWriter json = StdoutJson();
        json.BeginObject();
        WriteKeyRefs(json, keys);
        json.Key("resources").BeginArray();
        for (const TResourceHit& hit : hits) {
            const std::string name = ResRefToString(hit.Entry.ResRef);
            const std::string& bif = keys[hit.Key].Key->Filenames[hit.Bif].Filename;
            json.BeginObject();
            json.Key("line").String(Windows1252ToUtf8(ResourceLine(hit.Entry)));
            json.Key("name").String(Windows1252ToUtf8(name));
            json.Key("name_hex").String(cli::HexBytes(name));
            json.Key("type").Number(hit.Entry.ResType);
            json.Key("extension").String(ResTypeToExt(hit.Entry.ResType));
            json.Key("key").Number(hit.Key);
            json.Key("key_path").String(cli::PathText(keys[hit.Key].Path));
            json.Key("bif").String(Windows1252ToUtf8(bif));
            json.Key("bif_hex").String(cli::HexBytes(bif));
            json.Key("bif_index").Number(hit.Bif);
            json.Key("line_index").Number(hit.Line);
            json.Key("index").Number(hit.Entry.ResId & kResIdIndexMask);
            json.Key("res_id").Number(hit.Entry.ResId);
            json.Key("size");
            if (hit.Size)
                json.Number(*hit.Size);
            else
                json.Null();
            json.Key("loaded").Bool(hit.Loaded);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        FinishJson(json);
    } else {
        for (const TResourceHit& hit : hits) {
            out.Fields({ShownName(ResourceLine(hit.Entry)), keys[hit.Key].Path,
                        ShownName(keys[hit.Key].Key->Filenames[hit.Bif].Filename), std::to_string(hit.Line),
                        hit.Size ? std::to_string(*hit.Size) : std::string("-"), hit.Loaded ? "loaded" : "shadowed"});
        }
    }
    if (hits.empty()) {
        Complain("no resource matches \"" + pattern + "\"");
        return kExitFailure;
    }
    return faults ? kExitFailure : kExitOk;
}

int RunShadowed(const std::vector<TGameKey>& keys, bool asJson, Output& out) {
    std::vector<TResourceHit> hits = ShadowedResources(keys);
    const bool faults = ReportBifFaults(keys, FillSizes(keys, hits));
    std::vector<std::uint64_t> count(keys.size()), bytes(keys.size());
    for (const TResourceHit& hit : hits) {
        ++count[hit.Key];
        bytes[hit.Key] += hit.Size.value_or(0);
    }
    if (asJson) {
        cli::TJsonWriter json = StdoutJson();
        json.BeginObject();
        json.Key("keys").BeginArray();
        for (std::size_t k = 0; k < keys.size(); ++k) {
            json.BeginObject();
            WriteKeyRef(json, keys, k);
            json.Key("shadowed_resources").Number(count[k]);
            json.Key("shadowed_bytes").Number(bytes[k]);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        FinishJson(json);
    } else {
        for (std::size_t k = 0; k < keys.size(); ++k)
            out.Line(keys[k].Path + ": " + WithThousands(count[k]) + (count[k] == 1 ? " resource, " : " resources, ") +
                     WithThousands(bytes[k]) + (bytes[k] == 1 ? " byte" : " bytes") + " shadowed by later KEYs");
    }
    return faults ? kExitFailure : kExitOk;
}

// Writes size bytes of bif from offset to stdout in bounded pieces. On a terminal, unless
// forced, the bytes are read once first and refused unless they are all text: a model or an
// image would garble the terminal, or drive it with escape sequences.
int RunCat(const std::vector<TGameKey>& keys, const std::string& wanted, bool force) {
    const std::size_t point = wanted.rfind('.');
    const std::string resRef = point == std::string::npos ? wanted : wanted.substr(0, point);
    if (point == std::string::npos || resRef.empty() || resRef.size() > kResRefSize) {
        Complain("\"" + wanted + "\" is no resource name (a name of 1 to 16 characters, a point, an extension)");
        return kExitFailure;
    }
    const std::int64_t type = ExtToResType(wanted.substr(point));
    if (type == kUnknownResType) {
        Complain("\"" + wanted + "\": the extension \"" + wanted.substr(point + 1) + "\" is no resource type");
        return kExitFailure;
    }
    const auto hit = LoadedResource(keys, resRef, static_cast<std::uint16_t>(type));
    if (!hit) {
        Complain("no KEY holds " + wanted + " (" + std::to_string(keys.size()) + (keys.size() == 1 ? " KEY" : " KEYs") +
                 " read)");
        return kExitFailure;
    }
    const std::string& stored = keys[hit->Key].Key->Filenames[hit->Bif].Filename;
    const TBifLocation location = LocateBif(KeyFolderOf(keys[hit->Key].Path), stored);
    if (!location.Found) {
        Complain(BifLabel(keys, hit->Key, hit->Bif) + " holds " + wanted + " but is missing (looked for at \"" +
                 location.Path + "\")");
        return kExitFailure;
    }
    TStringResourceList lines;
    TNullGauge noGauge;
    TNWNBifFile bif(lines, noGauge);
    bif.Open(location.Path, keys[hit->Key].Key, static_cast<std::int32_t>(hit->Bif));
    const std::uint32_t index = hit->Entry.ResId & kResIdIndexMask;
    if (index >= bif.VarResources.size()) {
        Complain(BifLabel(keys, hit->Key, hit->Bif) + " holds no resource at index " + std::to_string(index) +
                 ", where the KEY lists " + wanted);
        return kExitFailure;
    }
    const TNWNVarResEntry resource = bif.VarResources[index];
    platform::File file = platform::File::OpenRead(location.Path);
    if (std::uint64_t{resource.Offset} + resource.FileSize > file.Size()) {
        Complain(wanted + " runs past the end of \"" + location.Path + "\" (offset " + std::to_string(resource.Offset) +
                 ", " + std::to_string(resource.FileSize) + " bytes, file " + std::to_string(file.Size()) +
                 " bytes); nothing written");
        return kExitFailure;
    }

    std::vector<char> buffer(std::size_t{1} << 16);
    // Each piece of the resource in turn, to look at or to write.
    const auto eachPiece = [&](auto&& use) {
        file.Seek(resource.Offset);
        for (std::uint32_t left = resource.FileSize; left > 0;) {
            const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(left, buffer.size()));
            file.ReadExact(buffer.data(), piece);
            if (!use(std::string_view(buffer.data(), piece), left == piece)) return false;
            left -= piece;
        }
        return true;
    };
    if (!force && cli::IsTerminal(stdout)) {
        std::string carried; // a UTF-8 sequence cut by the end of a piece
        const bool text = eachPiece([&](std::string_view piece, bool last) {
            carried.append(piece);
            const std::size_t shown = cli::TextPrefixLength(carried);
            if (shown < carried.size() && (last || carried.size() - shown >= 4)) return false;
            carried.erase(0, shown);
            return true;
        });
        if (!text) {
            Complain(wanted + " is not text (" + WithThousands(resource.FileSize) +
                     " bytes); not written to the terminal: redirect it into a file, or add --force");
            return kExitFailure;
        }
    }
#ifdef _WIN32
    // The bytes go out exactly: no "\n" becomes "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const bool written = eachPiece([](std::string_view piece, bool) {
        return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
    });
    if (!written || std::fflush(stdout) != 0) {
        Complain("cannot write " + wanted + " to standard output");
        return kExitFailure;
    }
    return kExitOk;
}

struct CommandLine {
    bool quiet = false;
    bool json = false;
    bool append = false;
    bool help = false;
    bool version = false;
    bool game = false;
    bool all = false;
    bool flat = false;
    bool force = false;
    bool shadowed = false;
    std::vector<std::string> patterns; // --match
    std::optional<std::string> language; // --lang
    std::vector<std::string> operands; // the verb first
};

constexpr std::initializer_list<Usage> kAllUsages{kUsageList,       kUsageListBif,  kUsageExtract,
                                                  kUsageExtractAll, kUsagePack,     kUsageVerify,
                                                  kUsageFind,       kUsageShadowed, kUsageCat};

// The language folder of the Enhanced Edition's localized KEYs: a plain name, no path.
bool IsLanguageName(const std::string& name) {
    if (name.empty() || name.size() > 16) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

// The KEYs of a command: the game's (saying on stderr which folder, unless quiet), or those
// given.
std::vector<TGameKey> CommandKeys(const CommandLine& cmd, const std::vector<std::string>& given) {
    if (!cmd.game) return LoadKeys(given);
    const cli::GameInstall install = cli::FindGameInstall(cmd.language.value_or("en"));
    if (!cmd.quiet) {
        std::string names;
        for (const std::string& key : install.Keys) {
            names += names.empty() ? "" : ", ";
            names += key.size() > install.Folder.size() ? key.substr(install.Folder.size() + 1) : key;
        }
        Complain("the game in \"" + install.Folder + "\": " + names);
    }
    return LoadKeys(install.Keys);
}

int Run(int argc, char** argv, Output& out) {
    CommandLine cmd;
    bool optionsEnded = false;
    // An option's value: the next argument, or what follows "=".
    const auto valueOf = [&](const std::string& arg, const std::string& name, int& i) -> std::optional<std::string> {
        if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0)
            return arg.substr(name.size() + 1);
        if (arg != name) return std::nullopt;
        if (i + 1 >= argc) return std::string();
        return std::string(argv[++i]);
    };
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
        } else if (arg == "--game") {
            cmd.game = true;
        } else if (arg == "--all") {
            cmd.all = true;
        } else if (arg == "--flat") {
            cmd.flat = true;
        } else if (arg == "--force") {
            cmd.force = true;
        } else if (arg == "--shadowed") {
            cmd.shadowed = true;
        } else if (const auto pattern = valueOf(arg, "--match", i)) {
            if (pattern->empty()) return UsageError("--match needs a PATTERN ('*.2da')", {kUsageExtractAll});
            cmd.patterns.push_back(*pattern);
        } else if (const auto language = valueOf(arg, "--lang", i)) {
            if (!IsLanguageName(*language))
                return UsageError("--lang needs a language folder of the game ('en', 'de', 'fr')", {kUsageInfo});
            cmd.language = *language;
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
    if (cmd.operands.empty()) return UsageError("no command given", kAllUsages);

    const std::string& verb = cmd.operands[0];
    const std::vector<std::string> args(cmd.operands.begin() + 1, cmd.operands.end());
    // Like --quiet, these may stand anywhere before "--"; each belongs to some commands only.
    if (cmd.json && verb != "list" && verb != "find")
        return UsageError("--json belongs to list and find", {kUsageList, kUsageFind});
    if (cmd.game && verb != "list" && verb != "extract" && verb != "verify" && verb != "find" && verb != "cat")
        return UsageError("--game belongs to list, extract, verify, find and cat", {kUsageInfo});
    if (cmd.language && !cmd.game) return UsageError("--lang belongs to --game", {kUsageInfo});
    if ((cmd.all || cmd.flat || !cmd.patterns.empty()) && verb != "extract")
        return UsageError("--all, --flat and --match belong to extract", {kUsageExtractAll});
    if (cmd.flat && !cmd.all) return UsageError("--flat belongs to extract --all", {kUsageExtractAll});
    if (cmd.force && verb != "cat") return UsageError("--force belongs to cat", {kUsageCat});
    if (cmd.shadowed && verb != "find") return UsageError("--shadowed belongs to find", {kUsageShadowed});

    if (verb == "list") {
        const std::size_t keyArgs = cmd.game ? 0 : 1;
        if (args.size() < keyArgs || args.size() > keyArgs + 1)
            return UsageError(cmd.game ? "list --game takes, optionally, BIF" : "list takes KEY and, optionally, BIF",
                              {kUsageList, kUsageListBif});
        const std::optional<std::string> bif = args.size() > keyArgs ? std::optional(args[keyArgs]) : std::nullopt;
        if (!cmd.game) return RunList(args[0], bif, cmd.json, out);
        const std::vector<TGameKey> keys = CommandKeys(cmd, {});
        if (bif) {
            const auto ref = ChooseBifIn(keys, *bif);
            if (!ref) return kExitFailure;
            return RunList(keys[ref->Key].Path, std::to_string(ref->Bif), cmd.json, out);
        }
        if (cmd.json) {
            cli::TJsonWriter json = StdoutJson();
            json.BeginObject();
            json.Key("keys").BeginArray();
            for (const TGameKey& key : keys) cli::WriteKeyListing(json, *key.Key, key.Path, KeyFolder(key.Path));
            json.EndArray();
            json.EndObject();
            FinishJson(json);
            return kExitOk;
        }
        for (const TGameKey& key : keys)
            for (const TNWNFilenameEntry& entry : key.Key->Filenames) out.Line(ShownName(entry.Filename));
        return kExitOk;
    }
    if (verb == "extract") {
        const std::size_t keyArgs = cmd.game ? 0 : 1;
        if (cmd.all) {
            if (args.size() != keyArgs + 1)
                return UsageError(cmd.game ? "extract --game --all takes DIR" : "extract --all takes KEY and DIR",
                                  {kUsageExtractAll});
            if (args[keyArgs].empty()) return UsageError("DIR must not be empty", {kUsageExtractAll});
            const std::vector<TGameKey> keys = CommandKeys(
                cmd, std::vector<std::string>(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(keyArgs)));
            return RunExtractBifs(keys, AllBifs(keys), args[keyArgs], cmd.flat, cmd.patterns, cmd.quiet, out);
        }
        if (args.size() < keyArgs + 2) return UsageError("extract takes KEY, BIF and DIR", {kUsageExtract});
        // An empty DIR would become the bare separator: the root of the file system.
        if (args[keyArgs + 1].empty()) return UsageError("DIR must not be empty", {kUsageExtract});
        const std::vector<std::string> lines(args.begin() + static_cast<std::ptrdiff_t>(keyArgs) + 2, args.end());
        if (!lines.empty() && !cmd.patterns.empty())
            return UsageError("give either LINEs or --match, not both", {kUsageExtract, kUsageExtractAll});
        if (!cmd.game && cmd.patterns.empty()) return RunExtract(args[0], args[1], args[2], lines, cmd.quiet, out);
        const std::vector<TGameKey> keys = CommandKeys(
            cmd, std::vector<std::string>(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(keyArgs)));
        const auto ref = ChooseBifIn(keys, args[keyArgs]);
        if (!ref) return kExitFailure;
        if (cmd.patterns.empty())
            return RunExtract(keys[ref->Key].Path, std::to_string(ref->Bif), args[keyArgs + 1], lines, cmd.quiet, out);
        // One BIF with a filter: its matching resources straight into DIR.
        return RunExtractBifs(keys, {*ref}, args[keyArgs + 1], true, cmd.patterns, cmd.quiet, out);
    }
    if (verb == "pack") {
        if (args.size() != 3) return UsageError("pack takes SRCDIR, BIF and KEY", {kUsagePack});
        return RunPack(args[0], args[1], args[2], cmd.append, cmd.quiet, out);
    }
    if (verb == "verify") {
        if (!cmd.game) {
            if (args.empty()) return UsageError("verify takes KEY and, optionally, BIFs", {kUsageVerify});
            return RunVerify(args[0], std::vector<std::string>(args.begin() + 1, args.end()), cmd.quiet, out);
        }
        // Each KEY of the game in turn; a resource that a later KEY also holds is the game's
        // own layering, no problem.
        const std::vector<TGameKey> keys = CommandKeys(cmd, {});
        std::vector<std::vector<std::string>> bifsOf(keys.size());
        for (const std::string& name : args) {
            const auto ref = ChooseBifIn(keys, name);
            if (!ref) return kExitFailure;
            bifsOf[ref->Key].push_back(std::to_string(ref->Bif));
        }
        int status = kExitOk;
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (!args.empty() && bifsOf[k].empty()) continue;
            const std::string label = platform::FileNamePart(keys[k].Path) + ": ";
            if (RunVerify(keys[k].Path, bifsOf[k], cmd.quiet, out, label) != kExitOk) status = kExitFailure;
        }
        return status;
    }
    if (verb == "find") {
        if (cmd.shadowed) {
            if (cmd.game ? !args.empty() : args.empty())
                return UsageError(cmd.game ? "find --shadowed --game takes no more" : "find --shadowed takes KEYs",
                                  {kUsageShadowed});
            return RunShadowed(CommandKeys(cmd, args), cmd.json, out);
        }
        if (cmd.game ? args.size() != 1 : args.size() < 2)
            return UsageError(cmd.game ? "find --game takes PATTERN" : "find takes PATTERN and KEYs", {kUsageFind});
        return RunFind(CommandKeys(cmd, std::vector<std::string>(args.begin() + 1, args.end())), args[0], cmd.json,
                       out);
    }
    if (verb == "cat") {
        if (cmd.game ? args.size() != 1 : args.size() < 2)
            return UsageError(cmd.game ? "cat --game takes NAME.EXT" : "cat takes KEY, NAME.EXT and more KEYs",
                              {kUsageCat});
        std::vector<std::string> keyPaths;
        if (!cmd.game) {
            keyPaths.push_back(args[0]);
            keyPaths.insert(keyPaths.end(), args.begin() + 2, args.end());
        }
        return RunCat(CommandKeys(cmd, keyPaths), args[cmd.game ? 0 : 1], cmd.force);
    }
    return UsageError("unknown command '" + verb + "'", kAllUsages);
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
