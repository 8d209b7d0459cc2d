// Finding the game: the places searched, their order (NWN_ROOT, the classic registry value, the
// Enhanced Edition's stores), stale entries passed over and named, and the two configuration
// formats.

#include "BeamdogSettings.h"
#include "FakeGameFolderSources.h"
#include "GameFolder.h"
#include "SteamLibraries.h"

#include <filesystem>
#include <functional>

namespace vellocar::game::test {
namespace {

namespace fs = std::filesystem;
using vellocar::test::WriteFile;

constexpr const char* kSteamGame = "home/.local/share/Steam/steamapps/common/Neverwinter Nights";

TEST_F(GameFolderSearch, EachPlaceInItsOrderPassingOverStaleEntries) {
    struct Case {
        const char* name;
        std::function<void(GameFolderSearch&)> setUp;
        const char* expected; // below the scratch folder; nullptr: nothing found
    };
    const std::vector<Case> cases{
        {"nothing installed", [](GameFolderSearch&) {}, nullptr},
        {"NWN_ROOT, its trailing separator dropped",
         [](GameFolderSearch& t) {
             t.Install("nwn");
             t.Install(kSteamGame);
             t.sources.Variables["NWN_ROOT"] = t.Path("nwn") + "/";
         },
         "nwn"},
        {"a stale NWN_ROOT, then Steam's default library",
         [](GameFolderSearch& t) {
             t.Stale("old");
             t.sources.Variables["NWN_ROOT"] = t.Path("old");
             t.Install(kSteamGame);
         },
         kSteamGame},
        {"NWN_ROOT before the registry's folder",
         [](GameFolderSearch& t) {
             t.Install("nwn");
             t.Classic("classic");
             t.sources.Variables["NWN_ROOT"] = t.Path("nwn");
             t.registry = t.Path("classic");
         },
         "nwn"},
        {"the classic game in the registry's folder",
         [](GameFolderSearch& t) {
             t.Classic("classic");
             t.registry = t.Path("classic");
         },
         "classic"},
        {"a registry folder without KEYs, then Steam",
         [](GameFolderSearch& t) {
             t.Stale("gone");
             t.registry = t.Path("gone");
             t.Install(kSteamGame);
         },
         kSteamGame},
        {"a Steam library from libraryfolders.vdf, a stale one before it",
         [](GameFolderSearch& t) {
             t.Stale("lib1/steamapps/common/Neverwinter Nights");
             t.Install("lib2/steamapps/common/Neverwinter Nights");
             t.Write("home/.local/share/Steam/steamapps/libraryfolders.vdf",
                     "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + t.Quoted("lib1") +
                         "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + t.Quoted("lib2") +
                         "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"704450\"\t\t\"1\"\n\t\t}\n\t}\n}\n");
             t.Install("home/GOG Games/Neverwinter Nights Enhanced Edition");
         },
         "lib2/steamapps/common/Neverwinter Nights"},
        {"Steam under XDG_DATA_HOME",
         [](GameFolderSearch& t) {
             t.sources.Variables["XDG_DATA_HOME"] = t.Path("xdg");
             t.Install("xdg/Steam/steamapps/common/Neverwinter Nights");
         },
         "xdg/Steam/steamapps/common/Neverwinter Nights"},
        {"Beamdog's client: the product folder inside a listed library",
         [](GameFolderSearch& t) {
             t.Stale("bd1/00785");
             t.Install("bd2/00785");
             t.Write("home/.config/Beamdog Client/settings.json",
                     "{\"language\": \"en\", \"window\": {\"w\": 800, \"maximized\": false},\n"
                     " \"folders\": [\"" +
                         t.Quoted("bd1") + "\", 7, \"" + t.Quoted("bd2") + "\"]}");
             t.Install("home/GOG Games/Neverwinter Nights Enhanced Edition");
         },
         "bd2/00785"},
        {"GOG's default folder",
         [](GameFolderSearch& t) { t.Install("home/GOG Games/Neverwinter Nights Enhanced Edition"); },
         "home/GOG Games/Neverwinter Nights Enhanced Edition"},
        {"damaged configuration files are passed over",
         [](GameFolderSearch& t) {
             t.Write("home/.local/share/Steam/steamapps/libraryfolders.vdf", "\"libraryfolders\" { \"0\" { \"path");
             t.Write("home/.config/Beamdog Client/settings.json", "{\"folders\": [\"" + t.Path("x"));
             t.Install("home/GOG Games/Neverwinter Nights Enhanced Edition");
         },
         "home/GOG Games/Neverwinter Nights Enhanced Edition"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        sources.Variables = {{"HOME", Path("home")}};
        registry.clear();
        c.setUp(*this);
        EXPECT_EQ(FindGame(sources, registry, TPathSystem::Posix).Folder, c.expected ? Path(c.expected) : "");
    }
    // Nothing found: the places that a setting named are said.
    fs::remove_all(dir.path());
    sources.Variables["NWN_ROOT"] = Path("old");
    const TGameSearch none = FindGame(sources, Path("gone"), TPathSystem::Posix);
    EXPECT_EQ(none.PassedOver,
              (std::vector<std::string>{"NWN_ROOT \"" + Path("old") + "\"",
                                        "the registry's Location \"" + Path("gone") + "\""}));
}

TEST_F(GameFolderSearch, WindowsPlacesFromTheRegistryAndTheEnvironment) {
    FakeGameFolderSources win;
    win.Variables = {{"ProgramFiles(x86)", "C:\\Program Files (x86)"}, {"APPDATA", "C:\\Users\\u\\AppData\\Roaming"}};
    EXPECT_EQ(FindGame(win, "", TPathSystem::Windows).Folder, "");

    win.VirtualFiles.insert(
        "C:\\Program Files (x86)\\GOG Galaxy\\Games\\Neverwinter Nights Enhanced Edition\\data\\nwn_base.key");
    EXPECT_EQ(FindGame(win, "", TPathSystem::Windows).Folder,
              "C:\\Program Files (x86)\\GOG Galaxy\\Games\\Neverwinter Nights Enhanced Edition");

    win.Registry["SOFTWARE\\GOG.com\\Games\\1097893768|path"] = "E:\\GOG\\NWN EE\\";
    win.VirtualFiles.insert("E:\\GOG\\NWN EE\\data\\nwn_base.key");
    EXPECT_EQ(FindGame(win, "", TPathSystem::Windows).Folder, "E:\\GOG\\NWN EE");

    win.Registry["SOFTWARE\\Valve\\Steam|InstallPath"] = "D:\\Steam";
    win.VirtualFiles.insert("D:\\Steam\\steamapps\\common\\Neverwinter Nights\\data\\nwn_base.key");
    EXPECT_EQ(FindGame(win, "", TPathSystem::Windows).Folder, "D:\\Steam\\steamapps\\common\\Neverwinter Nights");
}

TEST(SteamLibraryFolders, BothLayoutsEscapesAndDamage) {
    struct Case {
        const char* vdf;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"\"libraryfolders\" { \"0\" { \"path\" \"C:\\\\Program Files (x86)\\\\Steam\" \"label\" \"\" }"
         " \"1\" { \"PATH\" \"M:\\\\SteamLibrary\" \"apps\" { \"704450\" \"9\" } } }",
         {"C:\\Program Files (x86)\\Steam", "M:\\SteamLibrary"}},
        // Older clients: numbered values, beside other settings.
        {"\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1\"\n\t\"1\"\t\"/mnt/games\" [$LINUX]\n"
         "\t// a comment \"2\" \"/no\"\n\t\"2\"\t\"/mnt/more \\\"x\\\"\"\n}",
         {"/mnt/games", "/mnt/more \"x\""}},
        {"\"libraryfolders\" { \"0\" { \"path\" \"/a\" } \"1\" { \"path\" \"/b", {"/a"}},
        {"} \"1\" \"/a\"", {}},
        {"{ { {", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vdf);
        EXPECT_EQ(SteamLibraryFolders(c.vdf), c.expected);
    }
}

TEST(BeamdogLibraryFolders, TheFoldersArrayOrNothing) {
    struct Case {
        std::string json;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {R"({"a": [1, {"b": null}], "folders": ["C:\\Beamdog Library", "/home/u/B\u00e9amdog"], "z": true})",
         {"C:\\Beamdog Library",
          "/home/u/B\xC3\xA9"
          "amdog"}},
        {R"( { "folders" : [ ] } )", {}},
        {R"({"folders": "not an array"})", {}},
        {R"(["folders"])", {}},
        {R"({"folders": ["/a",)", {}},
        {R"({"folders": ["/a"]} trailing)", {}},
        {R"({"folders": ["/a\q"]})", {}},
        {R"({"x": )" + std::string(100000, '['), {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.substr(0, 80));
        EXPECT_EQ(BeamdogLibraryFolders(c.json), c.expected);
    }
}

} // namespace
} // namespace vellocar::game::test
