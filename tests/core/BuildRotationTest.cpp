// The last phase of a build: the new BIF and KEY replace the current ones, which become the
// backups. A move that fails at any step must leave every file where it was, backups included.

#include "BuildTestHelpers.h"

#include "Errors.h"
#include "Rotation.h"

#include <gtest/gtest.h>

namespace vellocar::test {
namespace {

// The real moves, except that the rename numbered FailAt (from 0) fails, and so does every
// rename after it when UndoFails is set.
class FailingMover : public TFileMover {
public:
    void Rename(const std::string& from, const std::string& to) override {
        const int n = renames_++;
        if (n == FailAt || (UndoFails && n > FailAt && FailAt >= 0)) throw EInOutError("File access denied", 5);
        TFileMover::Rename(from, to);
    }
    int FailAt = -1;
    bool UndoFails = false;
    int Renames() const { return renames_; }

private:
    int renames_ = 0;
};

// A folder with the current BIF and KEY, their backups, and the new files beside them.
struct RotationFixture {
    TempDir Dir;
    std::string At(const std::string& name) const { return Dir / name; }
    std::vector<TReplacement> Files{{At("x.bif"), At(".x.bif.new")}, {At("k.key"), At(".k.key.new")}};

    explicit RotationFixture(bool withBackups = true, bool withCurrent = true) {
        if (withCurrent) {
            WriteFile(At("x.bif"), std::string("current bif"));
            WriteFile(At("k.key"), std::string("current key"));
        }
        if (withBackups) {
            WriteFile(At("x.bif.bak"), std::string("older bif"));
            WriteFile(At("k.key.bak"), std::string("older key"));
        }
        WriteFile(At(".x.bif.new"), std::string("new bif"));
        WriteFile(At(".k.key.new"), std::string("new key"));
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
            before.erase(".x.bif.new");
            before.erase(".k.key.new");
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

} // namespace
} // namespace vellocar::test
