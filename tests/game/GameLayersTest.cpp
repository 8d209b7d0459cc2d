#include "GameLayers.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vellocar {
namespace {

namespace fs = std::filesystem;

// The modules a user can choose (the user's first, .mod files only, no link) and where a module
// named by its name is found, with the folders its HAKs are looked for in.
TEST(GameLayers, ModulesAreFoundInTheUsersFolderThenTheGames) {
    test::TempDir dir;
    const std::string user = dir / "home", game = dir / "game";
    for (const char* folder : {"home/modules", "game/data/mod"}) fs::create_directories(dir.path() / folder);
    for (const char* file : {"home/modules/b.MOD", "home/modules/a.mod", "home/modules/notes.txt",
                             "game/data/mod/a.mod", "game/data/mod/c.mod"})
        test::WriteFile(dir / file, "MOD V1.0");
#ifndef _WIN32
    fs::create_symlink(dir.path() / "game/data/mod/c.mod", dir.path() / "home/modules/linked.mod");
#endif
    std::vector<std::string> names;
    for (const game::ModuleChoice& choice : game::ModuleChoices(game, user)) names.push_back(choice.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "a", "c"}));

    const struct {
        std::string module;
        std::string path;
    } cases[] = {{"a", dir / "home/modules/a.mod"}, {"c", dir / "game/data/mod/c.mod"}, {"gone", "gone"}};
    for (const auto& c : cases) {
        const TLayerRequest request = game::GameLayerRequest({game, "en", user, c.module, {}, {}, {}});
        EXPECT_EQ(fs::path(request.Module), fs::path(c.path));
        EXPECT_EQ(fs::path(request.HakFolders.front()), fs::path(user) / "hak");
        EXPECT_EQ(fs::path(request.HakFolders.back()), fs::path(game) / "data" / "hk");
    }
}

// Without NWN_HOME: a classic install is its own user folder; else the Enhanced Edition's folder
// under the user's documents, when it is there.
TEST(GameLayers, TheUsersFolderWithoutNwnHome) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "classic");
    test::WriteFile(dir / "classic/chitin.key", "KEY V1  ");
#ifdef _WIN32
    const std::string documents = dir / "profile/Documents/Neverwinter Nights", variable = "USERPROFILE",
                      value = dir / "profile";
#else
    const std::string documents = dir / "home/.local/share/Neverwinter Nights", variable = "HOME", value = dir / "home";
#endif
    const auto environment = [&](const std::string& name) {
        return name == variable ? std::optional<std::string>(value) : std::nullopt;
    };
    EXPECT_EQ(game::DefaultUserFolder(dir / "classic", environment), dir / "classic");
    EXPECT_EQ(game::DefaultUserFolder(dir / "ee", environment), "") << "no documents folder yet";
    fs::create_directories(documents);
    EXPECT_EQ(fs::path(game::DefaultUserFolder(dir / "ee", environment)), fs::path(documents));
}

} // namespace
} // namespace vellocar
