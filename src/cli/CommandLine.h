#pragma once
// The command line as the commands take it: the options, wherever they stand before "--", and
// the operands with the verb first; and the checks that each option belongs to the verb given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::cli {

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
    bool png = false;
    bool mp3 = false; // cat --mp3
    bool allowOverlaps = false;
    std::vector<std::string> patterns; // --match
    std::vector<std::string> haks; // find, cat and conflicts --hak, in the module's order
    std::optional<std::string> overrideDir; // --override: the user's override folder
    std::optional<std::string> developmentDir; // --development
    std::optional<std::string> module; // --module: a .mod, a module's folder, or a module's name
    std::vector<std::string> folders; // --folder: folders above all other layers, in order
    std::optional<std::string> language; // --lang
    std::optional<std::string> archiveType; // pack --type
    std::optional<std::string> description; // pack --description
    std::optional<std::uint32_t> codePage; // cat --json --code-page, for a talk table's texts
    std::vector<std::string> operands; // the verb first
};

// Whether the command line names layers beyond the KEYs: --hak, --module, --override,
// --development or --folder.
bool HasLayerOptions(const CommandLine& cmd);

// Reads the options and operands of argv into cmd. A wrong option (unknown, without its value,
// or --append before the verb pack) is complained about, and the exit status returned.
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& cmd);

// Whether each option given belongs to the verb; complains and returns the exit status when
// one does not.
std::optional<int> CheckOptionsOf(const CommandLine& cmd, const std::string& verb);

} // namespace vellocar::cli
