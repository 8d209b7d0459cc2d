// The viewer's strref texts: the game's dialog.tlk found in the language's folder before the
// classic layout, read once; a module's strrefs from the custom table; a missing or damaged table
// costs the texts only, and says why.

#include "ArchiveBytes.h"
#include "base/Errors.h"
#include "GameInstall.h"
#include "TalkTables.h"

#include <gtest/gtest.h>

namespace vellocar::test {
namespace {

// A talk table of one entry with text (flags 1), by the format rule: header, entry, text.
std::string OneText(const std::string& text) {
    Bytes b =
        Bytes("TLK V3.0").U32(0).U32(1).U32(60).U32(1).Zeros(24).U32(0).U32(static_cast<std::uint32_t>(text.size()));
    return b.U32(0).Text(text).Str();
}

TEST(TalkTables, GameTableFromTheLanguageFirstAndCustomStrRefsFromTheUsersTable) {
    TempDir game;
    std::filesystem::create_directories(game / "lang/de/data");
    WriteFile(game / "dialog.tlk", OneText("classic"));
    EXPECT_EQ(game::GameDialogTlkPath(game.path().string(), "de"), (game.path() / "dialog.tlk").string());
    WriteFile(game / "lang/de/data/dialog.tlk",
              OneText("Stra\xdf"
                      "e"));
    EXPECT_EQ(game::GameDialogTlkPath(game.path().string(), "de"), (game / "lang/de/data/dialog.tlk"));
    EXPECT_EQ(game::GameDialogTlkPath(game / "lang", "de"), "");

    int looks = 0;
    TTalkTables tables([&] { return ++looks, game.path().string(); }, "de");
    EXPECT_EQ(tables.Text(0), "Straße");
    EXPECT_EQ(tables.Text(1), std::nullopt);
    EXPECT_EQ(tables.Text(tlk::kCustomStrRefBase), std::nullopt);
    WriteFile(game / "custom.tlk", OneText("module"));
    tables.SetCustomTable(game / "custom.tlk");
    EXPECT_EQ(tables.Text(tlk::kCustomStrRefBase), "module");
    WriteFile(game / "bad.tlk", std::string("TLK V3.0"));
    EXPECT_THROW(tables.SetCustomTable(game / "bad.tlk"), EVellocarError);
    EXPECT_EQ(tables.Text(tlk::kCustomStrRefBase), "module"); // the one before stays
    EXPECT_EQ(tables.Text(0), "Straße");
    EXPECT_EQ(looks, 1);
    EXPECT_EQ(tables.Problem(), "");
}

TEST(TalkTables, NoGameOrADamagedTableGivesNoTextsAndSaysWhy) {
    TempDir game;
    WriteFile(game / "dialog.tlk", std::string("TLK V3.0\0\0\0\0\xff\0\0\0\0\0\0\0", 20));
    for (const auto& [folder, says] : std::vector<std::pair<std::string, std::string>>{
             {"", "no game folder found"}, {game.path().string(), "the entry table runs past the end"}}) {
        TTalkTables tables([folder = folder] { return folder; });
        EXPECT_EQ(tables.Text(0), std::nullopt);
        EXPECT_NE(tables.Problem().find(says), std::string::npos) << tables.Problem();
    }
}

} // namespace
} // namespace vellocar::test
