// The last phase of a build: the new BIF and KEY replace the current ones, which become the
// backups. A move that fails at any step must leave every file where it was, backups included.

#include "BuildTestHelpers.h"

#include "base/Errors.h"
#include "formats/Journal.h"
#include "operations/Build.h"
#include "operations/BuildGuard.h"
#include "operations/Rotation.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vellocar::test {
namespace {

// A whole rotation of temporaries that are already written.
void ReplaceKeepingBackups(const std::vector<std::string>& files, TFileMover& mover) {
    TRotation rotation(files, mover, kTestToken);
    rotation.Begin();
    rotation.Commit();
}
void ReplaceKeepingBackups(const std::vector<std::string>& files) {
    TFileMover mover;
    ReplaceKeepingBackups(files, mover);
}

// The real moves, except that the rename numbered FailAt (from 0) fails, and so does every
// rename after it when UndoFails is set.
class FailingMover : public TFileMover {
public:
    void Rename(const std::string& from, const std::string& to) override {
        const int n = renames_++;
        if (n == FailAt || (UndoFails && n > FailAt && FailAt >= 0)) throw EInOutError("File access denied", 5);
        TFileMover::Rename(from, to);
    }
    // Deletes fail from the one numbered RemovesFailFrom on.
    bool Remove(const std::string& path) override { return removes_++ < RemovesFailFrom && TFileMover::Remove(path); }
    int FailAt = -1;
    bool UndoFails = false;
    int RemovesFailFrom = 1 << 30;
    int Renames() const { return renames_; }

private:
    int renames_ = 0;
    int removes_ = 0;
};

// The exit status of the kill child (KillChild.cpp, beside this test program) run with args.
int RunKillChild(const std::vector<std::string>& args) {
#ifdef _WIN32
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"" + (std::filesystem::path(self).parent_path() / VELLOCAR_KILL_CHILD).string() + "\"";
    for (const std::string& arg : args) command += " \"" + arg + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Under a loaded Wine, starting a process now and then fails at once; nothing has run then,
    // so a second try is the same test.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started =
            CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
        if (!started) Sleep(200);
    }
    if (!started) {
        ADD_FAILURE() << "the child did not start: error " << GetLastError();
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
#else
    const std::string child = (std::filesystem::read_symlink("/proc/self/exe").parent_path() / VELLOCAR_KILL_CHILD);
    std::vector<char*> argv{const_cast<char*>(child.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(child.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}
constexpr int kChildDied = 3;

// A folder's files but the empty lock a killed build leaves beside a target that a reader of the
// KEY does not know of (the BIF's): the next build of that BIF takes it over.
Snapshot WithoutLocks(Snapshot files) {
    std::erase_if(files, [](const auto& file) { return file.first.ends_with(".lock") && file.second.empty(); });
    return files;
}
constexpr int kChildFailed = 4;

// A folder with the current BIF and KEY, their backups, and the new files beside them.
struct RotationFixture {
    TempDir Dir;
    std::string At(const std::string& name) const { return Dir / name; }
    std::vector<std::string> Files{At("x.bif"), At("k.key")};

    // sameSizes: the new files as long as the current ones, as a pack of the same names gives.
    explicit RotationFixture(bool withBackups = true, bool withCurrent = true, bool sameSizes = false) {
        if (withCurrent) {
            WriteFile(At("x.bif"), std::string("current bif"));
            WriteFile(At("k.key"), std::string("current key"));
        }
        if (withBackups) {
            WriteFile(At("x.bif.bak"), std::string("older bif"));
            WriteFile(At("k.key.bak"), std::string("older key"));
        }
        WriteFile(At(Temp("x.bif")), std::string(sameSizes ? "new bif 123" : "new bif"));
        WriteFile(At(Temp("k.key")), std::string(sameSizes ? "new key 123" : "new key"));
    }
    std::string Content(const std::string& name) const {
        const Bytes bytes = ReadFile(At(name));
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST(Rotation, TheReplacedFilesBecomeTheBackupsAndOnlyThenTheOlderBackupsGo) {
    for (const bool withCurrent : {true, false}) {
        RotationFixture f(true, withCurrent);
        ReplaceKeepingBackups(f.Files);
        EXPECT_EQ(f.Content("x.bif"), "new bif");
        EXPECT_EQ(f.Content("k.key"), "new key");
        // Each backup name holds what this rotation replaced, or nothing.
        const Snapshot after = TakeSnapshot(f.Dir.path());
        EXPECT_EQ(Names(after), "k.key k.key.bak x.bif x.bif.bak ");
        // A backup is only ever replaced by a newer one: with no current file, it stays.
        EXPECT_EQ(f.Content("k.key.bak"), withCurrent ? "current key" : "older key");
    }
}

TEST(Rotation, AFailureAtEveryStepPutsEveryFileBack) {
    for (const bool withBackups : {true, false}) {
        // Count the renames of a rotation that goes through, then fail each one in turn.
        int steps = 0;
        {
            RotationFixture f(withBackups);
            FailingMover counter;
            ReplaceKeepingBackups(f.Files, counter);
            steps = counter.Renames();
        }
        ASSERT_EQ(steps, withBackups ? 6 : 4);
        for (int failAt = 0; failAt < steps; ++failAt) {
            RotationFixture f(withBackups);
            // The new files go with the failed rotation; everything else is as it was.
            Snapshot before = TakeSnapshot(f.Dir.path());
            before.erase(Temp("x.bif"));
            before.erase(Temp("k.key"));
            FailingMover mover;
            mover.FailAt = failAt;
            try {
                ReplaceKeepingBackups(f.Files, mover);
                ADD_FAILURE() << "step " << failAt << " did not fail";
            } catch (const EInOutError& e) {
                EXPECT_NE(std::string(e.what()).find("File access denied"), std::string::npos) << e.what();
                EXPECT_NE(std::string(e.what()).find("back at their names"), std::string::npos) << e.what();
            }
            EXPECT_TRUE(TakeSnapshot(f.Dir.path()) == before)
                << "step " << failAt << ": " << Names(TakeSnapshot(f.Dir.path()));
        }
    }
}

TEST(Rotation, WhatAFailedDeleteLeavesIsClearedByTheNextReaderAndBuild) {
    // Every delete of a rotation that went through, or of one whose move failed, fails from the
    // n-th on: the next reader leaves the new pair (or the old) and no journal, and the next
    // build of the targets removes the temporaries left, so no later run is blocked.
    for (const int failAt : {-1, 2}) {
        for (int n = 0; n < 6; ++n) {
            RotationFixture f;
            FailingMover mover;
            mover.FailAt = failAt, mover.RemovesFailFrom = n;
            try {
                ReplaceKeepingBackups(f.Files, mover);
            } catch (const EInOutError&) {}
            EXPECT_NO_THROW(RecoverInterruptedBuild(f.At("k.key"))) << failAt << "/" << n;
            EXPECT_EQ(f.Content("k.key"), failAt < 0 ? "new key" : "current key") << failAt << "/" << n;
            EXPECT_FALSE(Contains(Names(TakeSnapshot(f.Dir.path())), "journal")) << failAt << "/" << n;
            for (const char* target : {"x.bif", "k.key"}) RemoveLeftTemporaries(f.At(target));
            EXPECT_EQ(Names(WithoutLocks(TakeSnapshot(f.Dir.path()))), "k.key k.key.bak x.bif x.bif.bak ")
                << failAt << "/" << n;
        }
    }
}

TEST(Rotation, WhatCannotBePutBackIsNamedWithWhereItIs) {
    // The KEY's move fails, and so does every move back: nothing is deleted, and the message
    // says where each file is.
    RotationFixture f;
    FailingMover mover;
    mover.FailAt = 4; // after both backups stepped aside and the BIF went into place
    mover.UndoFails = true;
    std::string message;
    try {
        ReplaceKeepingBackups(f.Files, mover);
    } catch (const EInOutError& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("not everything could be put back"), std::string::npos) << message;
    EXPECT_NE(message.find("The new file is at \"" + f.At("x.bif") + "\""), std::string::npos) << message;
    EXPECT_NE(message.find("The previous one is at \"" + f.At("x.bif.bak") + "\""), std::string::npos) << message;
    EXPECT_NE(message.find("The earlier backup is at"), std::string::npos) << message;
    // Every byte is still somewhere: the older backups under their temporary names.
    std::size_t olderBackups = 0;
    for (const auto& [name, bytes] : TakeSnapshot(f.Dir.path()))
        olderBackups += std::string(bytes.begin(), bytes.end()).rfind("older", 0) == 0;
    EXPECT_EQ(olderBackups, 2u);
}

TEST(Rotation, AKillAtEveryStepIsFinishedOrUndoneByTheNextRun) {
    // The child dies before each change in turn; the next run that reads the KEY finds its
    // journal and leaves the old pair or the new one, both backup generations where they
    // belong, and nothing hidden behind.
    for (const bool withBackups : {true, false}) {
        for (int step = 0;; ++step) {
            RotationFixture f(withBackups);
            const Snapshot untouched = TakeSnapshot(f.Dir.path());
            Snapshot before = untouched;
            before.erase(Temp("x.bif"));
            before.erase(Temp("k.key"));
            Snapshot after = before;
            after["x.bif"] = Bytes(std::string("new bif"));
            after["k.key"] = Bytes(std::string("new key"));
            after["x.bif.bak"] = Bytes(std::string("current bif"));
            after["k.key.bak"] = Bytes(std::string("current key"));
            const int status = RunKillChild({"rotate", std::to_string(step), f.At("x.bif"), f.At("k.key")});
            if (status == 0) {
                EXPECT_GT(step, 6) << "every step was stopped at once";
                EXPECT_TRUE(TakeSnapshot(f.Dir.path()) == after) << Names(TakeSnapshot(f.Dir.path()));
                break;
            }
            ASSERT_EQ(status, kChildDied) << "step " << step;
            const TRecoveryNote note = RecoverInterruptedBuild(f.At("k.key"));
            const Snapshot recovered = WithoutLocks(TakeSnapshot(f.Dir.path()));
            // Killed before its first journal, a build has made nothing yet (the new files here
            // are the test's own).
            EXPECT_TRUE(recovered == before || recovered == after || (step == 0 && recovered == untouched))
                << "step " << step << ": " << Names(recovered) << "; " << note.Text;
        }
    }
}

TEST(Rotation, AKilledBuildWhoseNewFileIsLostIsUndoneAndADamagedJournalIsLeftAlone) {
    // Killed with the new BIF in place and the new KEY still waiting: it is finished, unless
    // the new KEY is gone, and then undone to the old pair, byte for byte.
    constexpr int kAfterTheBifIsPlaced = 7;
    RotationFixture f;
    Snapshot before = TakeSnapshot(f.Dir.path());
    before.erase(Temp("x.bif"));
    before.erase(Temp("k.key"));
    ASSERT_EQ(RunKillChild({"rotate", std::to_string(kAfterTheBifIsPlaced), f.At("x.bif"), f.At("k.key")}), kChildDied);
    ASSERT_EQ(f.Content("x.bif"), "new bif");
    std::filesystem::remove(f.At(Temp("k.key")));

    // A journal that is not whole is never acted on: every file stays where the child left it.
    const std::string journal = platform::SideFileFor(f.At("k.key"), kJournalKind);
    const Bytes good = ReadFile(journal);
    for (std::size_t keep : {good.size() - 1, std::size_t{9}}) {
        Bytes damaged(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
        if (keep == 9) damaged = good, damaged[30] ^= 1;
        WriteFile(journal, damaged);
        const Snapshot left = TakeSnapshot(f.Dir.path());
        EXPECT_THROW(RecoverInterruptedBuild(f.At("k.key")), EJournalError);
        EXPECT_TRUE(TakeSnapshot(f.Dir.path()) == left);
    }
    WriteFile(journal, good);
    EXPECT_TRUE(Contains(RecoverInterruptedBuild(f.At("k.key")).Text, "undid"));
    EXPECT_TRUE(TakeSnapshot(f.Dir.path()) == before) << Names(TakeSnapshot(f.Dir.path()));
}

TEST(Rotation, ARecoveryThatCannotFinishSaysWhereEachFileIsAndKeepsTheJournal) {
    constexpr int kAfterTheBifIsPlaced = 7;
    RotationFixture f;
    ASSERT_EQ(RunKillChild({"rotate", std::to_string(kAfterTheBifIsPlaced), f.At("x.bif"), f.At("k.key")}), kChildDied);
    const std::string journal = platform::SideFileFor(f.At("k.key"), kJournalKind);
    FailingMover mover;
    mover.FailAt = 0;
    try {
        RecoverRotation(journal, mover);
        ADD_FAILURE() << "the failed move was not reported";
    } catch (const EInOutError& e) {
        for (const std::string& part : {std::string("File access denied"), "\"" + f.At("x.bif") + "\" is the new file",
                                        "waits at \"" + f.At(Temp("k.key")) + "\"", "\"" + journal + "\" stays"})
            EXPECT_TRUE(Contains(e.what(), part));
    }
    EXPECT_TRUE(Contains(RecoverInterruptedBuild(f.At("k.key")).Text, "finished"));
    EXPECT_EQ(f.Content("k.key"), "new key");
}

TEST(Rotation, ABuildKilledWhileWritingLeavesNothingOnceTheKeyIsRead) {
    BuildFixture f;
    for (int i = 0; i < 4; ++i) f.AddFile("f" + std::to_string(i) + ".2da", 1000);
    ASSERT_TRUE(f.Build("x.bif", "k.key", false));
    Snapshot before = TakeSnapshot(f.Out);
    std::string source = f.Source;
    source.pop_back();
    // A pack into a HAK alike: the HAK that stands is what its next reader finds.
    ASSERT_EQ(RunKillChild({"erf", "999", source, f.OutPath("x.hak")}), 0);
    before = TakeSnapshot(f.Out);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"build", "2", source, f.OutPath("x.bif"), f.OutPath("k.key")},
          std::vector<std::string>{"erf", "2", source, f.OutPath("x.hak")}}) {
        ASSERT_EQ(RunKillChild(args), kChildDied);
        EXPECT_GT(TakeSnapshot(f.Out).size(), before.size()) << "the child left no temporaries to clean up";
        const TRecoveryNote note = RecoverInterruptedBuild(args.back());
        EXPECT_FALSE(note.FilesChanged);
        EXPECT_TRUE(TakeSnapshot(f.Out) == before) << Names(TakeSnapshot(f.Out));
    }
}

TEST(Build, TwoBuildsOfOneKeyAtOnceBothRegisterAndAWaitIsShownAndBounded) {
    // Two appends of different BIFs into one KEY: the second waits for the first and extends
    // the KEY as the first left it.
    for (int round = 0; round < 5; ++round) {
        BuildFixture a, b;
        a.AddFile("a.2da", 5000);
        b.AddFile("b.2da", 5000);
        const std::string key = a.OutPath("k.key");
        // Each build's failure is reported after both have ended, never by a thread left running.
        std::string otherFailed;
        std::thread other([&] {
            try {
                BuildArchive(a.Request(a.OutPath("a.bif"), key, true));
            } catch (const std::exception& e) {
                otherFailed = e.what();
            }
        });
        try {
            BuildArchive(b.Request(a.OutPath("b.bif"), key, true));
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << ", second build: " << e.what();
        }
        other.join();
        EXPECT_EQ(otherFailed, "") << "round " << round << ", first build";
        EXPECT_EQ(ParseKey(ReadFile(key)).BifCount, 2u) << "round " << round;
    }

    // A build that cannot get in within its wait is refused, and says what it waited for.
    BuildFixture f;
    f.AddFile("a.2da", 1);
    const TTargetLocks held({f.OutPath("k.key")}, std::chrono::milliseconds(0), nullptr);
    TBuildRequest request = f.Request(f.OutPath("x.bif"), f.OutPath("K.KEY"), false);
    request.LockWait = std::chrono::milliseconds(300);
    std::vector<std::string> notices;
    request.Waiting = [&notices](const std::string& message) { notices.push_back(message); };
    const bool foldsCase = platform::FolderNameRules(f.Out) == platform::NameRules::Windows;
    if (!foldsCase) request.KeyPath = f.OutPath("k.key");
    EXPECT_THROW(BuildArchive(request), EBuildRefused);
    ASSERT_FALSE(notices.empty());
    EXPECT_TRUE(Contains(notices.front(), "waiting for another build of \"" + request.KeyPath + "\""));
    EXPECT_EQ(Names(TakeSnapshot(f.Out)), foldsCase ? "k.key.lock " : ".K.KEY.lock ");
}

TEST(Rotation, AFailedMoveThenAKillAtEveryLaterStepLeavesTheOldPairOrTheNew) {
    // A move refused (the game holds the file), then a kill at each later step, then a kill at
    // each step of the next run's recovery: the run after that leaves the old pair or the new
    // one, byte for byte, never the current KEY taken for the new one (both are one size).
    for (int failAt = 0; failAt < 6; ++failAt) {
        for (int step = 1;; ++step) {
            RotationFixture f(true, true, true);
            Snapshot before = TakeSnapshot(f.Dir.path()), after = before;
            for (const std::string name : {"x.bif", "k.key"}) {
                after[name + ".bak"] = after[name];
                after[name] = after[Temp(name)];
                before.erase(Temp(name)), after.erase(Temp(name));
            }
            const int status =
                RunKillChild({"rotate", std::to_string(step), f.At("x.bif"), f.At("k.key"), std::to_string(failAt)});
            if (status == kChildFailed) {
                EXPECT_TRUE(TakeSnapshot(f.Dir.path()) == before) << failAt << "/" << step;
                break;
            }
            ASSERT_EQ(status, kChildDied) << failAt << "/" << step;
            // Windows starts processes slowly: the second kill there only for the KEY's move.
            const int lastRecoveryKill = platform::kPathSeparator == '\\' && failAt != 4 ? 0 : 40;
            int recoveryKill = 0;
            while (recoveryKill < lastRecoveryKill &&
                   RunKillChild({"recover", std::to_string(recoveryKill), f.At("k.key")}) == kChildDied)
                ++recoveryKill;
            const TRecoveryNote note = RecoverInterruptedBuild(f.At("k.key"));
            const Snapshot recovered = WithoutLocks(TakeSnapshot(f.Dir.path()));
            EXPECT_TRUE(recovered == before || recovered == after)
                << failAt << "/" << step << "/" << recoveryKill << ": " << Names(recovered) << "; " << note.Text;
        }
    }
}

// A KEY and BIF in out/, a file of the user's beside them and one in another folder.
struct PlantedFixture : BuildFixture {
    std::string Other = (Dir.path() / "other").string();
    std::string Key = OutPath("mod.key"), Journal;
    PlantedFixture() {
        std::filesystem::create_directory(Other);
        WriteFile(Other + "/victim.txt", std::string("the user's"));
        WriteFile(OutPath("readme.txt"), std::string("the mod's"));
        AddFile("a.2da", 100);
        EXPECT_TRUE(Build("x.bif", "mod.key", false));
        Journal = platform::SideFileFor(Key, kJournalKind);
    }
    std::pair<Snapshot, Snapshot> Look() const { return {TakeSnapshot(Out), TakeSnapshot(Other)}; }
    void Pack() { BuildArchive(Request(OutPath("x.bif"), Key, true)); }
};

TEST(Recovery, AJournalThatNamesWhatIsNotItsOwnIsRefusedByReadersAndBuildsAndChangesNothing) {
    PlantedFixture f;
    const std::string folder = platform::FolderPart(platform::AbsolutePath(f.Key));
    const std::string other = platform::AbsolutePath(f.Other + "/victim.txt");
    const std::string peer =
        platform::JoinPath(folder, platform::kPathSeparator == '/' ? ".README.TXT.journal" : "readme.txt.journal");
    TJournal good{TJournalPhase::Rotating, kTestToken, {}};
    for (const char* name : {"x.bif", "mod.key"})
        good.Files.push_back({folder, name, Temp(name), "", true, false, {7, 1, 70}, {7, 1, 71}});
    const auto readme = [&](TJournal& j) { j.Files[0].Name = "readme.txt", j.Files[0].Temporary = Temp("readme.txt"); };
    struct Row {
        std::function<void(TJournal&)> Plant;
        std::string Named; // in the message
        std::function<void()> Beside = nullptr; // what else the mod's folder holds
    };
    std::vector<Row> planted{
        {[&](TJournal& j) { j.Files[1].Folder = platform::FolderPart(other); },
         platform::JoinPath(platform::FolderPart(other), "mod.key")},
        {[](TJournal& j) { j.Files[1].Name = "../other/victim.txt"; }, "../other/victim.txt"},
        {readme, "readme.txt"},
        {[](TJournal& j) { j.Files[1].Temporary = "../other/victim.txt"; }, "../other/victim.txt"},
        // User files, and the forms earlier versions accepted, at every temporary's slot.
        {[](TJournal& j) { j.Files[1].Temporary = "readme.txt"; }, "readme.txt"},
        {[](TJournal& j) { j.Files[1].Temporary = "mod.key.old"; }, "mod.key.old"},
        {[](TJournal& j) { j.Files[1].Temporary = Temp("mod.key", "1-0"); }, Temp("mod.key", "1-0")},
        {[](TJournal& j) { j.Files[1].Temporary = Temp("x.bif"); }, Temp("x.bif")},
        {[](TJournal& j) { j.Files[1].Temporary = Temp("mod.key", "0123456789abcdee"); }, "0123456789abcdee"},
        {[&](TJournal& j) { j.Files[1].Aside = other; }, other},
        {[](TJournal& j) { j.Files[0].Aside = "readme.txt"; }, "readme.txt"},
        {[](TJournal& j) { j.Files[0].Folder = "out"; }, "out"},
        {[](TJournal& j) { j.Phase = TJournalPhase::Writing, j.Files[1].Temporary = "readme.txt"; }, "readme.txt"},
        // A target with no journal beside it: its temporary is not this journal's, in any phase.
        {[&](TJournal& j) { readme(j), j.Phase = TJournalPhase::Writing; }, "readme.txt"},
        {[&](TJournal& j) { readme(j), j.Phase = TJournalPhase::Undone; }, "readme.txt"},
        // A mark that gives no identity, or the same one for the new file and the old.
        {[](TJournal& j) {
             j.Files[1].New = {7, 0, 0, 5, true};
         },
         "mod.key"},
        {[](TJournal& j) { j.Files[0].Old = j.Files[0].New; }, "x.bif"},
        // The KEY's own folder under other spellings is the same folder: one file named twice.
        {[&](TJournal& j) { j.Files[0] = j.Files[1], j.Files[0].Folder = "/proc/self/root" + folder; }, "mod.key"},
        {[&](TJournal& j) { j.Files[0] = j.Files[1], j.Files[0].Folder = folder + "/self"; }, "mod.key",
         [&] { std::filesystem::create_directory_symlink(".", f.OutPath("self")); }},
        // A second journal that is the first under another name, or a link to it.
        {readme, f.Journal, [&] { std::filesystem::create_hard_link(f.Journal, peer); }},
        {readme, peer, [&] { std::filesystem::create_symlink(f.Journal, peer); }},
    };
    if (platform::kPathSeparator == '\\') {
        // Spellings of the KEY's folder that Windows takes for it: a trailing dot, forward slashes.
        planted.push_back({[&](TJournal& j) { j.Files[0] = j.Files[1], j.Files[0].Folder = folder + "."; }, "mod.key"});
        planted.push_back({[&](TJournal& j) {
                               j.Files[0] = j.Files[1];
                               std::replace(j.Files[0].Folder.begin() + 3, j.Files[0].Folder.end(), '\\', '/');
                           },
                           "mod.key"});
    }
    for (const auto& plant : planted) {
        if (plant.Beside && platform::kPathSeparator == '\\') continue; // links: the Windows stage's own
        if (plant.Named.starts_with("/proc") && !std::filesystem::exists("/proc/self/root")) continue;
        TJournal journal = good;
        plant.Plant(journal);
        WriteFile(f.Journal, journalcodec::Serialize(journal));
        WriteFile(f.OutPath(Temp("readme.txt")), std::string("the mod's"));
        if (plant.Beside) plant.Beside();
        const auto before = f.Look();
        for (const bool reader : {true, false}) {
            try {
                reader ? void(RecoverInterruptedBuild(f.Key)) : f.Pack();
                ADD_FAILURE() << "acted on a journal naming " << plant.Named;
            } catch (const EVellocarError& e) {
                EXPECT_TRUE(Contains(e.what(), plant.Named) && Contains(e.what(), "nothing was changed")) << e.what();
            }
            EXPECT_TRUE(f.Look() == before) << plant.Named;
        }
        for (const std::string& made : {f.Journal, peer, f.OutPath("self")}) std::filesystem::remove(made);
    }
}

TEST(Recovery, AReaderWaitsForABuildThatIsRunningThenReads) {
    PlantedFixture f;
    std::optional<TTargetLocks> running(std::in_place, std::vector<std::string>{f.Key}, kDefaultLockWait, nullptr);
    std::promise<std::string> told;
    TRecoveryNote note;
    std::thread reader([&] {
        bool first = true; // told once it waits; told nothing when it did not wait
        note = RecoverInterruptedBuild(f.Key, [&](const std::string& message) {
            if (std::exchange(first, false)) told.set_value(message);
        });
        if (first) told.set_value("");
    });
    EXPECT_TRUE(Contains(told.get_future().get(), "waiting for another build of \"" + f.Key + "\""));
    running.reset(); // the build ends: the reader goes on, and what it read before is stale
    reader.join();
    EXPECT_TRUE(note.FilesChanged);
}

TEST(Recovery, WhatStandsAtASideFilesNameIsNeverFollowedNorTakenAsANote) {
    PlantedFixture f;
    // A lock written by an earlier version, whose note names files that are not locks.
    const std::string lock = platform::SideFileFor(f.Key, kLockKind);
    WriteFile(lock, f.Other + "/victim.txt\n" + f.OutPath("readme.txt") + "\n");
    // Beside it, the empty lock of a file that is no target: no one's to take or remove.
    const std::string foreign = platform::SideFileFor(f.OutPath("readme.txt"), kLockKind);
    WriteFile(foreign, std::string());
    const Snapshot other = TakeSnapshot(f.Other);
    f.Pack();
    RecoverInterruptedBuild(f.Key);
    EXPECT_TRUE(TakeSnapshot(f.Other) == other && Contains(Names(TakeSnapshot(f.Out)), "readme.txt"));
    EXPECT_TRUE(platform::LookAt(foreign));
    std::filesystem::remove(foreign);
    // A folder, a link or a FIFO at the name of a lock, a journal or a journal's replacement
    // (where the system makes links and FIFOs for anyone).
    for (const std::string& side : {lock, f.Journal, f.Journal + ".new"}) {
        for (int kind = 0; kind < (platform::kPathSeparator == '/' ? 3 : 1); ++kind) {
            if (kind == 0) std::filesystem::create_directory(side);
            if (kind == 1) std::filesystem::create_symlink(f.Other + "/victim.txt", side);
#ifndef _WIN32
            if (kind == 2) ::mkfifo(side.c_str(), 0600);
#endif
            const auto before = f.Look();
            try {
                f.Pack();
                ADD_FAILURE() << side << " was used";
            } catch (const EVellocarError& e) {
                EXPECT_TRUE(Contains(e.what(), "\"" + side + "\""));
            }
            std::string said; // a reader tells of it, in an error or a note
            try {
                said = RecoverInterruptedBuild(f.Key).Text;
            } catch (const EVellocarError& e) {
                said = e.what();
            }
            EXPECT_TRUE(Contains(said, "\"" + side + "\""));
            EXPECT_TRUE(f.Look() == before) << side << " " << kind;
            std::filesystem::remove(side);
        }
    }
}

TEST(Build, TwoTargetsThatShareALockNameTakeItOnce) {
    BuildFixture f;
    f.AddFile("a.2da", 10);
    if (platform::FolderNameRules(f.Out) != platform::NameRules::Exact) GTEST_SKIP() << "one file there";
    TBuildRequest request = f.Request(f.OutPath("M.BIN"), f.OutPath("m.bin"), false);
    request.LockWait = std::chrono::milliseconds(500);
    BuildArchive(request);
    EXPECT_EQ(Names(TakeSnapshot(f.Out)), "M.BIN m.bin ");
}

} // namespace
} // namespace vellocar::test
