// vellocar-cli end to end: the built program run as a child process on scratch files.

#include "CliRunner.h"
#include "PngPixels.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace vellocar::test {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A game-like folder: base.key naming data\a.bif (three resources) and data\b.bif (one), with
// the key table interleaving the two BIFs.
class CliArchive : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "data");
        WriteKey(dir / "base.key", {kBifA, kBifB},
                 {{"zeta", kType2da, ResId(0, 0)},
                  {"only", kTypeNss, ResId(1, 0)},
                  {"alpha", kTypeNss, ResId(0, 1)},
                  {"readme", kTypeTxt, ResId(0, 2)}});
        WriteBif(dir / "data/a.bif", {"zeta bytes", "", "hello"}, {kType2da, kTypeNss, kTypeTxt});
        WriteBif(dir / "data/b.bif", {"only"}, {kTypeNss});
    }
    // The file table's rows, with the sizes of the BIFs above (tables, then the bytes).
    inline static const Key::Bif kBifA{"data\\a.bif", {}, 0, 20 + 3 * 16 + 15};
    inline static const Key::Bif kBifB{"data\\b.bif", {}, 0, 20 + 16 + 4};
    TempDir dir;
};

TEST(CliUsage, WrongCommandLinesExitWithTwoAndAHint) {
    TempDir dir;
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"--frobnicate", "list", "x.key"},
        {"list"},
        {"list", "x.key", "a", "b"},
        {"extract", "x.key", "data\\a.bif"},
        {"pack", "src", "x.bif"},
        {"list", "--append", "x.key"},
        {"extract", "x.key", "0", ""},
        {"verify"},
        {"verify", "--json", "x.key"},
        {"cat", "--json", "--png", "x.key", "a.tga"},
        {"find", "*.2da"},
        {"cat", "x.key"},
        {"extract", "--flat", "x.key", "0", "out"},
        {"list", "--match", "*", "x.key"},
        {"cat", "--game", "--lang", "../x", "a.2da"},
        {"pack", "--game", "src", "x.bif", "x.key"},
        {"extract", "x.key", "0", "out", "a.2da", "--match", "*"},
        {"cat", "--mp3", "--json", "x.tlk"},
        {"cat", "--json", "--code-page", "1253", "x.tlk"},
        {"cat", "--code-page", "1251", "x.tlk"},
        {"list", "--mp3", "x.key"},
    };
    for (const auto& args : wrong) {
        const CliResult r = RunCli(dir, args);
        const std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_TRUE(StartsWith(r.err, "vellocar-cli: ")) << r.err;
        EXPECT_NE(r.err.find("usage: "), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
}

TEST(CliUsage, HelpNamesEveryVerbAndVersionIsOneLine) {
    TempDir dir;
    const CliResult help = RunCli(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* verb : {" list [--json] KEY ", " list [--json] KEY BIF ", " extract [--png] [--json] KEY BIF DIR ",
                             " pack [--append] ", " verify KEY [BIF...] ", " extract [--png] [--json] KEY --all DIR ",
                             " find [--json] PATTERN KEY...", " find --shadowed ", " cat [--force] [--png | --json] ",
                             " convert IN OUT ", "--game "}) {
        EXPECT_NE(help.out.find(verb), std::string::npos) << verb;
    }
    const CliResult version = RunCli(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "vellocar-cli 1.0.0\n");
}

TEST(CliErrors, MissingKeyIsAFailureThatNamesTheFile) {
    TempDir dir;
    const std::string missing = dir / "nowhere.key";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", missing}, {"extract", missing, "0", dir / "out"}}) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_TRUE(StartsWith(r.err, "vellocar-cli: ")) << r.err;
        EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

TEST_F(CliArchive, UnknownBifIsAFailureAndTouchesNothing) {
    for (const std::string bif : {"data\\c.bif", "data\\a.bi", "a", "2", "1x", ""}) {
        const CliResult list = RunCli(dir, {"list", dir / "base.key", bif});
        EXPECT_EQ(list.status, 1) << bif;
        EXPECT_NE(list.err.find("no BIF"), std::string::npos) << list.err;
        const CliResult extract = RunCli(dir, {"extract", dir / "base.key", bif, dir / "out"});
        EXPECT_EQ(extract.status, 1) << bif;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out"));

    // A name with control bytes is echoed escaped: it cannot clear or rewrite the terminal.
    const CliResult hostile = RunCli(dir, {"list", dir / "base.key", "\x1b[2Jx\ny"});
    EXPECT_EQ(hostile.status, 1);
    EXPECT_NE(hostile.err.find("\"\\x1b[2Jx\\x0ay\""), std::string::npos) << hostile.err;
    EXPECT_EQ(hostile.err.find('\x1b'), std::string::npos);
}

// What a newcomer types: help on one command, slips of the keyboard, a BIF named loosely, a pack
// into a folder not made yet. Each line: the command line, its exit status, and fragments of
// stdout and stderr ("" for none; a "!" before one it must not hold).
TEST_F(CliArchive, NewcomersCommandLines) {
    const std::string key = dir / "base.key", aLines = "zeta.2da\nalpha.nss\nreadme.txt\n";
    const std::string packed = "packed 2 files (123 bytes)";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const Case cases[] = {
        {{"help", "list"}, 0, "usage: vellocar-cli [--quiet] list [--json] KEY BIF\n", ""},
        {{"extract", "--help"},
         0,
         "usage: vellocar-cli [--quiet] extract [--png] [--json] KEY BIF DIR [LINE...]\n",
         ""},
        {{"pack", "x", "--help"}, 0, "  --append ", ""},
        {{"help"}, 0, "usage:\n", ""},
        {{"help", "lsit"}, 2, "", "no command 'lsit'; did you mean 'list'?"},
        {{"lst", key}, 2, "", "unknown command 'lst'; did you mean 'list'?"},
        {{"vrefiy", key}, 2, "", "did you mean 'verify'?"},
        {{"frobnicate"}, 2, "", "!did you mean"},
        {{"list", "--jsn", key}, 2, "", "unknown option '--jsn'; did you mean '--json'?"},
        {{"extract", "--mach=*.2da", key, "0", "x"}, 2, "", "did you mean '--match'?"},
        {{"list", "-x", key}, 2, "", "!did you mean"},
        {{"list", key, "DATA/A.BIF"}, 0, aLines, ""},
        {{"list", key, "a.bif"}, 0, aLines, ""},
        {{"list", key, "A.Bif"}, 0, aLines, ""},
        {{"list", key, "data/b.bif"}, 0, "only.nss\n", ""},
        {{"list", key, "c.bif"}, 1, "", "; its 2 BIFs: data\\a.bif and data\\b.bif ("},
        {{"extract", key, "B.BIF", dir / "out", "only.nss"}, 0, "extracted 1 resource from data\\b.bif", ""},
        {{"pack", dir / "data", dir / "new/x.bif", dir / "new/x.key"}, 0, packed, ""},
        {{"pack", dir / "data", dir / "sub/y.bif", dir / "y.key"}, 0, packed, ""},
        {{"pack", dir / "data", dir / "two/levels/x.bif", dir / "x.key"}, 1, "", "vellocar-cli: "},
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli(dir, c.args);
        const std::string shown = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
        for (const auto& [text, part] : {std::pair{r.out, c.out}, std::pair{r.err, c.err}}) {
            if (part.empty()) continue;
            if (part[0] == '!')
                EXPECT_EQ(text.find(part.substr(1)), std::string::npos) << shown << ": " << text;
            else
                EXPECT_NE(text.find(part), std::string::npos) << shown << ": " << text;
        }
    }
    EXPECT_EQ(ReadText(dir / "out/only.nss"), "only");
    for (const char* made : {"new/x.bif", "new/x.key", "sub/y.bif"}) EXPECT_TRUE(fs::exists(dir.path() / made)) << made;
    EXPECT_FALSE(fs::exists(dir.path() / "two"));
}

TEST_F(CliArchive, FilesOfAnotherKindAreRefusedNamingWhatTheyAre) {
    // A BIF (of 20 bytes) and a HAK given as KEYs, and data\a.bif a KEY: each command fails, saying so.
    const std::string bif = dir / "bif.key", hak = dir / "hak.key", key = dir / "base.key";
    WriteFile(bif, BifBytes({}));
    WriteFile(hak, Bytes().Text("HAK V1.0").Zeros(56));
    WriteFile(dir / "data/a.bif", Key().Write());
    const std::string keyIsNoBif = "Cannot open BIF \"" + dir / "data/a.bif" + "\": it is a KEY, not a BIF";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"list", bif}, "Cannot open KEY \"" + bif + "\": it is a BIF, not a KEY"},
        {{"extract", bif, "0", dir / "out"}, "it is a BIF, not a KEY"},
        {{"verify", bif}, bif + ": it is a BIF, not a KEY"},
        {{"pack", "--append", dir / "data", dir / "new.bif", hak}, "would replace as its KEY, is a HAK, not a KEY"},
        {{"cat", key, "zeta.2da"}, keyIsNoBif},
        {{"verify", key, "0"}, keyIsNoBif},
    };
    for (const auto& [args, says] : cases) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

TEST_F(CliArchive, ListShowsBifNamesAndResourceLinesFromTheKeyAlone) {
    // The BIFs are not needed for listing.
    fs::remove_all(dir.path() / "data");
    const CliResult bifs = RunCli(dir, {"list", dir / "base.key"});
    EXPECT_EQ(bifs.status, 0) << bifs.err;
    EXPECT_EQ(bifs.out, "data\\a.bif\ndata\\b.bif\n");

    const std::vector<std::string> aLines = {"zeta.2da", "alpha.nss", "readme.txt"};
    const CliResult byName = RunCli(dir, {"list", dir / "base.key", "data\\a.bif"});
    EXPECT_EQ(byName.status, 0) << byName.err;
    EXPECT_EQ(Lines(byName.out), aLines); // KEY order, not sorted
    const CliResult byIndex = RunCli(dir, {"--quiet", "list", dir / "base.key", "0"});
    EXPECT_EQ(Lines(byIndex.out), aLines);
    EXPECT_EQ(RunCli(dir, {"list", dir / "base.key", "1"}).out, "only.nss\n");
}

TEST_F(CliArchive, VerifyPassesAGoodPairAndPrintsOneLinePerProblem) {
    const CliResult clean = RunCli(dir, {"verify", dir / "base.key"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "verified 2 BIFs, 4 resources: no problems\n");
    EXPECT_EQ(clean.err, "");

    // zeta's type differs from the BIF's, readme's index is past a.bif's table (which leaves
    // its resource 2 unnamed), and b.bif is gone.
    WriteKey(dir / "base.key", {kBifA, kBifB},
             {{"zeta", kTypeTxt, ResId(0, 0)},
              {"only", kTypeNss, ResId(1, 0)},
              {"alpha", kTypeNss, ResId(0, 1)},
              {"readme", kTypeTxt, ResId(0, 9)}});
    fs::remove(dir.path() / "data/b.bif");
    const CliResult broken = RunCli(dir, {"verify", dir / "base.key"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, "verified 2 BIFs, 4 resources: 4 problems\n");
    const std::vector<std::string> err = Lines(broken.err);
    ASSERT_EQ(err.size(), 4u) << broken.err;
    EXPECT_TRUE(StartsWith(err[0], "vellocar-cli: data\\a.bif: zeta.txt: the BIF gives type 2017")) << err[0];
    EXPECT_TRUE(StartsWith(err[1], "vellocar-cli: data\\a.bif: readme.txt: the BIF holds no resource")) << err[1];
    EXPECT_TRUE(StartsWith(err[2], "vellocar-cli: data\\a.bif: #2: no KEY entry names")) << err[2];
    EXPECT_TRUE(StartsWith(err[3], "vellocar-cli: data\\b.bif: not found")) << err[3];

    // Only the BIFs named, by name or index; --quiet leaves the verdict to the exit status.
    const CliResult one = RunCli(dir, {"--quiet", "verify", dir / "base.key", "1"});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out, "");
    EXPECT_EQ(Lines(one.err).size(), 1u) << one.err;
    EXPECT_EQ(RunCli(dir, {"verify", dir / "base.key", "data\\a.bif", "x"}).status, 1);

    // Every fault of the KEY's own structure, then its BIFs as far as the rest reads.
    WriteKey(dir / "base.key", {kBifA}, {{"x", kTypeTxt, ResId(7, 0)}, {"y", kTypeTxt, ResId(9, 0)}});
    const CliResult key = RunCli(dir, {"verify", dir / "base.key"});
    EXPECT_EQ(key.status, 1);
    EXPECT_TRUE(StartsWith(key.err, "vellocar-cli: " + (dir / "base.key") + ": key entry 0 (\"x\") names BIF 7"));
    EXPECT_EQ(key.out, "verified 1 BIF, 0 resources: 5 problems\n"); // and a.bif's three unnamed
}

TEST_F(CliArchive, ListJsonDescribesTheKeyAndABifForScripts) {
    // A BIF name that is not UTF-8 (Windows-1252 e-acute and euro sign) that is not on disk.
    const std::string odd = "data\\caf\xe9\x80.bif";
    WriteKey(dir / "base.key", {{"data\\a.bif"}, {odd}},
             {{"zeta", kType2da, ResId(0, 0)},
              {"alpha", kTypeNss, ResId(0, 1)},
              {"gone", kTypeTxt, ResId(1, 0)},
              {std::string("\0x\n", 3), kTypeTxt, ResId(1, 1)}});
    const CliResult keyForm = RunCli(dir, {"list", "--json", dir / "base.key"});
    ASSERT_EQ(keyForm.status, 0) << keyForm.err;
    // Written as it is read, yet laid out and escaped exactly as nlohmann-json dumps it.
    EXPECT_EQ(keyForm.out, nlohmann::ordered_json::parse(keyForm.out).dump(2) + "\n");
    const auto key = nlohmann::json::parse(keyForm.out);
    EXPECT_EQ(key["key"]["path"], dir / "base.key");
    EXPECT_EQ(key["key"]["build_year"], Key().BuildYear);
    ASSERT_EQ(key["bifs"].size(), 2u);
    EXPECT_EQ(key["bifs"][0]["name"], "data\\a.bif");
    EXPECT_EQ(key["bifs"][0]["path"], dir / "data/a.bif");
    EXPECT_EQ(key["bifs"][0]["exists"], true);
    EXPECT_EQ(key["bifs"][0]["resource_count"], 2);
    EXPECT_EQ(key["bifs"][1]["name"], "data\\caf\u00e9\u20ac.bif");
    EXPECT_EQ(key["bifs"][1]["name_hex"],
              "646174615c636166e980"
              "2e626966");
    EXPECT_EQ(key["bifs"][1]["exists"], false);

    const CliResult bifForm = RunCli(dir, {"--json", "list", dir / "base.key", "data\\a.bif"});
    ASSERT_EQ(bifForm.status, 0) << bifForm.err;
    EXPECT_EQ(bifForm.out, nlohmann::ordered_json::parse(bifForm.out).dump(2) + "\n");
    const auto bif = nlohmann::json::parse(bifForm.out);
    EXPECT_EQ(bif["bif"]["index"], 0);
    EXPECT_EQ(bif["bif"]["opened"], true);
    ASSERT_EQ(bif["resources"].size(), 2u);
    const auto& alpha = bif["resources"][1];
    EXPECT_EQ(alpha["line"], "alpha.nss");
    EXPECT_EQ(alpha["type"], kTypeNss);
    EXPECT_EQ(alpha["extension"], "nss");
    EXPECT_EQ(alpha["index"], 1);
    EXPECT_EQ(alpha["offset"], 20 + 3 * 16 + 10); // after the table and zeta's 10 bytes
    EXPECT_EQ(alpha["size"], 0);

    // A BIF that is not there still lists its entries from the KEY, without offsets.
    const std::string missingText = RunCli(dir, {"list", "--json", dir / "base.key", "1"}).out;
    EXPECT_EQ(missingText, nlohmann::ordered_json::parse(missingText).dump(2) + "\n");
    const auto missing = nlohmann::json::parse(missingText);
    EXPECT_EQ(missing["bif"]["opened"], false);
    EXPECT_EQ(missing["resources"][0]["line"], "gone.txt");
    EXPECT_TRUE(missing["resources"][0]["offset"].is_null());
    // Every byte of a ResRef but its zero padding, a leading zero byte included.
    EXPECT_EQ(missing["resources"][1]["name_hex"], "00780a");
}

TEST(CliList, NamesFromTheKeyAreEscapedOnATerminalAndExactInAPipe) {
    // A BIF name that would set the terminal's title, one with an e-acute (Windows-1252, listed
    // as UTF-8) and a byte that Windows-1252 leaves undefined (kept: an 8-bit OSC), and a
    // resource name that would clear the screen.
    TempDir dir;
    const std::string key = dir / "k.key";
    const std::string title = "data\\\x1b]0;owned\x07.bif";
    const std::string osc = "caf\xe9\x9d.bif";
    WriteKey(key, {{title}, {osc}}, {{"ev\x1b[2Jil", kTypeTxt, ResId(0, 0)}});

    const auto onTerminal = CliOptions::OnTerminal(CliOptions::Terminal::Stdout);
    EXPECT_EQ(RunCli(dir, {"list", key}).out, title + "\ncaf\xc3\xa9\x9d.bif\n");
    EXPECT_EQ(RunCli(dir, {"list", key}, onTerminal).out, "data\\\\x1b]0;owned\\x07.bif\ncaf\xc3\xa9\\x9d.bif\n");
    EXPECT_EQ(RunCli(dir, {"list", key, "0"}).out, "ev\x1b[2Jil.txt\n");
    EXPECT_EQ(RunCli(dir, {"list", key, "0"}, onTerminal).out, "ev\\x1b[2Jil.txt\n");

    // Messages on stderr quote the name escaped, even into a file.
    const CliResult missing = RunCli(dir, {"extract", key, "0", dir / "out"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("]0;owned\\x07.bif"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find_first_of("\x1b\x07"), std::string::npos) << missing.err;
}

TEST(CliList, AKeyWhoseRowsShareOneLongNameIsRefusedWithinLittleMemory) {
    if (kUnderAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
    // 545 KB on disk; one copy of the 65,535-byte name per row would take 2.6 GB.
    TempDir dir;
    WriteFile(dir / "names.key", SharedNameKey(40000, 0xFFFF));
    const CliResult r = RunCli(dir, {"list", dir / "names.key"}, CliOptions::WithAddressSpace(rlim_t{256} << 20));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the BIF names add up to more bytes than the file holds"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(CliList, ABifNameTheKeyListsTwiceIsRefusedAndAnIndexStillChooses) {
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    const std::string key = dir / "k.key";
    WriteKey(key, {{"data\\x.bif"}, {"data\\y.bif"}, {"data\\z.bif"}, {"data\\x.bif"}},
             {{"first", kTypeTxt, ResId(0, 0)}, {"second", kTypeTxt, ResId(3, 0)}});
    WriteBif(dir / "data/x.bif", {"bytes"}, {kTypeTxt});

    const std::string refusal = "vellocar-cli: \"data\\x.bif\" is listed 2 times in \"" + key +
        "\" (entries 0 and 3); give the index instead\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", key, "data\\x.bif"}, {"extract", key, "data\\x.bif", dir / "out"}}) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.err, refusal);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out"));

    EXPECT_EQ(RunCli(dir, {"list", key, "3"}).out, "second.txt\n");
    const CliResult byIndex = RunCli(dir, {"extract", key, "3", dir / "out"});
    ASSERT_EQ(byIndex.status, 0) << byIndex.err;
    EXPECT_EQ(ReadText(dir / "out/second.txt"), "bytes");
    EXPECT_FALSE(fs::exists(dir.path() / "out/first.txt"));
}

TEST(CliList, ShowsFullSixteenCharacterNamesAndUnknownTypesAsALonePoint) {
    TempDir dir;
    WriteKey(dir / "k.key", {{"data\\x.bif"}},
             {{"abcdefghijklmnop", kType2da, ResId(0, 0)}, {"odd", 4242, ResId(0, 1)}});
    const CliResult r = RunCli(dir, {"list", dir / "k.key", "data\\x.bif"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "abcdefghijklmnop.2da\nodd.\n");
}

TEST_F(CliArchive, ExtractAllWritesEveryResourceIntoANewFolder) {
    const std::string out = dir / "out/nested";
    const CliResult r = RunCli(dir, {"extract", dir / "base.key", "data\\a.bif", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(out + "/zeta.2da"), "zeta bytes");
    EXPECT_EQ(ReadText(out + "/alpha.nss"), "");
    EXPECT_TRUE(fs::exists(out + "/alpha.nss"));
    EXPECT_EQ(ReadText(out + "/readme.txt"), "hello");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 3);
    EXPECT_NE(r.out.find("extracted 3 resources"), std::string::npos) << r.out;
    // Output is not a terminal: no progress bar.
    EXPECT_EQ(r.err.find('\r'), std::string::npos);

    const CliResult quiet = RunCli(dir, {"--quiet", "extract", dir / "base.key", "1", dir / "out2"});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(ReadText(dir / "out2/only.nss"), "only");
}

TEST_F(CliArchive, ExtractSelectedWritesOnlyNamedLinesAndReportsUnknownOnes) {
    const std::string out = dir / "out";
    const CliResult r =
        RunCli(dir, {"extract", dir / "base.key", "data\\a.bif", out, "readme.txt", "missing.2da", "zeta.2da"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.2da"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(out + "/readme.txt"), "hello");
    EXPECT_EQ(ReadText(out + "/zeta.2da"), "zeta bytes");
    EXPECT_FALSE(fs::exists(out + "/alpha.nss"));

    // Nothing matched: nothing is created.
    const CliResult none = RunCli(dir, {"extract", dir / "base.key", "0", dir / "none", "nope.txt"});
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(fs::exists(dir.path() / "none"));
}

TEST(CliExtract, UsesTheNamedBifWhenAnotherKeyNameIsPartOfItsPath) {
    // "data\a.bif" occurs inside "olddata\a.bif"; asking for the latter must give its own
    // names and bytes, not the former's.
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    fs::create_directory(dir.path() / "olddata");
    WriteKey(dir / "k.key", {{"data\\a.bif"}, {"olddata\\a.bif"}},
             {{"new", kType2da, ResId(0, 0)}, {"old", kType2da, ResId(1, 0)}});
    WriteBif(dir / "data/a.bif", {"new bytes"});
    WriteBif(dir / "olddata/a.bif", {"old bytes"});

    const CliResult r = RunCli(dir, {"extract", dir / "k.key", "olddata\\a.bif", dir / "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(dir / "out/old.2da"), "old bytes");
    EXPECT_FALSE(fs::exists(dir.path() / "out/new.2da"));

    const CliResult selected = RunCli(dir, {"extract", dir / "k.key", "1", dir / "sel", "old.2da"});
    ASSERT_EQ(selected.status, 0) << selected.err;
    EXPECT_EQ(ReadText(dir / "sel/old.2da"), "old bytes");
}

TEST(CliExtract, FindsTheBifsOfAKeyInTheCurrentFolder) {
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    WriteKey(dir / "k.key", {{"data\\x.bif"}}, {{"here", kTypeTxt, ResId(0, 0)}});
    WriteBif(dir / "data/x.bif", {"found"}, {kTypeTxt});
    const CliResult r =
        RunCli(dir, {"extract", "k.key", "data\\x.bif", "out"}, CliOptions::InFolder(dir.path().string()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(dir / "out/here.txt"), "found");
}

TEST(CliExtract, FindsABifWhoseFoldersDifferInCaseFromTheKey) {
    // Copied from a Windows install: the KEY says data\x.bif, the disk has DATA/X.BIF.
    TempDir dir;
    fs::create_directory(dir.path() / "DATA");
    WriteKey(dir / "k.key", {{"data\\x.bif"}}, {{"here", kTypeTxt, ResId(0, 0)}});
    WriteBif(dir / "DATA/X.BIF", {"found"}, {kTypeTxt});
    const CliResult r = RunCli(dir, {"extract", dir / "k.key", "data\\x.bif", dir / "out", "here.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadText(dir / "out/here.txt"), "found");
}

TEST(CliExtract, SkippedResourcesFailTheRunButTheOthersAreWritten) {
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    fs::create_directory(dir.path() / "out");
    // Entry 1 would leave the target folder, entry 2 has no KEY entry at all.
    WriteKey(dir / "k.key", {{"data\\x.bif"}}, {{"good", kTypeTxt, ResId(0, 0)}, {"../evil", kTypeTxt, ResId(0, 1)}});
    WriteBif(dir / "data/x.bif", {"good bytes", "evil bytes", "nameless"}, {kTypeTxt, kTypeTxt, kTypeTxt});

    const CliResult r = RunCli(dir, {"extract", dir / "k.key", "0", dir / "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadText(dir / "out/good.txt"), "good bytes");
    EXPECT_FALSE(fs::exists(dir.path() / "evil.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "out"), fs::directory_iterator()), 1);
    const std::vector<std::string> err = Lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_TRUE(StartsWith(err[0], "vellocar-cli: skipped ../evil.txt: ")) << err[0];
    EXPECT_TRUE(StartsWith(err[1], "vellocar-cli: skipped #2: ")) << err[1];
}

TEST(CliExtract, MissingBifFileIsAFailure) {
    TempDir dir;
    WriteKey(dir / "k.key", {{"data\\gone.bif"}}, {{"x", kTypeTxt, ResId(0, 0)}});
    const CliResult r = RunCli(dir, {"extract", dir / "k.key", "0", dir / "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(StartsWith(r.err, "vellocar-cli: ")) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

class CliPack : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.path() / "src");
        WriteFile(dir / "src/b.nss", "void main() {}");
        WriteFile(dir / "src/A.2da", "2DA V2.0");
        WriteFile(dir / "src/empty.txt", "");
        WriteFile(dir / "src/.hidden", "not packed");
        fs::create_directory(dir.path() / "src/sub");
    }
    TempDir dir;
};

TEST_F(CliPack, NewKeyRoundTripsThroughListAndExtract) {
    const std::string bif = dir / "mod.bif";
    const std::string key = dir / "mod.key";
    const CliResult r = RunCli(dir, {"pack", dir / "src", bif, key});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "packed 3 files (22 bytes) into " + bif + "; registered as data\\mod.bif in " + key +
                  " (1 BIF, 3 resources)\n");

    EXPECT_EQ(RunCli(dir, {"list", key}).out, "data\\mod.bif\n");
    // The folder listing's order: by name, without regard to case; hidden files and folders left out.
    EXPECT_EQ(RunCli(dir, {"list", key, "0"}).out, "A.2da\nb.nss\nempty.txt\n");

    // The KEY names data\mod.bif, so the BIF must sit in data\ beside the KEY to be found.
    fs::create_directory(dir.path() / "data");
    fs::rename(bif, dir / "data/mod.bif");
    const CliResult extract = RunCli(dir, {"extract", key, "data\\mod.bif", dir / "out"});
    ASSERT_EQ(extract.status, 0) << extract.err;
    for (const char* name : {"A.2da", "b.nss", "empty.txt"}) {
        EXPECT_EQ(ReadFile(dir / (std::string("out/") + name)), ReadFile(dir / (std::string("src/") + name))) << name;
    }
}

TEST_F(CliPack, AppendAddsABifAndReplaceKeepsTheOldKeyAsBackup) {
    const std::string key = dir / "mod.key";
    ASSERT_EQ(RunCli(dir, {"--quiet", "pack", dir / "src", dir / "one.bif", key}).status, 0);
    const auto firstKey = ReadFile(key);

    fs::create_directory(dir.path() / "src2");
    WriteFile(dir / "src2/x.txt", "x");
    const CliResult appended = RunCli(dir, {"pack", "--append", dir / "src2", dir / "two.bif", key});
    ASSERT_EQ(appended.status, 0) << appended.err;
    EXPECT_NE(appended.out.find("(2 BIFs, 4 resources)"), std::string::npos) << appended.out;
    EXPECT_EQ(RunCli(dir, {"list", key}).out, "data\\one.bif\ndata\\two.bif\n");
    EXPECT_EQ(RunCli(dir, {"list", key, "data\\two.bif"}).out, "x.txt\n");
    EXPECT_EQ(ReadFile(key + ".bak"), firstKey);

    const auto appendedKey = ReadFile(key);
    const CliResult replaced = RunCli(dir, {"-q", "pack", dir / "src2", dir / "three.bif", key});
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "");
    EXPECT_EQ(RunCli(dir, {"list", key}).out, "data\\three.bif\n");
    EXPECT_EQ(ReadFile(key + ".bak"), appendedKey);
}

TEST_F(CliPack, ShowsProgressOnATerminalUnlessQuiet) {
    const auto kOnTerminal = CliOptions::OnTerminal(CliOptions::Terminal::Stderr);
    const CliResult shown = RunCli(dir, {"pack", dir / "src", dir / "a.bif", dir / "a.key"}, kOnTerminal);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("] 100%"), std::string::npos) << shown.err;
    EXPECT_NE(shown.out.find("packed 3 files"), std::string::npos) << shown.out;

    const CliResult quiet = RunCli(dir, {"--quiet", "pack", dir / "src", dir / "b.bif", dir / "b.key"}, kOnTerminal);
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
}

TEST_F(CliPack, RefusesASourceWithoutFilesAndWritesNothing) {
    fs::create_directory(dir.path() / "bare");
    fs::create_directory(dir.path() / "bare/only-a-folder");
    for (const std::string& source : {dir / "bare", dir / "absent", dir / "src/b.nss"}) {
        const CliResult r = RunCli(dir, {"pack", source, dir / "x.bif", dir / "x.key"});
        EXPECT_EQ(r.status, 1) << source;
        EXPECT_TRUE(StartsWith(r.err, "vellocar-cli: ")) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "x.bif"));
    EXPECT_FALSE(fs::exists(dir.path() / "x.key"));
}

TEST_F(CliPack, ARefusedBuildIsAFailureAndLeavesTheOldKey) {
    // A base name over 16 characters cannot be a resource name.
    ASSERT_EQ(RunCli(dir, {"-q", "pack", dir / "src", dir / "mod.bif", dir / "mod.key"}).status, 0);
    const auto before = ReadFile(dir / "mod.key");
    WriteFile(dir / "src/a_name_much_too_long.2da", "x");
    const CliResult r = RunCli(dir, {"pack", dir / "src", dir / "mod.bif", dir / "mod.key"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(StartsWith(r.err, "vellocar-cli: ")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(dir / "mod.key"), before);
}

TEST_F(CliPack, FailuresNameTheirCause) {
    WriteFile(dir / "src/big.tga", std::string(5000, 'x'));
    const std::vector<std::string> pack = {"pack", dir / "src", dir / "mod.bif", dir / "mod.key"};
    {
        FileSizeLimit limit(2000); // inherited: the BIF's writes fail as on a full disk
        const CliResult full = RunCli(dir, pack);
        EXPECT_EQ(full.status, 1);
        // The system's reason and the file the user named, not the temporary one.
        EXPECT_NE(full.err.find("Stream write error: file too large, writing \"" + (dir / "mod.bif") + "\""),
                  std::string::npos)
            << full.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "mod.bif"));
    for (const char* epoch : {"-1", "253402300800"}) {
        setenv("SOURCE_DATE_EPOCH", epoch, 1);
        const CliResult refused = RunCli(dir, pack);
        unsetenv("SOURCE_DATE_EPOCH");
        EXPECT_NE(refused.err.find("0 (1970-01-01) to 253402300799 (9999-12-31)"), std::string::npos) << refused.err;
    }
}

// Textures written as PNG: a 2 x 2 TGA (top row red, green; then blue, clear white) and a 4 x 4
// red DXT1 DDS in one BIF, with a 2DA and a texture that does not decode; a DDS of the TGA's name
// in a second BIF.
class CliPng : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tga = Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28}
                                    .Append({0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 0})
                                    .Str();
        // The standard header of 4 x 4 DXT1, then one block of red.
        Bytes dds = Bytes().Text("DDS ").U32(124).U32(0x1007).U32(4).U32(4).Zeros(56);
        dds.U32(32).U32(4).Text("DXT1").Zeros(40).U16(0xF800).Zeros(6);
        key = WriteArchive(dir.path(), "k.key",
                           {{"data\\a.bif",
                             {{"pic", kTypeTga, tga},
                              {"red", kTypeDds, dds.Str()},
                              {"t", kType2da, "2DA V2.0\n"},
                              {"bad", kTypeTga, "not a picture"}}},
                            {"data\\b.bif", {{"pic", kTypeDds, dds.Str()}}}});
    }
    static std::vector<std::uint8_t> Picture(std::size_t pixels, const std::vector<std::uint8_t>& pixel) {
        std::vector<std::uint8_t> rgba;
        for (std::size_t i = 0; i < pixels; ++i) rgba.insert(rgba.end(), pixel.begin(), pixel.end());
        return rgba;
    }
    static constexpr std::uint16_t kTypeTga = 3, kTypeDds = 2033;
    TempDir dir;
    std::string key;
};

TEST_F(CliPng, CatWritesATextureAndRefusesAnythingElse) {
    const CliResult pic = RunCli(dir, {"cat", "--png", key, "pic.tga"});
    EXPECT_EQ(pic.status, 0) << pic.err;
    EXPECT_EQ(ReadPng(pic.out),
              (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 0}));
    for (const char* refused : {"t.2da", "bad.tga"}) {
        const CliResult r = RunCli(dir, {"cat", "--png", key, refused});
        EXPECT_EQ(r.status, 1) << refused;
        EXPECT_EQ(r.out, "") << refused;
        EXPECT_NE(
            r.err.find(std::string(refused) == "t.2da" ? "is not an image" : "cannot write bad.tga as PNG: a TGA"),
            std::string::npos)
            << r.err;
    }
    const CliResult terminal =
        RunCli(dir, {"cat", "--png", key, "pic.tga"}, CliOptions::OnTerminal(CliOptions::Terminal::Stdout));
    EXPECT_EQ(terminal.status, 1);
    EXPECT_EQ(RunCli(dir, {"list", "--png", key}).status, 2);
}

TEST(CliCat, JsonOfATalkTableAndMp3OfMusicFromAKeyOrAFile) {
    TempDir dir;
    // A talk table of one Polish entry ("Łódź", flags 7, sound "vs_a", 2 s) and a BMU.
    Bytes tlk = Bytes("TLK V3.0").U32(5).U32(1).U32(60).U32(7).Text("vs_a", 16).Zeros(8).U32(0).U32(4);
    tlk.U32(0x40000000).Text("\xa3\xf3\x64\x9f");
    const std::string key =
        WriteArchive(dir.path(), "k.key", {{"data\\a.bif", {{"t", 2018, tlk.Str()}, {"m", 8, "BMU V1.0ID3"}}}});
    const std::string json =
        "{\n  \"language\": 5,\n  \"code_page\": 1250,\n  \"entries\": [\n    {\n"
        "      \"strref\": 0,\n      \"flags\": 7,\n      \"text\": \"Łódź\",\n"
        "      \"sound\": \"vs_a\",\n      \"sound_length\": 2.0\n    }\n  ]\n}\n";
    const CliResult fromKey = RunCli(dir, {"cat", "--json", key, "t.tlk"});
    EXPECT_EQ(fromKey.status, 0) << fromKey.err;
    EXPECT_EQ(fromKey.out, json);
    std::filesystem::path file = dir.path() / "dialog.tlk";
    WriteFile(file.string(), tlk);
    EXPECT_EQ(RunCli(dir, {"cat", "--json", file.string()}).out, json);
    EXPECT_EQ(RunCli(dir, {"cat", "--mp3", key, "m.bmu"}).out, "ID3");
    for (const auto& [args, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"cat", "--mp3", key, "t.tlk"}, "t.tlk is not music"},
             {{"cat", "--json", key, "m.bmu"}, "m.bmu is a bmu resource, which has no JSON form"},
             {{"cat", "--json", key, "m.tlk"}, "no KEY holds m.tlk"}}) {
        const CliResult r = RunCli(dir, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

TEST_F(CliPng, ExtractNamesEachPngApartFromTheOtherOutputsOfTheExport) {
    // A link where a PNG goes is replaced, its target left as it was.
    fs::create_directory(dir.path() / "one");
    WriteFile(dir / "victim", std::string("keep"));
    fs::create_symlink(dir / "victim", dir.path() / "one/pic.png");
    // bad.tga does not decode: its own bytes under its own name, with a note.
    const CliResult one = RunCli(dir, {"extract", "--png", key, "0", dir / "one"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.err.find("note: data\\a.bif: bad.tga: written as its own bytes, not as PNG: a TGA"),
              std::string::npos)
        << one.err;
    EXPECT_NE(one.out.find("extracted 4 resources (2 textures as PNG)"), std::string::npos) << one.out;
    EXPECT_EQ(ReadText(dir / "one/bad.tga"), "not a picture");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path() / "one"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bad.tga", "pic.png", "red.png", "t.2da"}));
    EXPECT_FALSE(fs::is_symlink(dir.path() / "one/pic.png"));
    EXPECT_EQ(ReadText(dir / "victim"), "keep");
    EXPECT_EQ(ReadPng(ReadText(dir / "one/red.png")), Picture(16, {255, 0, 0, 255}));

    // Both BIFs into one folder: the TGA and the DDS named pic each keep their own PNG.
    const CliResult flat = RunCli(dir, {"extract", "--png", key, "--all", dir / "flat", "--flat", "--match", "pic.*"});
    EXPECT_EQ(flat.status, 0) << flat.err;
    EXPECT_TRUE(fs::exists(dir.path() / "flat/pic.tga.png"));
    EXPECT_EQ(ReadPng(ReadText(dir / "flat/pic.dds.png")), Picture(16, {255, 0, 0, 255}));
    EXPECT_FALSE(fs::exists(dir.path() / "flat/pic.png"));
}

// The one-byte GFF of the fixture writer, and its JSON as the community's tools write it.
const std::string kOneByteJson = OneByteGffJson("B");

TEST(CliGff, ConvertsBothWaysAndWritesGffResourcesAsJson) {
    TempDir dir;
    constexpr std::uint32_t kTypeUti = 2025;
    WriteFile(dir / "x.uti", OneByteGff("B"));
    WriteKey(dir / "k.key", {{"data\\g.bif", {}, 0, 20 + 2 * 16 + 96 + 4}},
             {{"x", static_cast<std::uint16_t>(kTypeUti), ResId(0, 0)}, {"t", kTypeTxt, ResId(0, 1)}});
    fs::create_directory(dir.path() / "data");
    WriteBif(dir / "data/g.bif", {OneByteGff("B"), "text"}, {kTypeUti, kTypeTxt});
    fs::create_symlink(dir.path() / "x.uti", dir.path() / "link.json");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const std::vector<Case> cases = {
        {{"convert", dir / "x.uti", dir / "x.uti.json"}, 0, "", ""},
        {{"convert", dir / "x.uti.json", dir / "y.uti"}, 0, "", ""},
        {{"convert", dir / "x.uti.json", dir / "y.dlg"}, 1, "", "which is no .dlg file; nothing written"},
        {{"convert", dir / "x.uti", dir / "link.json"}, 1, "", "into itself"},
        {{"convert", dir / "x.uti", dir / "y.uti"}, 2, "", "convert takes a GFF and a .json"},
        {{"convert", dir / "data/g.bif", dir / "g.json"}, 1, "", "it is no GFF V3.2"},
        {{"cat", "--json", dir / "k.key", "x.uti"}, 0, kOneByteJson, ""},
        {{"cat", "--json", dir / "k.key", "t.txt"}, 1, "", "t.txt is a txt resource, which has no JSON form"},
        {{"extract", "--json", dir / "k.key", "0", dir / "out"}, 0, "(1 GFF resource as JSON)", ""},
    };
    for (const Case& c : cases) {
        const CliResult r = RunCli(dir, c.args);
        const std::string shown = c.args[0] + " " + c.args[1];
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << shown << ": " << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << shown << ": " << r.err;
    }
    EXPECT_EQ(ReadText(dir / "x.uti.json"), kOneByteJson);
    EXPECT_EQ(ReadText(dir / "y.uti"), OneByteGff("B"));
    EXPECT_EQ(ReadText(dir / "out/x.uti.json"), kOneByteJson);
    EXPECT_EQ(ReadText(dir / "out/t.txt"), "text");
    EXPECT_FALSE(fs::exists(dir.path() / "y.dlg"));
    EXPECT_EQ(ReadText(dir / "x.uti"), OneByteGff("B"));
}

} // namespace
} // namespace vellocar::test
