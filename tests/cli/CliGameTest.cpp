// The commands over several KEYs, end to end on one fake Enhanced Edition install found through
// NWN_ROOT: extract --all, find (with the entry the game loads), find --shadowed and cat.

#include "CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace vellocar::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kTypeMdl = 2002;
const std::string kModel = std::string("\x00\x01\x1b[2J model", 12);

// <root>/data/nwn_base.key (two BIFs, one of them missing), the German
// lang/de/data/nwn_base_loc.key and data/nwn_retail.key, which replaces two of the base's
// resources and, with the German KEY, the dragon.
class CliGame : public ::testing::Test {
protected:
    void SetUp() override {
        WriteArchive(dir.path(), "data/nwn_base.key",
                     {{"data\\base_2da.bif",
                       {{"appearance", kType2da, "base appearance"},
                        {"c_dragon", kTypeMdl, kModel},
                        {"portraits", kType2da, "base portraits"}}},
                      {"data\\base_sounds.bif", {{"door", kTypeTxt, "sound"}}}});
        fs::remove(dir.path() / "data/base_sounds.bif");
        WriteArchive(dir.path() / "lang/de", "data/nwn_base_loc.key",
                     {{"data\\base_loc.bif", {{"C_DRAGON", kTypeMdl, "german dragon"}}}});
        WriteArchive(dir.path(), "data/nwn_retail.key",
                     {{"data\\retail.bif",
                       {{"appearance", kType2da, "retail appearance"}, {"c_dragon", kTypeMdl, "retail dragon"}}}});
        setenv("NWN_ROOT", dir.path().c_str(), 1);
        setenv("WINEPREFIX", (dir / "no-wine").c_str(), 1); // no registry value wins over it
    }
    void TearDown() override { unsetenv("NWN_ROOT"); }

    CliResult Game(std::vector<std::string> args, const CliOptions& options = {}) {
        args.insert(args.begin() + 1, "--game");
        return RunCli(dir, args, options);
    }
    TempDir dir;
};

TEST_F(CliGame, FindMarksTheEntryTheGameLoadsAndListsWhatItShadows) {
    const CliResult found = Game({"find", "--lang", "de", "C_DRAG*"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.err.find("the game in \"" + dir.path().string() + "\""), std::string::npos) << found.err;
    const std::string base = dir / "data/nwn_base.key";
    EXPECT_EQ(found.out,
              "c_dragon.mdl\t" + (dir / "data/nwn_retail.key") + "\tdata\\retail.bif\t1\t13\tloaded\n" +
                  "C_DRAGON.mdl\t" + (dir / "lang/de/data/nwn_base_loc.key") +
                  "\tdata\\base_loc.bif\t0\t13\tshadowed\n" + "c_dragon.mdl\t" + base +
                  "\tdata\\base_2da.bif\t1\t12\tshadowed\n");

    // Without --lang the English KEYs alone; as JSON, one entry per line of the document.
    const auto doc = nlohmann::json::parse(Game({"--quiet", "find", "--json", "*.2da"}).out);
    ASSERT_EQ(doc["keys"].size(), 2u);
    ASSERT_EQ(doc["resources"].size(), 3u);
    EXPECT_EQ(doc["resources"][0]["bif"], "data\\retail.bif");
    EXPECT_EQ(doc["resources"][0]["loaded"], true);
    EXPECT_EQ(doc["resources"][1]["loaded"], false);
    EXPECT_EQ(doc["resources"][2]["line"], "portraits.2da");
    EXPECT_EQ(doc["resources"][2]["size"], 14);

    const CliResult shadowed = Game({"--quiet", "find", "--shadowed", "--lang", "de"});
    EXPECT_EQ(shadowed.status, 0) << shadowed.err;
    EXPECT_EQ(shadowed.out,
              base + ": 2 resources, 27 bytes shadowed by later KEYs\n" + (dir / "lang/de/data/nwn_base_loc.key") +
                  ": 1 resource, 13 bytes shadowed by later KEYs\n" + (dir / "data/nwn_retail.key") +
                  ": 0 resources, 0 bytes shadowed by later KEYs\n");

    // On a terminal the fields stay apart by tabs (which the escaping would show as \x09).
    const auto onTerminal = CliOptions::OnTerminal(CliOptions::Terminal::Stdout);
    EXPECT_NE(Game({"--quiet", "find", "portraits.2da"}, onTerminal).out.find("portraits.2da\t"), std::string::npos);

    const CliResult none = Game({"find", "nothing*"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("no resource matches \"nothing*\""), std::string::npos) << none.err;
}

TEST_F(CliGame, CatWritesTheLoadedBytesAndKeepsBinaryOffATerminal) {
    const auto onTerminal = CliOptions::OnTerminal(CliOptions::Terminal::Stdout);
    struct Case {
        std::vector<std::string> args;
        CliOptions options;
        int status;
        std::string out;
        std::string err; // a part of it
    };
    const std::vector<Case> cases = {
        {{"cat", "Appearance.2DA"}, {}, 0, "retail appearance", ""},
        {{"cat", "portraits.2da"}, onTerminal, 0, "base portraits", ""},
        {{"cat", "missing.2da"}, {}, 1, "", "no KEY holds missing.2da"},
        {{"cat", "c_dragon.xyz"}, {}, 1, "", "is no resource type"},
        {{"cat", "door.txt"}, {}, 1, "", "is missing"},
    };
    for (const Case& c : cases) {
        const CliResult r = Game(c.args, c.options);
        EXPECT_EQ(r.status, c.status) << c.args[1] << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[1];
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // The model, from the base KEY given by hand: refused on a terminal, written when forced or piped.
    const std::string base = dir / "data/nwn_base.key";
    const CliResult refused = RunCli(dir, {"cat", base, "c_dragon.mdl"}, onTerminal);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("is not text"), std::string::npos) << refused.err;
    EXPECT_EQ(RunCli(dir, {"cat", "--force", base, "c_dragon.mdl"}, onTerminal).out, kModel);
    EXPECT_EQ(RunCli(dir, {"cat", base, "c_dragon.mdl"}).out, kModel);
}

TEST_F(CliGame, ExtractAllWritesEveryBifTreeOrFlatAndReportsTheMissingOne) {
    const CliResult tree = Game({"--quiet", "extract", "--all", dir / "tree", "--match", "*.2DA"});
    EXPECT_EQ(tree.status, 0) << tree.err; // the missing BIF holds no 2DA: nothing lost
    EXPECT_EQ(ReadText(dir / "tree/base_2da/appearance.2da"), "base appearance");
    EXPECT_EQ(ReadText(dir / "tree/retail/appearance.2da"), "retail appearance");
    EXPECT_FALSE(fs::exists(dir.path() / "tree/base_2da/c_dragon.mdl"));
    EXPECT_FALSE(fs::exists(dir.path() / "tree/base_sounds"));

    // Flat, the game's own: a resource of a later KEY wins; the missing BIF is reported.
    const CliResult flat = Game({"extract", "--all", "--flat", dir / "flat"});
    EXPECT_EQ(flat.status, 1);
    EXPECT_NE(flat.err.find("nwn_base.key: data\\base_sounds.bif: not exported: the BIF is missing"), std::string::npos)
        << flat.err;
    EXPECT_NE(flat.out.find("extracted 3 resources from 2 BIFs"), std::string::npos) << flat.out;
    EXPECT_EQ(ReadText(dir / "flat/appearance.2da"), "retail appearance");
    EXPECT_EQ(ReadText(dir / "flat/c_dragon.mdl"), "retail dragon");
    EXPECT_EQ(ReadText(dir / "flat/portraits.2da"), "base portraits");
    // A later KEY whose BIF is missing takes nothing away from the earlier ones.
    fs::remove(dir.path() / "data/retail.bif");
    EXPECT_EQ(Game({"--quiet", "extract", "--all", "--flat", dir / "flat2"}).status, 1);
    EXPECT_EQ(ReadText(dir / "flat2/appearance.2da"), "base appearance");

    // One BIF with a filter goes straight into DIR; a filter that matches nothing writes nothing.
    const std::string base = dir / "data/nwn_base.key";
    EXPECT_EQ(RunCli(dir, {"--quiet", "extract", base, "0", dir / "one", "--match=c_*"}).status, 0);
    EXPECT_EQ(ReadText(dir / "one/c_dragon.mdl"), kModel);
    EXPECT_EQ(RunCli(dir, {"extract", base, "--all", dir / "none", "--match", "*.nss"}).status, 1);
    EXPECT_FALSE(fs::exists(dir.path() / "none"));
}

TEST(CliExtractAll, NeverWritesOverABifBeingReadNorTwiceIntoOneFile) {
    // Two BIFs whose folders have one name, and a BIF stored as a .txt file in data/, where a
    // flat export into data/ would put the resource of that name before the BIF is read.
    TempDir dir;
    const std::string key = WriteArchive(dir.path(), "k.key",
                                         {{"data\\a.bif", {{"same", kType2da, "first"}, {"notes", kTypeTxt, "text"}}},
                                          {"old\\a.bif", {{"same", kType2da, "second"}, {"other", kType2da, "o"}}},
                                          {"data\\notes.txt", {{"kept", kType2da, "k"}}}});
    const auto bifBytes = ReadFile(dir / "data/notes.txt");

    const CliResult tree = RunCli(dir, {"--quiet", "extract", key, "--all", dir / "tree"});
    EXPECT_EQ(tree.status, 1);
    EXPECT_EQ(ReadText(dir / "tree/a/same.2da"), "first");
    EXPECT_EQ(ReadText(dir / "tree/a/other.2da"), "o");
    EXPECT_NE(tree.err.find("old\\a.bif: skipped same.2da: \"data\\a.bif: same.2da\" comes first"), std::string::npos)
        << tree.err;

    const CliResult flat = RunCli(dir, {"--quiet", "extract", key, "--all", "--flat", dir / "data"});
    EXPECT_EQ(flat.status, 1);
    EXPECT_NE(flat.err.find("skipped notes.txt: writing it would overwrite"), std::string::npos) << flat.err;
    EXPECT_EQ(ReadFile(dir / "data/notes.txt"), bifBytes);
    EXPECT_EQ(ReadText(dir / "data/kept.2da"), "k");
}

// The game's other layers: ovr, --override, a module's HAKs (from data/mod and data/hk), and
// --development; a missing or damaged HAK and a missing folder are named, the rest read.
TEST_F(CliGame, LayersDecideWhichCopyWinsAndConflictsNameTheirCopies) {
    for (const char* folder : {"ovr", "over", "dev", "data/mod", "data/hk"})
        fs::create_directories(dir.path() / folder);
    WriteFile(dir / "ovr/portraits.2da", "base portraits");
    WriteFile(dir / "over/appearance.2da", "retail appearance");
    WriteFile(dir / "dev/portraits.2da", "dev");
    WriteFile(dir / "data/hk/h1.hak", ErfBytes({{"c_dragon", kTypeMdl, "hak dragon"}}));
    WriteFile(dir / "data/hk/broken.hak", "HAK V1.0");
    const auto module = [&](const std::string& name, const std::vector<std::string>& haks) {
        WriteFile(dir / ("data/mod/" + name + ".mod"),
                  ErfBytes({{"module", kTypeIfo, ModuleIfoBytes(haks).Str()}}, {}, "MOD V1.0"));
    };
    module("m", {"h1", "gone"});
    module("m2", {"broken"});
    const std::string base = dir / "data/nwn_base.key", retail = dir / "data/nwn_retail.key";
    const std::string over = dir / "over", dev = dir / "dev", ovr = dir / "ovr", hak = dir / "data/hk/h1.hak";
    struct Case {
        std::vector<std::string> args; // after --game
        int status;
        std::string out;
        std::string err; // a part of it
    };
    const std::vector<Case> cases = {
        {{"conflicts", "--quiet", "--module", "m", "--override", over},
         1,
         "appearance.2da\toverride " + over + "\tdiffer\n\toverride " + over +
             "\t17\t2e21a4428e19d8a51c5be1f7dcb6d944094b4194\tloaded\n\tkey " + retail +
             "\t17\t2e21a4428e19d8a51c5be1f7dcb6d944094b4194\tshadowed\n\tkey " + base +
             "\t15\tafc0a0fc0ae9476c12f004dd379f5f10d27f3e58\tshadowed\n" + "c_dragon.mdl\thak " + hak +
             "\tdiffer\n\thak " + hak + "\t10\tc1595d1e793082fa2d2b1c91674ae4e4e8720bd6\tloaded\n\tkey " + retail +
             "\t13\t0814c84c337ac48a7a8fb18932fa5efc390b9f8e\tshadowed\n\tkey " + base +
             "\t12\t6d9f89b696bf069b18b90979c098401a17d2b1e8\tshadowed\n" + "portraits.2da\tovr " + ovr +
             "\tsame\n\tovr " + ovr + "\t14\t36835e3d4360b3357fe8f51c65382f73b5a19c90\tloaded\n\tkey " + base +
             "\t14\t36835e3d4360b3357fe8f51c65382f73b5a19c90\tshadowed\n",
         "the module's HAK \"gone\" is in none of the HAK folders"},
        {{"find", "--quiet", "--shadowed", "--module", "m", "--override", over, "--development", dev},
         1,
         base + ": 3 resources, 41 bytes shadowed by later layers\n" + retail +
             ": 2 resources, 30 bytes shadowed by later layers\n" + hak +
             ": 0 resources, 0 bytes shadowed by earlier HAKs or later layers\n" + ovr +
             ": 1 resource, 14 bytes shadowed by later layers\n" + over +
             ": 0 resources, 0 bytes shadowed by later layers\n" + dev +
             ": 0 resources, 0 bytes shadowed by later layers\n",
         "\"gone\""},
        {{"find", "--quiet", "portraits.2da", "--development", dev},
         0,
         "portraits.2da\t" + dev + "\t-\t0\t3\tloaded\nportraits.2da\t" + ovr +
             "\t-\t0\t14\tshadowed\nportraits.2da\t" + base + "\tdata\\base_2da.bif\t2\t14\tshadowed\n",
         ""},
        {{"cat", "portraits.2da", "--development", dev}, 0, "dev", ""},
        {{"find", "--quiet", "--module", "m2", "c_*"},
         1,
         "c_dragon.mdl\t" + retail + "\tdata\\retail.bif\t1\t13\tloaded\nc_dragon.mdl\t" + base +
             "\tdata\\base_2da.bif\t1\t12\tshadowed\n",
         "broken.hak"},
        {{"find", "--quiet", "--override", dir / "nothing", "appearance.2da"},
         1,
         "appearance.2da\t" + retail + "\tdata\\retail.bif\t0\t17\tloaded\nappearance.2da\t" + base +
             "\tdata\\base_2da.bif\t0\t15\tshadowed\n",
         "nothing\" is missing"},
    };
    for (const Case& c : cases) {
        const CliResult r = Game(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0] << " " << c.args.back();
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // As JSON: the layers in the game's order, each conflict's loaded layer and copies.
    const auto doc = nlohmann::json::parse(Game({"conflicts", "--quiet", "--json", "--override", over}).out);
    ASSERT_EQ(doc["layers"].size(), 4u); // two KEYs, ovr, override
    EXPECT_EQ(doc["layers"][3]["role"], "override");
    ASSERT_EQ(doc["conflicts"].size(), 3u); // c_dragon.mdl of the two KEYs too
    EXPECT_EQ(doc["conflicts"][0]["line"], "appearance.2da");
    EXPECT_EQ(doc["conflicts"][0]["loaded_layer"], 3);
    EXPECT_EQ(doc["conflicts"][0]["copies"][1]["sha1"], "2e21a4428e19d8a51c5be1f7dcb6d944094b4194");
    EXPECT_EQ(doc["conflicts"][2]["differ"], false);
}

// extract over the layers: the copy the game loads of each resource that matches, flat into DIR.
// Layers: the game's two KEYs (base_sounds.bif missing), its ovr, --override, a HAK, --folder.
TEST_F(CliGame, ExtractOverLayersWritesTheCopyTheGameLoads) {
    for (const char* folder : {"ovr", "over", "added"}) fs::create_directories(dir.path() / folder);
    WriteFile(dir / "ovr/portraits.2da", "ovr portraits");
    WriteFile(dir / "over/appearance.2da", "override appearance");
    WriteFile(dir / "added/appearance.2da", "added");
    WriteFile(dir / "h.hak", ErfBytes({{"c_dragon", kTypeMdl, "hak dragon"}, {"x", 2025, OneByteGff("B")}}));
    const std::string over = dir / "over", hak = dir / "h.hak";
    struct Case {
        std::vector<std::string> args; // the output folder last but the patterns
        int status;
        std::string out; // a part of it
        std::vector<std::pair<std::string, std::string>> files; // every file written, with its bytes
        std::string err; // a part of it
    };
    const std::vector<Case> cases = {
        {{"extract", "--game", "--override", over, "--hak", hak, "o1", "*.2da", "c_*"},
         0,
         "extracted 3 resources from 3 layers into ",
         {{"appearance.2da", "override appearance"},
          {"c_dragon.mdl", "hak dragon"},
          {"portraits.2da", "ovr portraits"}},
         ""},
        {{"extract", "--game", "--override", over, "--folder", dir / "added", "o2", "APPEARANCE.2DA"},
         0,
         "extracted 1 resource from 1 layer",
         {{"appearance.2da", "added"}},
         ""},
        {{"extract", "--json", "--hak", hak, "o3", "*.uti"},
         0,
         "(1 GFF resource as JSON)",
         {{"x.uti.json", OneByteGffJson("B")}},
         ""},
        {{"extract", "--game", "--match", "[ad]*", "o4"},
         1,
         "extracted 1 resource from 2 layers into ",
         {{"appearance.2da", "retail appearance"}},
         "skipped door.txt from key " + (dir / "data/nwn_base.key") + " (data\\base_sounds.bif): the BIF"},
        {{"extract", "--game", "--hak", hak, "o5", "*.nss"}, 1, "", {}, "no resource matches"},
        // The form of one BIF keeps its meaning.
        {{"extract", "--game", "data\\retail.bif", "o6"},
         0,
         "extracted 2 resources from data\\retail.bif",
         {{"appearance.2da", "retail appearance"}, {"c_dragon.mdl", "retail dragon"}},
         ""},
        {{"extract", "--all", "--hak", hak, "o7"}, 2, "", {}, "extract --all takes a KEY, not layers"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        const auto out = std::find_if(args.begin(), args.end(), [](const std::string& a) { return a[0] == 'o'; });
        *out = dir / *out;
        const CliResult r = RunCli(dir, args);
        SCOPED_TRACE(*out);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        std::vector<std::pair<std::string, std::string>> written;
        if (fs::exists(*out))
            for (const auto& entry : fs::directory_iterator(*out))
                written.emplace_back(entry.path().filename().string(), ReadText(entry.path()));
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, c.files);
    }
}

} // namespace
} // namespace vellocar::test
