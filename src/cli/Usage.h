#pragma once
// How each form of the command is used: the synopses that a wrong command line is answered
// with, and the text of --help.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace vellocar::cli {

class Output;

// One form of the command: its synopsis, and what it does for --help.
struct Usage {
    std::string_view synopsis;
    std::string_view purpose;
};

inline constexpr Usage kUsageList{"vellocar-cli [--quiet] list [--json] KEY", "the KEY's BIF names, one per line"};
inline constexpr Usage kUsageListBif{"vellocar-cli [--quiet] list [--json] KEY BIF",
                                     "the BIF's resources (name.ext), one per line"};
inline constexpr Usage kUsageExtract{"vellocar-cli [--quiet] extract [--png] [--json] KEY BIF DIR [LINE...]",
                                     "export all resources of BIF, or the named ones, into DIR"};
inline constexpr Usage kUsagePack{"vellocar-cli [--quiet] pack [--append] SRCDIR BIF KEY",
                                  "pack SRCDIR's plain files into BIF and register it in KEY"};
inline constexpr Usage kUsagePackErf{
    "vellocar-cli [--quiet] pack [--append] [--type KIND] [--description TEXT] SRCDIR HAK",
    "pack SRCDIR's plain files into a HAK, MOD, ERF, NWM or SAV"};
inline constexpr Usage kUsageVerify{"vellocar-cli [--quiet] verify KEY [BIF...]",
                                    "check the KEY against its BIFs (all, or those named)"};
inline constexpr Usage kUsageExtractAll{
    "vellocar-cli [--quiet] extract [--png] [--json] KEY --all DIR [--flat] [--match PATTERN...]",
    "export every BIF of KEY into DIR/<BIF name>/, or all into DIR"};
inline constexpr Usage kUsageExtractLayers{
    "vellocar-cli [--quiet] extract [--png] [--json] [--game] LAYERS DIR [PATTERN...]",
    "export the copy the game loads of each matching resource into DIR"};
inline constexpr Usage kUsageFind{"vellocar-cli [--quiet] find [--json] PATTERN KEY... [LAYERS]",
                                  "the resources whose name.ext matches, and which one the game loads"};
inline constexpr Usage kUsageShadowed{"vellocar-cli [--quiet] find --shadowed [--json] KEY... [LAYERS]",
                                      "how many resources and bytes of each KEY or HAK others shadow"};
inline constexpr Usage kUsageCat{"vellocar-cli cat [--force] [--png | --json] KEY NAME.EXT [KEY...] [LAYERS]",
                                 "the bytes of the resource that the game loads, on stdout"};
inline constexpr Usage kUsageCatJson{
    "vellocar-cli cat --json [--code-page N] | --mp3 FILE | KEY NAME.EXT [KEY...] [LAYERS]",
    "a GFF, talk table or soundset as JSON; a BMU's MP3 (a file, or as cat finds it)"};
inline constexpr Usage kUsageConflicts{"vellocar-cli [--quiet] conflicts [--json] KEY... [LAYERS]",
                                       "the resources with several copies across the layers, and which wins"};
inline constexpr Usage kUsageErfList{"vellocar-cli [--quiet] list [--json] HAK",
                                     "an ERF-family archive's resources (HAK, MOD, ERF, NWM, SAV)"};
inline constexpr Usage kUsageErfExtract{"vellocar-cli [--quiet] extract [--png] [--json] HAK DIR [LINE...]",
                                        "export its resources (--match PATTERN...: those that match)"};
inline constexpr Usage kUsageErfOthers{"vellocar-cli verify HAK | cat [--force] [--png] HAK NAME.EXT",
                                       "check its structure; a resource's bytes on stdout"};
inline constexpr Usage kUsageConvert{"vellocar-cli convert IN OUT",
                                     "a GFF as JSON (OUT ends in .json), or JSON back into a GFF"};
inline constexpr Usage kUsageHelp{"vellocar-cli help [COMMAND] | COMMAND --help", "one command's help"};
inline constexpr Usage kUsageInfo{"vellocar-cli --help | --version", "this text, or the version"};

// Every command's form, for a command line that names none.
inline constexpr std::initializer_list<Usage> kAllUsages{
    kUsageList,    kUsageListBif,    kUsageExtract,   kUsageExtractAll, kUsageExtractLayers, kUsagePack,
    kUsagePackErf, kUsageVerify,     kUsageFind,      kUsageShadowed,   kUsageCat,           kUsageCatJson,
    kUsageErfList, kUsageErfExtract, kUsageErfOthers, kUsageConvert,    kUsageConflicts};

// A wrong command line: the problem, then how the command is used, on stderr. Returns the exit
// status for wrong usage.
int UsageError(std::string_view message, std::initializer_list<Usage> usages);

void PrintHelp(Output& out);

// The commands, as typed: the verbs and help.
inline constexpr std::string_view kCommandNames[] = {"list", "extract", "pack",      "verify", "find",
                                                     "cat",  "convert", "conflicts", "help"};

// The help of one command (one of kCommandNames): its usage, what it does and its options.
// False, and nothing printed, for any other word.
bool PrintCommandHelp(Output& out, std::string_view command);

// "; did you mean 'word'?" for the word of known closest to typed, when it is at most two edits
// away (a character added, dropped, changed, or two side by side swapped) and more of it than
// the edits is left as typed ("-x" is not taken for "-q"); "" when none is.
std::string DidYouMean(std::string_view typed, std::span<const std::string_view> known);

} // namespace vellocar::cli
