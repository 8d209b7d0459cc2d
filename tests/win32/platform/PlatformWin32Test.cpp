// The Windows file-system layer on its own: what it opens, what it refuses and with which text.

#include "base/Errors.h"
#include "platform/Platform.h"
#include "WinTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vellocar {
namespace {

using platform::File;
using test::AllEntries;
using test::ErrorOf;
using test::HeldFile;
using test::ReadText;
using test::WinTempDir;
using test::WriteText;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::set<std::string> AsSet(const std::vector<std::string>& names) { return {names.begin(), names.end()}; }

TEST(Win32Listing, SkipsFoldersHiddenAndSystemFiles) {
    WinTempDir dir;
    for (const char* name : {"a.nss", "b.2da", "hidden.txt", "system.txt", "readonly.txt"}) WriteText(dir / name, name);
    ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
    WriteText(dir / "sub\\inner.nss", "x");
    ASSERT_TRUE(SetFileAttributesA((dir / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesA((dir / "system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesA((dir / "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    const std::set<std::string> expected{"a.nss", "b.2da", "readonly.txt"};
    EXPECT_EQ(AsSet(platform::ListPlainFiles(dir.Root())), expected);
    // A folder given with its trailing separator, as the folder chooser may hand it over.
    EXPECT_EQ(AsSet(platform::ListPlainFiles(dir.WithSeparator())), expected);
    EXPECT_EQ(platform::ListPlainFiles(dir.Root()).size(), expected.size()) << "no name twice";

    SetFileAttributesA((dir / "readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Listing, MissingFolderGivesNothing) {
    WinTempDir dir;
    EXPECT_TRUE(platform::ListPlainFiles(dir / "absent").empty());
    WriteText(dir / "file", "x");
    EXPECT_TRUE(platform::ListPlainFiles(dir / "file").empty()) << "a file is not a folder";
}

TEST(Win32Paths, FolderAndFileParts) {
    EXPECT_EQ(platform::FolderPart("C:\\x.key"), "C:\\");
    EXPECT_EQ(platform::FolderPart("C:\\NWN\\chitin.key"), "C:\\NWN");
    EXPECT_EQ(platform::FolderPart("C:/NWN/data/x.bif"), "C:/NWN/data");
    EXPECT_EQ(platform::FolderPart("\\x.key"), "\\");
    EXPECT_EQ(platform::FolderPart("x.key"), "");
    EXPECT_EQ(platform::FileNamePart("C:\\NWN\\chitin.key"), "chitin.key");
    EXPECT_EQ(platform::FileNamePart("C:x.key"), "x.key");
    EXPECT_EQ(platform::FileNamePart("x.key"), "x.key");
}

TEST(Win32Paths, StoredNamesJoinAsTheyStand) {
    EXPECT_EQ(platform::ResolveStoredName("C:\\NWN", "data\\2da.bif"), "C:\\NWN\\data\\2da.bif");
    // The folder of a KEY at a drive's root already ends in its separator.
    EXPECT_EQ(platform::ResolveStoredName("C:\\", "data\\2da.bif"), "C:\\data\\2da.bif");
}

TEST(Win32Errors, SystemTextIsTheSystemsWithoutLineEnd) {
    const std::string text = platform::SystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');

    char* raw = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<LPSTR>(&raw), 0, nullptr);
    ASSERT_NE(raw, nullptr);
    std::string system = raw;
    LocalFree(raw);
    EXPECT_THAT(system, StartsWith(text));
    EXPECT_LE(system.size() - text.size(), 3u) << "only the line end is cut";

    // A code the system has no text for still says something.
    EXPECT_THAT(platform::SystemErrorText(0x2FFFFFFF), HasSubstr("error"));
}

TEST(Win32Rename, FailuresNameTheSystemError) {
    WinTempDir dir;
    WriteText(dir / "a.key", "old");
    WriteText(dir / "b.key", "other");

    auto codeOf = [](auto action) {
        try {
            action();
        } catch (const EInOutError& e) {
            return std::make_pair(e.ErrorCode, std::string(e.what()));
        }
        return std::make_pair(0, std::string("<no error>"));
    };
    EXPECT_EQ(codeOf([&] { platform::RenameFile(dir / "missing.key", dir / "c.key"); }),
              std::make_pair(2, std::string("File not found")));
    EXPECT_EQ(codeOf([&] { platform::RenameFile(dir / "a.key", dir / "nofolder\\c.key"); }),
              std::make_pair(3, std::string("Invalid filename")));
    // Without replace an existing target is kept, and the code is the system's.
    EXPECT_EQ(codeOf([&] { platform::RenameFile(dir / "a.key", dir / "b.key"); }),
              std::make_pair(static_cast<int>(ERROR_ALREADY_EXISTS),
                             "I/O error 183 (" + platform::SystemErrorText(ERROR_ALREADY_EXISTS) + ")"));
    EXPECT_EQ(ReadText(dir / "b.key"), "other");

    {
        HeldFile held(dir / "a.key");
        ASSERT_TRUE(held.IsHeld());
        const auto [code, text] = codeOf([&] { platform::RenameFile(dir / "a.key", dir / "c.key"); });
        EXPECT_NE(code, 0) << "a file another program holds cannot be moved";
        EXPECT_EQ(text,
                  code == 5 ? "File access denied"
                            : "I/O error " + std::to_string(code) + " (" + platform::SystemErrorText(code) + ")");
    }

    platform::RenameFile(dir / "a.key", dir / "b.key", true);
    EXPECT_EQ(ReadText(dir / "b.key"), "old");
    EXPECT_FALSE(platform::PathExists(dir / "a.key"));
}

TEST(Win32File, OpenIsExclusiveBothWays) {
    WinTempDir dir;
    const std::string path = dir / "x.bif";
    WriteText(path, "BIFFV1  ");
    {
        HeldFile held(path);
        ASSERT_TRUE(held.IsHeld());
        EXPECT_THAT(ErrorOf<EFOpenError>([&] { File::OpenRead(path); }),
                    StartsWith("Cannot open file \"" + path + "\". "));
        EXPECT_THAT(ErrorOf<EFCreateError>([&] { File::Create(path); }),
                    StartsWith("Cannot create file \"" + path + "\". "));
    }
    EXPECT_EQ(ReadText(path), "BIFFV1  ") << "a refused create leaves the file as it was";

    File ours = File::OpenRead(path);
    HeldFile other(path);
    EXPECT_FALSE(other.IsHeld()) << "while we read, nobody else opens the file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST(Win32File, OpenRefusesMissingFilesAndFolders) {
    WinTempDir dir;
    EXPECT_THAT(ErrorOf<EFOpenError>([&] { File::OpenRead(dir / "missing.key"); }),
                StartsWith("Cannot open file \"" + (dir / "missing.key") + "\". "));
    EXPECT_THAT(ErrorOf<EFOpenError>([&] { File::OpenRead(dir.Root()); }),
                StartsWith("Cannot open file \"" + dir.Root() + "\". "));
}

TEST(Win32File, CreateReplacesAFileAndRefusesWhatItCannotReplace) {
    WinTempDir dir;
    const std::string path = dir / "out.nss";
    WriteText(path, "a much longer old content");
    {
        File file = File::Create(path);
        file.WriteAll("new", 3);
        file.Flush();
        file.Close();
    }
    EXPECT_EQ(ReadText(path), "new") << "no tail of the old file is left";

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_THAT(ErrorOf<EFCreateError>([&] { File::Create(path); }),
                StartsWith("Cannot create file \"" + path + "\". "));
    EXPECT_EQ(ReadText(path), "new");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    ASSERT_TRUE(CreateDirectoryA((dir / "folder.nss").c_str(), nullptr));
    EXPECT_THAT(ErrorOf<EFCreateError>([&] { File::Create(dir / "folder.nss"); }),
                StartsWith("Cannot create file \"" + (dir / "folder.nss") + "\". "));
    EXPECT_TRUE(platform::Stat(dir / "folder.nss")->IsDirectory);
}

TEST(Win32File, CreateReplacesALinkAndLeavesItsTarget) {
    WinTempDir dir;
    const std::string target = dir / "target.txt";
    const std::string link = dir / "link.nss";
    WriteText(target, "precious");
    if (!CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
    {
        File file = File::Create(link);
        file.WriteAll("export", 6);
        file.Close();
    }
    EXPECT_EQ(ReadText(target), "precious");
    EXPECT_EQ(ReadText(link), "export");
    EXPECT_EQ(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

TEST(Win32File, DeviceNamesAreNeverOpened) {
    WinTempDir dir;
    for (const char* name : {"nul.nss", "NUL", "con.dlg", "aux", "prn.txt", "com1.dlg", "lpt1.txt"}) {
        const std::string path = dir / name;
        EXPECT_THAT(ErrorOf<EFCreateError>([&] { File::Create(path); }),
                    StartsWith("Cannot create file \"" + path + "\". "))
            << name;
        EXPECT_THAT(ErrorOf<EFOpenError>([&] { File::OpenRead(path); }),
                    StartsWith("Cannot open file \"" + path + "\". "))
            << name;
    }
    EXPECT_TRUE(AllEntries(dir.Root()).empty());
}

TEST(Win32File, ReadsWritesAndCopiesExactly) {
    WinTempDir dir;
    std::string bytes(700 * 1024 + 13, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 % 251);
    {
        File out = File::Create(dir / "source.bin");
        out.WriteAll(bytes.data(), bytes.size());
        EXPECT_EQ(out.Size(), bytes.size());
        out.Close();
    }
    File source = File::OpenRead(dir / "source.bin");
    {
        File copy = File::Create(dir / "copy.bin");
        copy.CopyFrom(source, 5, bytes.size() - 10); // several chunks, not aligned
        copy.Close();
    }
    EXPECT_EQ(ReadText(dir / "copy.bin"), bytes.substr(5, bytes.size() - 10));

    File copy = File::Create(dir / "short.bin");
    EXPECT_THROW(copy.CopyFrom(source, bytes.size() - 4, 8), EReadError) << "source runs out";

    char buffer[8];
    source.Seek(bytes.size() - 4);
    EXPECT_THROW(source.ReadExact(buffer, sizeof buffer), EReadError);
    source.Seek(3);
    source.ReadExact(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), bytes.substr(3, 4));
}

TEST(Win32Paths, ExistenceStatAndIdentity) {
    WinTempDir dir;
    WriteText(dir / "a.key", "12345");
    WriteText(dir / "b.key", "12345");
    ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));

    EXPECT_TRUE(platform::PathExists(dir / "a.key"));
    EXPECT_TRUE(platform::PathExists(dir / "sub"));
    EXPECT_FALSE(platform::PathExists(dir / "c.key"));
    EXPECT_FALSE(platform::PathExists(dir / "*.key")) << "a name, not a pattern";

    const auto file = platform::Stat(dir / "a.key");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->IsRegular);
    EXPECT_EQ(file->Size, 5u);
    EXPECT_TRUE(platform::Stat(dir / "sub")->IsDirectory);
    EXPECT_FALSE(platform::Stat(dir / "sub")->IsRegular);
    EXPECT_FALSE(platform::Stat(dir / "c.key"));

    EXPECT_TRUE(platform::SameFile(dir / "a.key", dir / "A.KEY"));
    EXPECT_TRUE(platform::SameFile(dir / "a.key", dir / "sub\\..\\a.key"));
    EXPECT_FALSE(platform::SameFile(dir / "a.key", dir / "b.key"));
    EXPECT_FALSE(platform::SameFile(dir / "a.key", dir / "c.key"));
    {
        HeldFile held(dir / "a.key");
        EXPECT_TRUE(platform::SameFile(dir / "a.key", dir / "a.key")) << "even while another program holds it";
    }
}

TEST(Win32Paths, CreateDirectoriesMakesEveryLevel) {
    WinTempDir dir;
    platform::CreateDirectories(dir / "a\\b\\c");
    EXPECT_TRUE(platform::Stat(dir / "a\\b\\c")->IsDirectory);
    platform::CreateDirectories(dir / "a\\b\\c\\"); // already there, trailing separator
    WriteText(dir / "file", "x");
    EXPECT_THAT(ErrorOf<EFCreateError>([&] { platform::CreateDirectories(dir / "file\\sub"); }),
                StartsWith("Cannot create file \""));
}

TEST(Win32Paths, TemporaryNamesAreFreshAndBesideTheTarget) {
    WinTempDir dir;
    const std::string target = dir / "new.bif";
    const std::string first = platform::TemporaryNameBeside(target);
    WriteText(first, "taken");
    const std::string second = platform::TemporaryNameBeside(target);
    EXPECT_NE(first, second);
    EXPECT_FALSE(platform::PathExists(second));
    EXPECT_EQ(platform::FolderPart(second), dir.Root());
}

TEST(Win32Clock, TodayIsTheLocalDate) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const LocalDate today = platform::Today();

    // Whole days since 1 January, counted by the system's own calendar.
    SYSTEMTIME midnight{};
    midnight.wYear = now.wYear;
    midnight.wMonth = now.wMonth;
    midnight.wDay = now.wDay;
    SYSTEMTIME newYear{};
    newYear.wYear = now.wYear;
    newYear.wMonth = 1;
    newYear.wDay = 1;
    FILETIME a;
    FILETIME b;
    ASSERT_TRUE(SystemTimeToFileTime(&midnight, &a));
    ASSERT_TRUE(SystemTimeToFileTime(&newYear, &b));
    auto ticks = [](FILETIME t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    constexpr std::uint64_t kTicksPerDay = 24ull * 60 * 60 * 10'000'000;

    EXPECT_EQ(today.YearsSince1900, static_cast<std::uint32_t>(now.wYear - 1900));
    EXPECT_EQ(today.DayOfYear, (ticks(a) - ticks(b)) / kTicksPerDay);
}

} // namespace
} // namespace vellocar
