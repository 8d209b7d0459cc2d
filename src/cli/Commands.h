#pragma once
// The commands, one function per verb: each takes the parsed command line and the operands
// after the verb, checks their number (a usage error otherwise), does its work and returns the
// exit status. Each has a file of its own (ListCommand.cpp, ...).

#include "CommandLine.h"
#include "platform/Platform.h"

#include <string>
#include <vector>

namespace vellocar::cli {

class Output;

using Operands = std::vector<std::string>;

// A folder as the archive code takes it: with its trailing separator.
inline std::string WithSeparator(const std::string& folder) {
    return !folder.empty() && platform::IsPathSeparator(folder.back()) ? folder : folder + platform::kPathSeparator;
}

int ListCommand(const CommandLine& cmd, const Operands& args, Output& out);
int ExtractCommand(const CommandLine& cmd, const Operands& args, Output& out);
int PackCommand(const CommandLine& cmd, const Operands& args, Output& out);
int VerifyCommand(const CommandLine& cmd, const Operands& args, Output& out);
int FindCommand(const CommandLine& cmd, const Operands& args, Output& out);
int CatCommand(const CommandLine& cmd, const Operands& args, Output& out);
int ConvertCommand(const CommandLine& cmd, const Operands& args, Output& out);
int ConflictsCommand(const CommandLine& cmd, const Operands& args, Output& out);

} // namespace vellocar::cli
