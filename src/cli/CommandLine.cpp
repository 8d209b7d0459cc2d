// The options of the command line: their reading, and which verbs each belongs to.

#include "CommandLine.h"

#include "base/Text.h"
#include "Output.h"
#include "Usage.h"

#include <cstddef>

namespace vellocar::cli {

namespace {

// The language folder of the Enhanced Edition's localized KEYs: a plain name, no path.
bool IsLanguageName(const std::string& name) {
    if (name.empty() || name.size() > 16) return false;
    for (char c : name)
        if (!(IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '-')) return false;
    return true;
}

// The value of option name in arg: what follows "name=", or the next argument (i then moves to
// it; "" when there is none). Nothing when arg is another option.
std::optional<std::string> ValueOf(const std::string& arg, const std::string& name, int argc, char** argv, int& i) {
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0)
        return arg.substr(name.size() + 1);
    if (arg != name) return std::nullopt;
    if (i + 1 >= argc) return std::string();
    return std::string(argv[++i]);
}

// The flag that a switch without a value sets; nothing for any other argument.
bool* FlagOf(const std::string& arg, CommandLine& cmd) {
    if (arg == "--quiet" || arg == "-q") return &cmd.quiet;
    if (arg == "--json") return &cmd.json;
    if (arg == "--help" || arg == "-h") return &cmd.help;
    if (arg == "--version") return &cmd.version;
    if (arg == "--game") return &cmd.game;
    if (arg == "--all") return &cmd.all;
    if (arg == "--flat") return &cmd.flat;
    if (arg == "--force") return &cmd.force;
    if (arg == "--shadowed") return &cmd.shadowed;
    if (arg == "--png") return &cmd.png;
    if (arg == "--mp3") return &cmd.mp3;
    if (arg == "--allow-overlaps") return &cmd.allowOverlaps;
    return nullptr;
}

// Every option, for the "did you mean" of one mistyped.
constexpr std::string_view kOptionNames[] = {
    "--quiet",    "--json", "--help",           "--version",  "--game",        "--all",    "--flat",   "--force",
    "--shadowed", "--png",  "--allow-overlaps", "--append",   "--match",       "--lang",   "--type",   "--description",
    "--hak",      "--mp3",  "--code-page",      "--override", "--development", "--module", "--folder",
};

// The code pages that --code-page takes: those the talk tables come in.
std::optional<std::uint32_t> CodePageNamed(const std::string& text) {
    for (const std::uint32_t page : {1250u, 1251u, 1252u, 932u, 936u, 949u, 950u})
        if (text == std::to_string(page)) return page;
    return std::nullopt;
}

} // namespace

bool HasLayerOptions(const CommandLine& cmd) {
    return !cmd.haks.empty() || cmd.module || cmd.overrideDir || cmd.developmentDir || !cmd.folders.empty();
}

std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& cmd) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            cmd.operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (bool* flag = FlagOf(arg, cmd)) {
            *flag = true;
        } else if (arg == "--append") {
            if (cmd.operands.empty() || cmd.operands[0] != "pack")
                return UsageError("--append belongs to pack", {kUsagePack, kUsagePackErf});
            cmd.append = true;
        } else if (const auto pattern = ValueOf(arg, "--match", argc, argv, i)) {
            if (pattern->empty()) return UsageError("--match needs a PATTERN ('*.2da')", {kUsageExtractAll});
            cmd.patterns.push_back(*pattern);
        } else if (const auto hak = ValueOf(arg, "--hak", argc, argv, i)) {
            if (hak->empty()) return UsageError("--hak needs a HAK (an archive of the ERF family)", {kUsageFind});
            cmd.haks.push_back(*hak);
        } else if (const auto folder = ValueOf(arg, "--override", argc, argv, i)) {
            if (folder->empty()) return UsageError("--override needs a DIR", {kUsageConflicts});
            cmd.overrideDir = *folder;
        } else if (const auto development = ValueOf(arg, "--development", argc, argv, i)) {
            if (development->empty()) return UsageError("--development needs a DIR", {kUsageConflicts});
            cmd.developmentDir = *development;
        } else if (const auto added = ValueOf(arg, "--folder", argc, argv, i)) {
            if (added->empty()) return UsageError("--folder needs a DIR", {kUsageConflicts});
            cmd.folders.push_back(*added);
        } else if (const auto module = ValueOf(arg, "--module", argc, argv, i)) {
            if (module->empty()) return UsageError("--module needs a module (.mod or its name)", {kUsageConflicts});
            cmd.module = *module;
        } else if (const auto language = ValueOf(arg, "--lang", argc, argv, i)) {
            if (!IsLanguageName(*language))
                return UsageError("--lang needs a language folder of the game ('en', 'de', 'fr')", {kUsageInfo});
            cmd.language = *language;
        } else if (const auto type = ValueOf(arg, "--type", argc, argv, i)) {
            if (type->empty()) return UsageError("--type needs a kind: hak, mod, erf, nwm or sav", {kUsagePackErf});
            cmd.archiveType = *type;
        } else if (const auto page = ValueOf(arg, "--code-page", argc, argv, i)) {
            cmd.codePage = CodePageNamed(*page);
            if (!cmd.codePage)
                return UsageError(
                    "--code-page needs a code page of the game's talk tables: 1250, 1251, 1252, 932, "
                    "936, 949 or 950",
                    {kUsageCatJson});
        } else if (const auto text = ValueOf(arg, "--description", argc, argv, i)) {
            cmd.description = *text;
        } else {
            const std::string name = arg.substr(0, arg.find('='));
            return UsageError("unknown option '" + arg + "'" + DidYouMean(name, kOptionNames), {kUsageInfo});
        }
    }
    return std::nullopt;
}

std::optional<int> CheckOptionsOf(const CommandLine& cmd, const std::string& verb) {
    // Like --quiet, these may stand anywhere before "--"; each belongs to some commands only.
    const bool layered = verb == "find" || verb == "cat" || verb == "conflicts";
    if (cmd.json && verb != "list" && verb != "find" && verb != "cat" && verb != "extract" && verb != "conflicts")
        return UsageError("--json belongs to list, find, cat, extract and conflicts",
                          {kUsageList, kUsageFind, kUsageCat, kUsageCatJson, kUsageConflicts});
    if (cmd.json && cmd.png) return UsageError("give either --json or --png, not both", {kUsageCat, kUsageExtract});
    if (cmd.game && verb != "list" && verb != "extract" && verb != "verify" && !layered)
        return UsageError("--game belongs to list, extract, verify, find, cat and conflicts", {kUsageInfo});
    if (cmd.language && !cmd.game) return UsageError("--lang belongs to --game", {kUsageInfo});
    if ((cmd.all || cmd.flat || !cmd.patterns.empty()) && verb != "extract")
        return UsageError("--all, --flat and --match belong to extract", {kUsageExtractAll});
    if (cmd.flat && !cmd.all) return UsageError("--flat belongs to extract --all", {kUsageExtractAll});
    if (cmd.force && verb != "cat") return UsageError("--force belongs to cat", {kUsageCat});
    if (cmd.png && verb != "cat" && verb != "extract")
        return UsageError("--png belongs to cat and extract", {kUsageCat, kUsageExtract, kUsageExtractAll});
    if (cmd.mp3 && verb != "cat") return UsageError("--mp3 belongs to cat", {kUsageCatJson});
    if (cmd.codePage && (verb != "cat" || !cmd.json))
        return UsageError("--code-page belongs to cat --json", {kUsageCatJson});
    if ((cmd.png ? 1 : 0) + (cmd.mp3 ? 1 : 0) + (cmd.json && verb == "cat" ? 1 : 0) > 1)
        return UsageError("cat writes one form: --png, --mp3 or --json", {kUsageCat, kUsageCatJson});
    if (cmd.allowOverlaps && verb != "extract")
        return UsageError("--allow-overlaps belongs to extract", {kUsageExtract, kUsageExtractAll});
    if ((cmd.archiveType || cmd.description) && verb != "pack")
        return UsageError("--type and --description belong to pack", {kUsagePackErf});
    if (HasLayerOptions(cmd) && !layered && verb != "extract")
        return UsageError(
            "--hak, --module, --override, --development and --folder belong to find, cat, conflicts "
            "and extract",
            {kUsageFind, kUsageShadowed, kUsageCat, kUsageConflicts, kUsageExtractLayers});
    if (cmd.shadowed && verb != "find") return UsageError("--shadowed belongs to find", {kUsageShadowed});
    return std::nullopt;
}

} // namespace vellocar::cli
