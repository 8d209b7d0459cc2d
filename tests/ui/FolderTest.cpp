// The folder chooser and the folder listing that feeds a build.

#include "WindowFixture.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vellocar::ui::test {
namespace {

namespace fs = std::filesystem;
using vellocar::test::WriteFile;

// A file that the system's file browser hides: a leading point here, the attribute on Windows.
void WriteHiddenFile(const std::string& path) {
    WriteFile(path, "h");
#ifdef _WIN32
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
#endif
}

using FolderChooser = WindowTest;

TEST_F(FolderChooser, ExistingFolderIsPreselectedAndTheChoiceReturned) {
    std::string folder = dir.path().string();
    tk.ExpectFolderDialog("Pick:", dir / "sub");
    EXPECT_TRUE(form.SelectFolder("Pick:", folder));
    EXPECT_EQ(folder, dir / "sub");
    EXPECT_EQ(tk.FolderDialogInitialFolders, std::vector<std::string>{dir.path().string()});
}

TEST_F(FolderChooser, NameThatIsNoFolderIsDroppedBeforeTheDialog) {
    WriteFile(dir / "file.txt", "x");
    for (const std::string& given : {dir / "missing", dir / "file.txt"}) {
        std::string folder = given;
        tk.ExpectFolderDialog("Pick:", std::nullopt);
        EXPECT_FALSE(form.SelectFolder("Pick:", folder));
        EXPECT_EQ(folder, "") << given;
    }
    EXPECT_EQ(tk.FolderDialogInitialFolders, (std::vector<std::string>{"", ""}));
}

TEST_F(FolderChooser, CancelKeepsAnExistingFolder) {
    std::string folder = dir.path().string();
    tk.ExpectFolderDialog("Pick:", std::nullopt);
    EXPECT_FALSE(form.SelectFolder("Pick:", folder));
    EXPECT_EQ(folder, dir.path().string());
}

using FolderListing = WindowTest;

TEST_F(FolderListing, ListsPlainFilesOnlyAndProcessesMessagesAfterEachLine) {
    WriteFile(dir / "b file.2da", "b");
    WriteFile(dir / "A.tar.nss", "a");
    WriteFile(dir / "readme", "r");
    WriteHiddenFile(dir / ".hidden");
    fs::create_directory(dir / "sub");
    WriteFile(dir / "readonly.txt", "ro");
    fs::permissions(dir / "readonly.txt", fs::perms::owner_read);

    std::vector<std::size_t> linesAtEachCall;
    tk.OnProcessMessages = [&] { linesAtEachCall.push_back(Lines(ControlId::ListBox2).size()); };
    tk.ListAdd(ControlId::ListBox2, "stale line");
    tk.ListUpdates.clear();

    form.ListFolder(dir.path().string() + kSep + "*.*");

    EXPECT_EQ(Lines(ControlId::ListBox2),
              (std::vector<std::string>{"A.tar.nss", "b file.2da", "readme", "readonly.txt"}));
    EXPECT_EQ(linesAtEachCall, (std::vector<std::size_t>{1, 2, 3, 4}));
    EXPECT_EQ(tk.ListUpdates, std::vector<std::string>{"ListBox2: 4 lines, 4 expected"});
    fs::permissions(dir / "readonly.txt", fs::perms::owner_all);
}

TEST_F(FolderListing, FolderWithoutPlainFilesLeavesTheListAsItWas) {
    fs::create_directory(dir / "only-folders");
    fs::create_directory(dir.path() / "only-folders" / "inner");
    WriteHiddenFile((dir.path() / "only-folders" / ".hidden").string());
    tk.ListAdd(ControlId::ListBox2, "kept");

    form.ListFolder(dir / "only-folders" + kSep + "*.*");
    form.ListFolder(dir / "missing" + kSep + "*.*");

    EXPECT_EQ(Lines(ControlId::ListBox2), std::vector<std::string>{"kept"});
    EXPECT_EQ(tk.ProcessMessagesCalls, 0);
}

TEST_F(FolderListing, PatternWithADoubledSeparatorStillListsTheFolder) {
    // A folder chooser returns a drive's root with its separator; the caller adds another.
    WriteFile(dir / "one.txt", "1");
    form.ListFolder(dir.withSeparator() + kSep + "*.*");
    EXPECT_EQ(Lines(ControlId::ListBox2), std::vector<std::string>{"one.txt"});
}

} // namespace
} // namespace vellocar::ui::test
