// Folders held open by their descriptor (POSIX): what each kind of entry at a folder's name gets,
// and that a folder swapped for a link after it was opened gets nothing through it.
#ifndef _WIN32

#include "base/Errors.h"
#include "platform/SafeFolders.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <variant>

namespace vellocar::platform {
namespace {

namespace fs = std::filesystem;

// What stands at "x" in a fresh folder, made by the test.
enum class Standing { Nothing, Folder, File, LinkToFolder };

void Make(const test::TempDir& dir, Standing what) {
    fs::create_directory(dir / "elsewhere");
    if (what == Standing::Folder) fs::create_directory(dir / "x");
    if (what == Standing::File) test::WriteFile(dir / "x", "data");
    if (what == Standing::LinkToFolder) fs::create_directory_symlink(dir / "elsewhere", dir / "x");
}

TEST(HeldFolder, OpenAndMakeBelowByWhatStandsAtTheName) {
    struct Case {
        Standing What;
        const char* OpenRaises; // "" when Open holds the folder
        const char* Refusal; // MakeBelow's reason after the folder name, "" when it holds the folder
    };
    const Case cases[] = {
        {Standing::Nothing, "EFOpenError", ""},
        {Standing::Folder, "", ""},
        {Standing::File, "EFOpenError", " is a file, not a folder"},
        {Standing::LinkToFolder, "EUntrustedFile", " is a link to "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.What));
        test::TempDir dir;
        Make(dir, c.What);
        std::string raised;
        try {
            EXPECT_EQ(HeldFolder::Open(dir / "x").Id(), HeldFolder::Open(dir / "x/").Id());
        } catch (const EUntrustedFile&) {
            raised = "EUntrustedFile";
        } catch (const EFOpenError&) {
            raised = "EFOpenError";
        }
        EXPECT_EQ(raised, c.OpenRaises);

        const auto made = HeldFolder::Open(dir.path().string()).MakeBelow("x");
        if (*c.Refusal == '\0') {
            ASSERT_TRUE(std::holds_alternative<HeldFolder>(made));
            EXPECT_EQ(std::get<HeldFolder>(made).Path(), dir / "x");
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(made));
            EXPECT_EQ(std::get<std::string>(made).rfind("\"" + (dir / "x") + "\"" + c.Refusal, 0), 0u)
                << std::get<std::string>(made);
        }
        EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    }
}

TEST(HeldFolder, ActsInTheFolderItOpenedAfterASwapForALink) {
    test::TempDir dir;
    fs::create_directory(dir / "out");
    fs::create_directory(dir / "elsewhere");
    const HeldFolder held = HeldFolder::Open(dir / "out");
    fs::rename(dir / "out", dir / "moved");
    fs::create_directory_symlink(dir / "elsewhere", dir / "out");
    EXPECT_FALSE(held.StillAtPath());

    held.CreateNew("a").WriteAll("A", 1);
    held.Create("b").WriteAll("B", 1);
    EXPECT_THROW(held.CreateNew("a"), EUntrustedFile);
    held.Rename("b", "c");
    EXPECT_EQ(held.LookAt("c")->Links, 1u);
    EXPECT_EQ(held.OpenRead("c").Size(), 1u);
    EXPECT_TRUE(held.Remove("a"));
    EXPECT_FALSE(held.Remove("a"));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
    EXPECT_EQ(test::ReadFile(dir / "moved/c"), std::vector<unsigned char>{'B'});
    EXPECT_FALSE(fs::exists(dir / "moved/a"));
}

} // namespace
} // namespace vellocar::platform

#endif
