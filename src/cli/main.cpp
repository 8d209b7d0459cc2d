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
//   vellocar-cli convert IN OUT                            a GFF as JSON, or the JSON as a GFF
//   vellocar-cli help [COMMAND]                            one command's help (or COMMAND --help)
// --game stands for the KEY arguments: the game's own KEYs, in the game's order.
// --hak adds a module's HAKs to find and cat, above every KEY, the first one given winning.
//   vellocar-cli conflicts [--json] KEY... [LAYERS]       resources held by several layers
// --module, --override and --development add the game's other layers to find, cat and conflicts.
//
// Exit status: 0 success, 1 failure (or a resource skipped / not found, or a problem that
// verify found), 2 wrong usage.
//
// This file reads the command line and hands it to its command (Commands.h, a file per verb);
// errors that leave a command end here, on stderr.

#include "CommandLine.h"
#include "Commands.h"
#include "Output.h"
#include "TerminalText.h"
#include "Usage.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace {

using namespace vellocar::cli;

constexpr std::string_view kVersion = VELLOCAR_VERSION;

// Each verb and its command.
struct Verb {
    std::string_view name;
    int (*run)(const CommandLine&, const Operands&, Output&);
};
constexpr Verb kVerbs[] = {
    {"list", ListCommand}, {"extract", ExtractCommand}, {"pack", PackCommand},       {"verify", VerifyCommand},
    {"find", FindCommand}, {"cat", CatCommand},         {"convert", ConvertCommand}, {"conflicts", ConflictsCommand},
};

// The help of the command named so, or a usage error naming the command nearest to it.
int HelpOf(const std::string& command, Output& out) {
    if (PrintCommandHelp(out, command)) return kExitOk;
    return UsageError("no command '" + command + "'" + DidYouMean(command, kCommandNames), {kUsageHelp});
}

int Run(int argc, char** argv, Output& out) {
    CommandLine cmd;
    if (const auto refused = ParseCommandLine(argc, argv, cmd)) return *refused;
    // "help", "help COMMAND", "--help", "COMMAND --help".
    const bool helpVerb = !cmd.operands.empty() && cmd.operands[0] == "help";
    if (helpVerb && cmd.operands.size() > 2) return UsageError("help takes one COMMAND", {kUsageHelp});
    if (helpVerb || cmd.help) {
        const std::size_t named = helpVerb ? 1 : 0;
        if (cmd.operands.size() > named) return HelpOf(cmd.operands[named], out);
        PrintHelp(out);
        return kExitOk;
    }
    if (cmd.version) {
        out.OwnLine(std::string(kProgram).append(" ").append(kVersion));
        return kExitOk;
    }
    if (cmd.operands.empty()) return UsageError("no command given", kAllUsages);

    const std::string& verb = cmd.operands[0];
    if (const auto refused = CheckOptionsOf(cmd, verb)) return *refused;
    const Operands args(cmd.operands.begin() + 1, cmd.operands.end());
    for (const Verb& known : kVerbs)
        if (verb == known.name) return known.run(cmd, args, out);
    const std::string nearest = DidYouMean(verb, kCommandNames);
    return UsageError("unknown command '" + verb + "'" + nearest, kAllUsages);
}

} // namespace

int main(int argc, char** argv) {
    Output out(IsTerminal(stdout));
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
