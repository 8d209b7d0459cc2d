// vellocar-cli: the archive operations without a window, for scripts, builds and benchmarks.
//
//   vellocar-cli [--quiet] list KEY                        BIF names of KEY, in file-table order
//   vellocar-cli [--quiet] list KEY BIF                    resource lines of BIF, in KEY order
//   vellocar-cli [--quiet] extract KEY BIF DIR [LINE...]   export all or the named resources
//   vellocar-cli [--quiet] pack [--append] SRCDIR BIF KEY  pack a folder into BIF, register in KEY
//
// Exit status: 0 success, 1 failure (or a resource skipped / not found), 2 wrong usage.

#include "BifFiles.h"
#include "ConsoleGauge.h"
#include "Errors.h"
#include "KeyFiles.h"
#include "Platform.h"
#include "Progress.h"

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

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using namespace vellocar;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kProgram = "vellocar-cli";
constexpr std::string_view kVersion = "1.0.0";

// Each form of the command: its synopsis, and what it does for --help.
struct Usage {
    std::string_view synopsis;
    std::string_view purpose;
};
constexpr Usage kUsageList{"vellocar-cli [--quiet] list KEY", "the KEY's BIF names, one per line"};
constexpr Usage kUsageListBif{"vellocar-cli [--quiet] list KEY BIF",
                              "the BIF's resources (name.ext), one per line"};
constexpr Usage kUsageExtract{"vellocar-cli [--quiet] extract KEY BIF DIR [LINE...]",
                              "export all resources of BIF, or the named ones, into DIR"};
constexpr Usage kUsagePack{"vellocar-cli [--quiet] pack [--append] SRCDIR BIF KEY",
                           "pack SRCDIR's plain files into BIF and register it in KEY"};
constexpr Usage kUsageInfo{"vellocar-cli --help | --version", "this text, or the version"};

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// Standard output collects everything and is written once at the end: a listing of 20,000
// lines must not cost 20,000 writes.
class Output {
public:
    void Line(std::string_view text) {
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
    std::string buffer_;
};

// Names from a KEY are bytes from a file: control bytes are shown escaped, so that a hostile
// name cannot move the cursor or fake another message on the user's terminal.
std::string Printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xf];
        } else {
            shown += c;
        }
    }
    return shown;
}

void Complain(std::string_view message) {
    std::string line;
    line.append(kProgram).append(": ").append(message) += '\n';
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
    out.Line("Packs, lists and exports Neverwinter Nights BIF/KEY archives.");
    out.Line("");
    out.Line("usage:");
    constexpr std::size_t kColumn = 58;
    for (const Usage& usage : {kUsageList, kUsageListBif, kUsageExtract, kUsagePack, kUsageInfo}) {
        std::string line = "  ";
        line.append(usage.synopsis);
        line.append(kColumn > line.size() ? kColumn - line.size() : 1, ' ');
        out.Line(line.append(usage.purpose));
    }
    out.Line("");
    out.Line("BIF is a name exactly as the KEY stores it (data\\2da.bif) or its index in the KEY.");
    out.Line("LINE is a resource as list shows it (name.ext). Without --append an existing KEY");
    out.Line("is replaced; a replaced KEY or BIF is kept as <name>.bak.");
    out.Line("--quiet leaves out the progress bar and the summary lines.");
    out.Line("");
    out.Line("Exit status: 0 success, 1 failure or a resource skipped, 2 wrong usage.");
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

bool EndsWithSeparator(const std::string& path) {
    if (path.empty()) return false;
    const char last = path.back();
#ifdef _WIN32
    return last == '\\' || last == '/';
#else
    return last == platform::kPathSeparator;
#endif
}

// A folder as the archive code takes it: with its trailing separator.
std::string WithSeparator(const std::string& folder) {
    return EndsWithSeparator(folder) ? folder : folder + platform::kPathSeparator;
}

// The folder that a KEY's stored BIF names are relative to. A KEY given without a folder lies
// in the current one.
std::string KeyFolder(const std::string& keyPath) {
    std::string folder = platform::FolderPart(keyPath);
    return folder.empty() ? std::string(".") : folder;
}

std::shared_ptr<TNWNKeyFile> LoadKey(const std::string& path) {
    auto key = std::make_shared<TNWNKeyFile>();
    key->LoadFromFile(path);
    return key;
}

// The BIF that the command line names: a stored name (the first entry of that name, as the
// window picks it), else a decimal index into the file table.
std::optional<std::size_t> FindBif(const TNWNKeyFile& key, const std::string& wanted) {
    for (std::size_t i = 0; i < key.Filenames.size(); ++i) {
        if (key.Filenames[i].Filename == wanted) return i;
    }
    if (wanted.empty() || wanted.size() > 9) return std::nullopt;
    std::size_t index = 0;
    for (char c : wanted) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    if (index < key.Filenames.size()) return index;
    return std::nullopt;
}

std::string UnknownBif(const TNWNKeyFile& key, const std::string& wanted, const std::string& keyPath) {
    const std::size_t count = key.Filenames.size();
    return "no BIF \"" + Printable(wanted) + "\" in \"" + keyPath + "\" (it names " +
           std::to_string(count) + (count == 1 ? " BIF" : " BIFs") +
           "; give a name as 'list' shows it, or an index from 0)";
}

int RunList(const std::string& keyPath, const std::optional<std::string>& bifName, Output& out) {
    const auto key = LoadKey(keyPath);
    if (!bifName) {
        for (const TNWNFilenameEntry& bif : key->Filenames) out.Line(bif.Filename);
        return kExitOk;
    }
    const auto index = FindBif(*key, *bifName);
    if (!index) {
        Complain(UnknownBif(*key, *bifName, keyPath));
        return kExitFailure;
    }
    for (const TNWNKeyEntry& entry : key->Filenames[*index].Resources) out.Line(ResourceLine(entry));
    return kExitOk;
}

int RunExtract(const std::string& keyPath, const std::string& bifName, const std::string& dir,
               const std::vector<std::string>& wantedLines, bool quiet, Output& out) {
    const auto key = LoadKey(keyPath);
    const auto index = FindBif(*key, bifName);
    if (!index) {
        Complain(UnknownBif(*key, bifName, keyPath));
        return kExitFailure;
    }
    const TNWNFilenameEntry& chosen = key->Filenames[*index];
    const std::string bifPath = platform::ResolveStoredName(KeyFolder(keyPath), chosen.Filename);

    const bool showProgress = !quiet && wantedLines.empty() && StderrIsTerminal();
    TStringResourceList lines;
    cli::TConsoleGauge consoleGauge(stderr, "extracting");
    TNullGauge nullGauge;
    TNWNBifFile bif(lines, showProgress ? static_cast<TGauge&>(consoleGauge) : nullGauge);
    bif.Open(bifPath, key);

    // Open takes the first KEY name that occurs in the path, so of "data\a.bif" and
    // "olddata\a.bif" it would pick the former for both. The user named one entry: use it.
    const auto chosenIndex = static_cast<std::int32_t>(*index);
    if (bif.BifIndex != chosenIndex) {
        bif.BifIndex = chosenIndex;
        lines.Clear();
        for (const TNWNKeyEntry& entry : chosen.Resources) lines.Add(ResourceLine(entry));
    }

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
                Complain("no resource \"" + Printable(wanted) + "\" in " + Printable(chosen.Filename));
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
    const bool done = wantedLines.empty() ? bif.ExtractAll(target) : bif.ExtractSelected(target);
    consoleGauge.Finish();
    if (!done) {
        Complain("the export of " + Printable(chosen.Filename) + " into \"" + dir + "\" failed");
        return kExitFailure;
    }

    for (const TSkippedResource& skipped : bif.Skipped) {
        Complain("skipped " + Printable(skipped.Name) + ": " + skipped.Reason);
        status = kExitFailure;
    }
    if (!quiet) {
        const std::size_t attempted =
            wantedLines.empty() ? bif.VarResources.size() : static_cast<std::size_t>(selected);
        const std::size_t written = attempted > bif.Skipped.size() ? attempted - bif.Skipped.size() : 0;
        std::string summary = "extracted " + std::to_string(written) +
                              (written == 1 ? " resource" : " resources") + " from " + chosen.Filename +
                              " into " + dir;
        if (!bif.Skipped.empty()) summary += " (" + std::to_string(bif.Skipped.size()) + " skipped)";
        out.Line(summary);
    }
    return status;
}

int RunPack(const std::string& sourceDir, const std::string& bifPath, const std::string& keyPath,
            bool append, bool quiet, Output& out) {
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

    const bool showProgress = !quiet && StderrIsTerminal();
    cli::TConsoleGauge consoleGauge(stderr, "packing");
    TNullGauge nullGauge;
    TNWNBifFile builder(list, showProgress ? static_cast<TGauge&>(consoleGauge) : nullGauge);
    const bool built = builder.BuildFrom(WithSeparator(sourceDir), bifPath, keyPath, append);
    consoleGauge.Finish();
    if (!built) {
        Complain("the build of \"" + bifPath + "\" failed: the BIF was not found after writing; \"" +
                 keyPath + "\" was not saved");
        return kExitFailure;
    }
    if (quiet) return kExitOk;

    // The summary reads back what was written, so that it reports the KEY as it now stands.
    const std::string entryName = "data\\" + platform::FileNamePart(bifPath);
    const auto key = LoadKey(keyPath);
    std::uint64_t contentBytes = 0;
    for (std::size_t i = key->Filenames.size(); i-- > 0;) {
        if (key->Filenames[i].Filename != entryName) continue;
        const std::uint64_t tables = kBifHeaderSize + std::uint64_t{kBifVarEntrySize} * names.size();
        const std::uint64_t size = key->FileTable[i].FileSize;
        contentBytes = size > tables ? size - tables : 0;
        break;
    }
    const std::size_t bifCount = key->Filenames.size();
    out.Line("packed " + std::to_string(names.size()) + (names.size() == 1 ? " file (" : " files (") +
             WithThousands(contentBytes) + " bytes) into " + bifPath + "; registered as " + entryName +
             " in " + keyPath + " (" + std::to_string(bifCount) + (bifCount == 1 ? " BIF, " : " BIFs, ") +
             std::to_string(key->KeyCount) + (key->KeyCount == 1 ? " resource)" : " resources)"));
    return kExitOk;
}

struct CommandLine {
    bool quiet = false;
    bool append = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> operands;   // the verb first
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
            return UsageError("unknown option '" + Printable(arg) + "'", {kUsageInfo});
        }
    }

    if (cmd.help) {
        PrintHelp(out);
        return kExitOk;
    }
    if (cmd.version) {
        out.Line(std::string(kProgram).append(" ").append(kVersion));
        return kExitOk;
    }
    if (cmd.operands.empty()) {
        return UsageError("no command given", {kUsageList, kUsageListBif, kUsageExtract, kUsagePack});
    }

    const std::string& verb = cmd.operands[0];
    const std::vector<std::string> args(cmd.operands.begin() + 1, cmd.operands.end());
    if (verb == "list") {
        if (args.empty() || args.size() > 2) {
            return UsageError("list takes KEY and, optionally, BIF", {kUsageList, kUsageListBif});
        }
        return RunList(args[0], args.size() == 2 ? std::optional(args[1]) : std::nullopt, out);
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
    return UsageError("unknown command '" + Printable(verb) + "'",
                      {kUsageList, kUsageListBif, kUsageExtract, kUsagePack});
}

} // namespace

int main(int argc, char** argv) {
    Output out;
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
