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
    const auto size = static_cast<std::uint32_t>(text.size());
    return Bytes("TLK V3.0").U32(0).U32(1).U32(60).U32(1).Zeros(24).U32(0).U32(size).U32(0).Text(text).Str();
}

TEST(TalkTables, GameTableFromTheLanguageFirstCustomStrRefsFromTheUsersTableAndProblemsSaid) {
    TempDir game;
    WriteFile(game / "dialog.tlk", OneText("classic"));
    EXPECT_EQ(game::GameDialogTlkPath(game.path().string(), "de"), game / "dialog.tlk");
    std::filesystem::create_directories(game / "lang/de/data");
    WriteFile(game / "lang/de/data/dialog.tlk",
              OneText("Stra\xdf"
                      "e"));
    WriteFile(game / "custom.tlk", OneText("module"));
    WriteFile(game / "bad.tlk", std::string("TLK V3.0\0\0\0\0\xff\0\0\0\0\0\0\0", 20));
    int looks = 0;
    TTalkTables tables([&] { return ++looks, game.path().string(); }, "de");
    EXPECT_EQ(std::make_tuple(tables.Text(0), tables.Text(1), tables.Text(tlk::kCustomStrRefBase), tables.Problem()),
              std::make_tuple(std::optional<std::string>("Straße"), std::nullopt, std::nullopt, std::string()));
    tables.SetCustomTable(game / "custom.tlk");
    EXPECT_THROW(tables.SetCustomTable(game / "bad.tlk"), EVellocarError);
    EXPECT_EQ(tables.Text(tlk::kCustomStrRefBase), "module"); // the one before stays
    EXPECT_EQ(std::make_pair(tables.Text(0), looks), std::make_pair(std::optional<std::string>("Straße"), 1));

    std::filesystem::rename(game / "bad.tlk", game / "lang/de/data/dialog.tlk");
    for (const auto& [folder, says] : std::vector<std::pair<std::string, std::string>>{
             {"", "no game folder found"}, {game.path().string(), "the entry table runs past the end"}}) {
        TTalkTables none([folder = folder] { return folder; }, "de");
        EXPECT_EQ(none.Text(0), std::nullopt);
        EXPECT_NE(none.Problem().find(says), std::string::npos) << none.Problem();
    }
}

} // namespace
} // namespace vellocar::test
