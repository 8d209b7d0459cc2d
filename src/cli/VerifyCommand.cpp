// verify: a KEY checked against its BIFs (all, or those named), one line per problem; with
// --game, each KEY of the game in turn; or an archive of the ERF family (a HAK) on its own.

#include "Commands.h"
#include "formats/ErfCodec.h"
#include "formats/ErfFiles.h"
#include "KeyArguments.h"
#include "names/ArchiveNames.h"
#include "operations/KeyReading.h"
#include "operations/Verify.h"
#include "Output.h"
#include "platform/Platform.h"
#include "Usage.h"

#include <memory>

namespace vellocar::cli {

namespace {

void Summary(Output& out, const std::string& label, std::size_t bifs, std::size_t resources, std::size_t problems,
             const std::string& kind = "BIF") {
    out.Line(label + "verified " + WithThousands(bifs) + " " + kind + (bifs == 1 ? ", " : "s, ") +
             WithThousands(resources) + (resources == 1 ? " resource: " : " resources: ") +
             (problems == 0 ? std::string("no problems")
                            : WithThousands(problems) + (problems == 1 ? " problem" : " problems")));
}

// label comes before the summary line (the KEY's file name when the game's KEYs are verified).
// Every fault of the KEY's own structure is a problem of its own; its BIFs are then checked as
// far as the rest of it can be read.
int VerifyKey(const std::string& keyPath, const std::vector<std::string>& bifNames, bool quiet, Output& out,
              const std::string& label = {}) {
    std::vector<std::string> faults;
    const TKeyRead read = ReadKeyForCheck(
        keyPath, [&](const std::string& fault) { faults.push_back(fault); }, WaitNotice());
    if (!read.Recovery.Text.empty()) Complain("note: " + read.Recovery.Text);
    for (const std::string& fault : faults) Complain(keyPath + ": " + fault);
    const std::size_t keyFaults = faults.size();
    if (!read.Key) {
        if (!quiet) Summary(out, label, 0, 0, keyFaults);
        return kExitFailure;
    }
    const auto& key = read.Key;
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
        // A BIF whose name could not be read goes by its index.
        const std::string& stored = key->Filenames[problem.Bif].Filename;
        std::string line =
            (stored.empty() ? "BIF " + std::to_string(problem.Bif) : platform::ShownName({stored})) + ": ";
        if (!problem.Resource.empty()) line += problem.Resource + ": ";
        Complain(line + problem.Message);
    }
    const std::size_t problems = keyFaults + report.KeyProblems.size() + report.Problems.size();
    if (!quiet) Summary(out, label, report.Bifs, report.Resources, problems);
    return problems == 0 ? kExitOk : kExitFailure;
}

// The archive at path: every fault of its structure and resources (and, E1.0, their SHA-1s), one
// line each.
int VerifyErf(const std::string& path, bool quiet, Output& out) {
    std::size_t problems = 0;
    const auto erf = VerifyErfArchive(path, [&](const std::string& fault) {
        Complain(path + ": " + fault);
        ++problems;
    });
    if (!quiet)
        Summary(out, {}, erf ? 1 : 0, erf ? erf->Keys.size() : 0, problems,
                erf ? erfcodec::KindOf(erf->FileType) : "archive");
    return problems == 0 ? kExitOk : kExitFailure;
}

// Each KEY of the game in turn, with all its BIFs; or, when BIFs are named, each KEY that holds
// one of them, with those. A resource that a later KEY also holds is the game's own layering,
// no problem.
int VerifyGame(const CommandLine& cmd, const Operands& bifNames, Output& out) {
    if (bifNames.empty()) {
        int status = kExitOk;
        for (const std::string& path : CommandKeyPaths(cmd, {}))
            if (VerifyKey(path, {}, cmd.quiet, out, platform::FileNamePart(path) + ": ") != kExitOk)
                status = kExitFailure;
        return status;
    }
    const std::vector<TGameKey> keys = CommandKeys(cmd, {});
    std::vector<std::vector<std::string>> bifsOf(keys.size());
    for (const std::string& name : bifNames) {
        const auto ref = ChooseBifIn(keys, name);
        if (!ref) return kExitFailure;
        bifsOf[ref->Key].push_back(std::to_string(ref->Bif));
    }
    int status = kExitOk;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (!bifNames.empty() && bifsOf[k].empty()) continue;
        const std::string label = platform::FileNamePart(keys[k].Path) + ": ";
        if (VerifyKey(keys[k].Path, bifsOf[k], cmd.quiet, out, label) != kExitOk) status = kExitFailure;
    }
    return status;
}

} // namespace

int VerifyCommand(const CommandLine& cmd, const Operands& args, Output& out) {
    if (cmd.game) return VerifyGame(cmd, args, out);
    if (args.empty()) return UsageError("verify takes KEY and, optionally, BIFs", {kUsageVerify});
    if (FirstIsErf(cmd, args)) {
        if (args.size() != 1) return UsageError("verify takes a HAK alone", {kUsageErfOthers});
        return VerifyErf(args[0], cmd.quiet, out);
    }
    return VerifyKey(args[0], std::vector<std::string>(args.begin() + 1, args.end()), cmd.quiet, out);
}

} // namespace vellocar::cli
