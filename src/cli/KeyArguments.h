#pragma once
// The KEYs and BIFs that a command line names: the KEYs read (each through the recovery of an
// interrupted build first), the game's own KEYs for --game, and the BIF that a name or an index
// stands for.

#include "CommandLine.h"
#include "formats/KeyFiles.h"
#include "operations/Containers.h"
#include "operations/ExportBifs.h"
#include "operations/GameKeys.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellocar::cli {

// Whether the command's first operand is an archive of the ERF family (HAK, MOD, ...) by its first
// bytes, rather than a KEY: list, extract, cat and verify then read it as a container of its own.
// Looked at after a build of that file that died was finished or undone (RecoverBeforeReading).
bool FirstIsErf(const CommandLine& cmd, const std::vector<std::string>& args);

// The KEY at path (ReadKey), after whatever a build of it that was stopped half-way left is
// finished or undone (said on stderr), so that the KEY and its BIFs belong together again.
std::shared_ptr<TNWNKeyFile> LoadKey(const std::string& path, const TKeyParts& parts = {});

// Finishes or undoes a build of path that died, with a note on stderr.
void RecoverBeforeReading(const std::string& path);

// The paths of the KEYs of a command: the game's for --game, in the game's order (saying on
// stderr which folder, unless quiet), or those given.
std::vector<std::string> CommandKeyPaths(const CommandLine& cmd, const std::vector<std::string>& given);

// The KEYs of a command, each read through LoadKey: the game's for --game, in the game's order
// (saying on stderr which folder, unless quiet), or those given, in their order.
std::vector<TGameKey> CommandKeys(const CommandLine& cmd, const std::vector<std::string>& given);

// The HAKs of --hak, in the module's order, each read as a container (ErfContainer). A file that is
// no archive of the ERF family by its first bytes is refused with EFormatError naming it.
std::vector<TResourceContainer> CommandHaks(const CommandLine& cmd);

// The folders and the module's HAKs of a command (--game's ovr, --override, --module,
// --development) added to set, in the game's order (ResourceLayers.h); the HAKs of --hak stay
// after the module's. What cannot be read is in set.Problems. LayerArguments.cpp.
void AddCommandLayers(const CommandLine& cmd, TResourceSet& set);

// Says each of set's problems on stderr; true when there was any.
bool ReportProblems(const TResourceSet& set);

// The KEYs of a command (CommandKeys) with its HAKs above them (CommandHaks) and its other layers
// (AddCommandLayers).
TResourceSet CommandSources(const CommandLine& cmd, const std::vector<std::string>& givenKeys);

// The BIF that the command line names in the KEY read from keyPath: a stored name (or the name
// as list shows it), else a decimal index into the file table. A name that the KEY stores at
// several entries is refused rather than resolved to one of them: the user cannot tell which
// would be used, and the index says it exactly. Complains and returns nothing when no single
// entry is named.
std::optional<std::size_t> ChooseBif(const TNWNKeyFile& key, const std::string& wanted, const std::string& keyPath);

// The same looked for in each KEY: a stored name (or an index when there is one KEY).
// Complains and returns nothing unless exactly one KEY names it.
std::optional<TBifRef> ChooseBifIn(const std::vector<TGameKey>& keys, const std::string& wanted);

// How a problem of one BIF names it: its stored name, after its KEY's file name when the
// command reads several KEYs (two KEYs may store one name).
std::string BifLabel(const std::vector<TGameKey>& keys, std::size_t key, std::size_t bif);

} // namespace vellocar::cli
