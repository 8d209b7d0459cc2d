#include "GameInstall.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vellocar {
namespace {

namespace fs = std::filesystem;

// Which KEYs of an install are read, and in which order: the one given last wins in the game.
TEST(GameKeys, AnInstallsKeysComeInTheGamesOrder) {
    struct Case {
        std::vector<std::string> files; // below the game folder
        std::string language;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        // The language's own copy of a KEY comes before the shared one; a missing KEY is passed over.
        {{"data/nwn_retail.key", "data/nwn_base_loc.key", "lang/de/data/nwn_base_loc.key", "data/nwn_base.key"},
         "de",
         {"data/nwn_base.key", "lang/de/data/nwn_base_loc.key", "data/nwn_retail.key"}},
        {{"data/nwn_base.key", "data/nwn_base_loc.key", "lang/de/data/nwn_base_loc.key"},
         "en",
         {"data/nwn_base.key", "data/nwn_base_loc.key"}},
        // The classic game, its KEYs beside it; a chitin.key beside an Enhanced Edition is no part of it.
        {{"xp2patch.key", "xp1.key", "patch.key", "chitin.key", "xp3.key"},
         "en",
         {"chitin.key", "patch.key", "xp1.key", "xp2patch.key", "xp3.key"}},
        {{"chitin.key", "data/nwn_base.key"}, "en", {"data/nwn_base.key"}},
        {{"readme.txt"}, "en", {}},
    };
    for (const Case& c : cases) {
        test::TempDir game;
        for (const std::string& file : c.files) {
            fs::create_directories(fs::path(game / file).parent_path());
            test::WriteFile(game / file, std::string("KEY V1  "));
        }
        std::vector<std::string> expected;
        for (const std::string& file : c.expected) expected.push_back((game.path() / file).make_preferred().string());
        EXPECT_EQ(game::GameKeyPaths(game.path().string(), c.language), expected) << c.files.front();
    }
}

} // namespace
} // namespace vellocar
