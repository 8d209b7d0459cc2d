// The commands over several KEYs, end to end on one fake Enhanced Edition install found through
// NWN_ROOT: extract --all, find (with the entry the game loads), find --shadowed and cat.

#include "CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

} // namespace
} // namespace vellocar::test
