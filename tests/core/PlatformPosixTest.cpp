// The POSIX side of the file-system layer: listing, stored-name resolution, renames, and
// files that are created afresh.
#ifndef _WIN32

#include "base/Errors.h"
#include "BuildTestHelpers.h"
#include "formats/KeyFiles.h"
#include "platform/Platform.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vellocar::platform {
namespace {

namespace fs = std::filesystem;
using test::Contains;

TEST(ListPlainFiles, RegularFilesOnlySortedWithoutRegardToCase) {
    test::TempDir dir;
    for (const char* name : {"b.txt", "A.txt", "a.txt", "C.2da", "_x", ".hidden"}) test::WriteFile(dir / name, "x");
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "b.txt", dir / "link.txt"); // counts as its target, a file
    fs::create_symlink(dir / "folder", dir / "linkdir"); // a folder: skipped
    fs::create_symlink(dir / "missing", dir / "dangling"); // points nowhere: skipped
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0); // never to be opened

    // Letters fold, ties go by bytes ("A" before "a"), and '_' sorts as its own byte.
    EXPECT_EQ(ListPlainFiles(dir.path().string()),
              (std::vector<std::string>{"A.txt", "a.txt", "b.txt", "C.2da", "link.txt", "_x"}));
    EXPECT_EQ(ListPlainFiles(dir.withSeparator()).size(), 6u);
    EXPECT_TRUE(ListPlainFiles(dir / "nowhere").empty());
}

TEST(ResolveStoredName, BackslashesAndLetterCase) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "Data");
    test::WriteFile(dir / "Data/Models_01.BIF", "x");
    EXPECT_EQ(ResolveStoredName(dir.path().string(), "data\\models_01.bif"), dir / "Data/Models_01.BIF");
    EXPECT_EQ(ResolveStoredName(dir.path().string(), "Data\\Models_01.BIF"), dir / "Data/Models_01.BIF");
    // An exact match wins over one that differs in case.
    test::WriteFile(dir / "Data/models_01.bif", "y");
    EXPECT_EQ(ResolveStoredName(dir.path().string(), "Data\\models_01.bif"), dir / "Data/models_01.bif");
    // What does not exist at all comes back as stored, with "/" for "\".
    EXPECT_EQ(ResolveStoredName(dir.path().string(), "data\\none\\x.bif"), dir / "Data/none/x.bif");
    EXPECT_EQ(ResolveStoredName(dir.withSeparator(), "other.bif"), dir / "other.bif");
}

TEST(PathParts, FolderAndFileName) {
    EXPECT_EQ(FolderPart("/a/b/c.key"), "/a/b");
    EXPECT_EQ(FolderPart("/c.key"), "/");
    EXPECT_EQ(FolderPart("c.key"), "");
    EXPECT_EQ(FileNamePart("/a/b/c.key"), "c.key");
    EXPECT_EQ(FileNamePart("c.key"), "c.key");
    EXPECT_EQ(FileNamePart("/a/"), "");
}

TEST(RenameFile, ErrorsCarryTheWindowsCodesAndTexts) {
    test::TempDir dir;
    test::WriteFile(dir / "a", "A");
    test::WriteFile(dir / "b", "B");
    auto failure = [](const std::string& from, const std::string& to, bool replace) {
        try {
            RenameFile(from, to, replace);
        } catch (const EInOutError& e) {
            return std::to_string(e.ErrorCode) + " " + e.what();
        }
        return std::string("no error");
    };
    // The code is the system's own (errno here); the message is the same on every system.
    EXPECT_EQ(failure(dir / "missing", dir / "c", false), std::to_string(ENOENT) + " File not found");
    EXPECT_EQ(failure(dir / "a/x", dir / "c", false), std::to_string(ENOTDIR) + " Invalid filename");
    EXPECT_EQ(failure(dir / "a", dir / std::string(300, 'n'), false),
              std::to_string(ENAMETOOLONG) + " Invalid filename");
    // Without replace an existing target stays, and so does the source.
    EXPECT_EQ(failure(dir / "a", dir / "b", false),
              std::to_string(EEXIST) + " I/O error " + std::to_string(EEXIST) + " (File exists)");
    EXPECT_EQ(test::ReadFile(dir / "b"), std::vector<unsigned char>{'B'});
    EXPECT_TRUE(fs::exists(dir / "a"));

    RenameFile(dir / "a", dir / "b", true);
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(test::ReadFile(dir / "b"), std::vector<unsigned char>{'A'});
    RenameFile(dir / "b", dir / "c");
    EXPECT_TRUE(fs::exists(dir / "c"));
}

TEST(File, CreateReplacesWhatStandsAtTheName) {
    test::TempDir dir;
    test::WriteFile(dir / "target", "untouched");
    fs::create_symlink(dir / "target", dir / "link");
    {
        File f = File::Create(dir / "link");
        f.WriteAll("new", 3);
        f.Close();
    }
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(test::ReadFile(dir / "link"), (std::vector<unsigned char>{'n', 'e', 'w'}));
    EXPECT_EQ(test::ReadFile(dir / "target").size(), 9u);

    fs::create_directory(dir / "folder");
    try {
        File::Create(dir / "folder");
        FAIL() << "a folder was replaced";
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(Contains(e.what(), "Cannot create file \"" + (dir / "folder") + "\". "));
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(File, ReadsCopiesAndReportsShortSources) {
    test::TempDir dir;
    test::WriteFile(dir / "src", "0123456789");
    File src = File::OpenRead(dir / "src");
    EXPECT_EQ(src.Size(), 10u);
    char head[4] = {};
    src.ReadExact(head, 4);
    EXPECT_EQ(std::string(head, 4), "0123");
    {
        File out = File::Create(dir / "out");
        out.WriteAll("<", 1);
        out.CopyFrom(src, 3, 5);
        out.WriteAll(">", 1);
        out.Close();
    }
    const auto copied = test::ReadFile(dir / "out");
    EXPECT_EQ(std::string(copied.begin(), copied.end()), "<34567>");

    File out = File::Create(dir / "short");
    EXPECT_THROW(out.CopyFrom(src, 8, 5), EReadError);
    char rest[10];
    src.Seek(8);
    EXPECT_THROW(src.ReadExact(rest, 3), EReadError);

    try {
        File::OpenRead(dir / "missing");
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + (dir / "missing") + "\". No such file or directory");
    }
    EXPECT_THROW(File::OpenRead(dir.path().string()), EFOpenError);
}

TEST(File, OpenReadRefusesAFifoWithoutWaitingForAWriter) {
    test::TempDir dir;
    const std::string fifo = dir / "x.key";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should an open wait for a writer after all, this thread plays one and lets it go on,
    // so that the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::string message;
    try {
        File::OpenRead(fifo);
    } catch (const EFOpenError& e) {
        message = e.what();
    } catch (const std::exception& e) {
        message = std::string("unexpected: ") + e.what();
    }
    EXPECT_EQ(message.rfind("Cannot open file \"" + fifo + "\". ", 0), 0u) << message;

    // A KEY reader given the FIFO refuses it the same way.
    TNWNKeyFile key;
    EXPECT_THROW(key.LoadFromFile(fifo), EFOpenError);
    done = true;
    writer.join();
}

TEST(PathQueries, ExistsStatSameFileAndTemporaryNames) {
    test::TempDir dir;
    test::WriteFile(dir / "f", "abc");
    fs::create_symlink(dir / "missing", dir / "dangling");
    EXPECT_TRUE(PathExists(dir / "f"));
    EXPECT_TRUE(PathExists(dir / "dangling")); // an entry of that name exists
    EXPECT_FALSE(Stat(dir / "dangling"));
    EXPECT_EQ(Stat(dir / "f")->Size, 3u);
    EXPECT_TRUE(Stat(dir.path().string())->IsDirectory);

    fs::create_hard_link(dir / "f", dir / "g");
    EXPECT_TRUE(SameFile(dir / "f", dir / "g"));
    EXPECT_FALSE(SameFile(dir / "f", dir / "dangling"));

    const std::string tmp = TemporaryNameBeside(dir / "x.key");
    EXPECT_EQ(FolderPart(tmp), dir.path().string());
    EXPECT_EQ(FileNamePart(tmp)[0], '.');
    EXPECT_FALSE(PathExists(tmp));
    EXPECT_NE(tmp, TemporaryNameBeside(dir / "x.key"));

    EXPECT_TRUE(RemoveFile(dir / "g"));
    EXPECT_FALSE(RemoveFile(dir / "g"));
    CreateDirectories(dir / "p/q/r");
    EXPECT_TRUE(fs::is_directory(dir / "p/q/r"));
    EXPECT_THROW(CreateDirectories(dir / "f/sub"), EFCreateError);
}

} // namespace
} // namespace vellocar::platform

#endif
