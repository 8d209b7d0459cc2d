// A build that dies on the spot at a chosen step, for the tests of what the next run makes of
// it: the process ends with no clean-up at all (no destructors, no removal of temporaries), and
// the system releases its locks, as with a killed process or a crash.
//
//   vellocar_kill_child rotate STEP BIF KEY         the rotation of the new BIF and KEY at their
//                                                   temporaries of token 0123456789abcdef, under the
//                                                   targets' locks, dying before change STEP
//   vellocar_kill_child rotate STEP BIF KEY FAILAT  the same, but its rename FAILAT fails as a
//                                                   file that another program holds does
//   vellocar_kill_child recover STEP KEY            the recovery of the journal beside KEY
//   vellocar_kill_child build STEP SRCDIR BIF KEY   a whole build, dying when the data pass
//                                                   reaches file STEP
//   vellocar_kill_child erf STEP SRCDIR HAK         the same for a pack into an archive
// Exit status: 3 when it died, 0 when it ran to the end first, 4 when it ended with the failed
// move's error, 2 for a wrong command line.

#include "base/Errors.h"
#include "operations/Build.h"
#include "operations/BuildGuard.h"
#include "operations/ErfBuild.h"
#include "operations/Rotation.h"
#include "platform/Platform.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace vellocar;

constexpr int kDied = 3;
constexpr int kFailed = 4;

class DyingMover : public TFileMover {
public:
    DyingMover(int step, int failAt = -1) : left_(step), failAt_(failAt) {}
    void Rename(const std::string& from, const std::string& to) override {
        Step();
        if (renames_++ == failAt_) throw EInOutError("File access denied", 16);
        TFileMover::Rename(from, to);
    }
    bool Remove(const std::string& path) override {
        Step();
        return TFileMover::Remove(path);
    }
    void WriteJournal(const std::string& path, const TJournal& journal) override {
        Step();
        TFileMover::WriteJournal(path, journal);
    }

private:
    void Step() {
        if (left_-- == 0) std::_Exit(kDied);
    }
    int left_;
    int failAt_;
    int renames_ = 0;
};

// The token of the rotation's temporaries, which the test writes before it starts this program.
constexpr std::uint64_t kTestToken = 0x0123456789abcdef;

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "rotate" && (argc == 5 || argc == 6)) {
        const std::string bif = argv[3], key = argv[4];
        const TTargetLocks locks({key, bif}, std::chrono::milliseconds(0), nullptr);
        DyingMover mover(std::atoi(argv[2]), argc == 6 ? std::atoi(argv[5]) : -1);
        TRotation rotation({bif, key}, mover, kTestToken);
        // As a build does, the new files are written only once the journals stand.
        std::vector<std::vector<std::uint8_t>> news;
        for (std::size_t i = 0; i < 2; ++i) {
            {
                platform::File file = platform::File::OpenRead(rotation.Temporary(i)); // closed before the delete
                news.emplace_back(static_cast<std::size_t>(file.Size()));
                file.ReadExact(news.back().data(), news.back().size());
            }
            platform::RemoveLeftover(rotation.Temporary(i));
        }
        rotation.Begin();
        for (std::size_t i = 0; i < 2; ++i) platform::WriteWholeFile(rotation.Temporary(i), news[i], true);
        try {
            rotation.Commit();
        } catch (const EInOutError&) {
            return kFailed;
        }
        return 0;
    }
    if (mode == "recover" && argc == 4) {
        const std::string journal = platform::SideFileFor(argv[3], kJournalKind);
        DyingMover mover(std::atoi(argv[2]));
        const auto scope = ReadJournalScope(journal, mover);
        if (!scope) return 0;
        const TTargetLocks locks(scope->Targets, std::chrono::milliseconds(0), nullptr);
        try {
            RecoverRotation(journal, mover);
        } catch (const EVellocarError&) {
            return kFailed;
        }
        return 0;
    }
    // Dies as the data pass comes to that file.
    const auto dying = [at = std::strtoull(argc > 2 ? argv[2] : "0", nullptr, 10)](std::uint64_t done, std::uint64_t) {
        if (done == at) std::_Exit(kDied);
    };
    if (mode == "build" && argc == 6) {
        const std::string source = argv[3];
        TBuildRequest request(source + platform::kPathSeparator, argv[4], argv[5]);
        request.Files = platform::ListPlainFiles(source);
        request.Progress = dying;
        BuildArchive(request);
        return 0;
    }
    if (mode == "erf" && argc == 5) {
        TErfBuildRequest request;
        request.SourceDir = std::string(argv[3]) + platform::kPathSeparator;
        request.Files = platform::ListPlainFiles(argv[3]);
        request.Path = argv[4];
        request.Progress = dying;
        BuildErfArchive(request);
        return 0;
    }
    return 2;
}
