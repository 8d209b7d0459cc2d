// vellocar-cli over an archive of the ERF family: list, extract, cat and verify of a small HAK,
// find and cat with HAKs above a KEY, with the output each gives written here.

#include "CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vellocar::test {
namespace {

struct ErfRun {
    std::vector<std::string> Args;
    int Status;
    std::string Out; // stdout exactly
    std::string Err; // found in stderr ("" for none at all)
};

TEST(CliErf, ListExtractCatAndVerifyReadTheArchive) {
    TempDir dir;
    WriteFile(dir / "x.hak", ErfBytes({{"zeta", kType2da, "2DA V2.0\n"}, {"hello", kTypeTxt, "hi there\n"}}));
    Bytes bad = ErfBytes({{"one", kTypeTxt, "1111"}, {"ONE", kTypeTxt, "22"}}, {}, "MOD V1.0");
    bad[160 + 48 + 12] = 99; // the second resource's size: past the end of the file
    WriteFile(dir / "bad.mod", bad);
    const std::string x = dir / "x.hak", b = dir / "bad.mod", out = dir / "out";
    const std::vector<ErfRun> runs = {
        {{"list", x}, 0, "zeta.2da\nhello.txt\n", ""},
        {{"cat", x, "HELLO.txt"}, 0, "hi there\n", ""},
        {{"cat", x, "nope.txt"}, 1, "", "holds no nope.txt"},
        {{"extract", x, out, "hello.txt"}, 0, "extracted 1 resource from " + x + " into " + out + "\n", ""},
        {{"verify", x}, 0, "verified 1 HAK, 2 resources: no problems\n", ""},
        {{"verify", b},
         1,
         "verified 1 MOD, 2 resources: 2 problems\n",
         "key entry 1 (\"ONE.txt\") is the same resource as entry 0 (\"one.txt\")"},
        {{"verify", b},
         1,
         "verified 1 MOD, 2 resources: 2 problems\n",
         "the bytes of entry 1 (\"ONE.txt\") run past the end of the file (offset 228, 99 bytes, file 230 bytes)"},
        {{"list", x, "extra"}, 2, "", "list takes a HAK alone"},
    };
    for (const ErfRun& run : runs) {
        SCOPED_TRACE(run.Args[0] + " " + run.Args.back());
        const CliResult r = RunCli(dir, run.Args);
        EXPECT_EQ(r.status, run.Status) << r.err;
        EXPECT_EQ(r.out, run.Out);
        if (run.Err.empty())
            EXPECT_EQ(r.err, "");
        else
            EXPECT_NE(r.err.find(run.Err), std::string::npos) << r.err;
    }
    EXPECT_EQ(Bytes(ReadFile(dir / "out/hello.txt")).Str(), "hi there\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/zeta.2da"));
}

TEST(CliErf, PackKeepsTheOldArchiveAsBackupAndRefusesWhatItCannotWrite) {
    // What pack writes, and what an append replaces, the independent reader checks field by
    // field (tests/interop); here the backup and the refusals, each leaving the file as it was.
    TempDir dir;
    std::filesystem::create_directories(dir / "src");
    WriteFile(dir / "src/b.2da", Bytes("2DA"));
    WriteFile(dir / "src/A.txt", Bytes("aa"));
    ::setenv("SOURCE_DATE_EPOCH", "1770681600", 1); // 2026-02-10: year 126, day 40
    const std::string hak = dir / "x.hak";
    const Bytes first = ErfBytes({{"A", kTypeTxt, "aa"}, {"b", kType2da, "2DA"}}, {{0, "Words"}});
    for (int run = 0; run < 2; ++run) RunCli(dir, {"pack", dir / "src", hak, "--description", "Words"});
    EXPECT_EQ(Bytes(ReadFile(hak + ".bak")).Str(), first.Str());

    WriteFile(dir / "h.mod", first);
    WriteFile(dir / "e.erf", Bytes("ERF E1.0").Zeros(200));
    const std::vector<ErfRun> refused = {
        {{"pack", dir / "src", dir / "h.mod"}, 1, "", "which the build would replace as its MOD, is"},
        {{"pack", dir / "src", dir / "e.erf"}, 1, "", "of version \"E1.0\", which Vellocar reads but does not write"},
        {{"pack", dir / "src", hak, "--description", "\xe6\x97\xa5"}, 1, "", "Windows-1252 cannot hold"},
        {{"pack", dir / "src", dir / "y.zip"}, 2, "", "ends in none of their extensions"},
        {{"pack", "--type", "zip", dir / "src", hak}, 2, "", "--type \"zip\" is none of"},
    };
    for (const ErfRun& run : refused) {
        SCOPED_TRACE(run.Args.back());
        const CliResult r = RunCli(dir, run.Args);
        EXPECT_EQ(r.status, run.Status);
        EXPECT_NE(r.err.find(run.Err), std::string::npos) << r.err;
    }
    EXPECT_EQ(Bytes(ReadFile(dir / "h.mod")).Str(), first.Str());
    ::unsetenv("SOURCE_DATE_EPOCH");
}

// A module's HAKs stand above every KEY, and the first HAK in its list wins over later ones.
TEST(CliErf, FindAndCatPutTheFirstHakGivenAboveTheOthersAndTheKeys) {
    TempDir dir;
    const std::string key = WriteArchive(dir.path(), "k.key", {{"data\\k.bif", {{"same", kType2da, "key"}}}});
    WriteFile(dir / "a.hak", ErfBytes({{"only", kTypeTxt, "only a"}, {"SAME", kType2da, "from a"}}));
    WriteFile(dir / "b.mod", ErfBytes({{"same", kType2da, "from bb"}}, {}, "MOD V1.0"));
    const std::string a = dir / "a.hak", b = dir / "b.mod";
    const std::string inB = "same.2da\t" + b + "\t-\t0\t7\t";
    const std::vector<ErfRun> runs = {
        {{"find", "same.2da", key, "--hak", a, "--hak", b},
         0,
         "SAME.2da\t" + a + "\t-\t1\t6\tloaded\n" + inB + "shadowed\nsame.2da\t" + key +
             "\tdata\\k.bif\t0\t3\tshadowed\n",
         ""},
        {{"find", "--hak", b, "--hak", a, "s*"}, 0, inB + "loaded\nSAME.2da\t" + a + "\t-\t1\t6\tshadowed\n", ""},
        {{"find", "--shadowed", key, "--hak", a, "--hak", b},
         0,
         key + ": 1 resource, 3 bytes shadowed by later KEYs or the HAKs\n" + a +
             ": 0 resources, 0 bytes shadowed by HAKs listed before it\n" + b +
             ": 1 resource, 7 bytes shadowed by HAKs listed before it\n",
         ""},
        {{"cat", key, "same.2da", "--hak", b, "--hak", a}, 0, "from bb", ""},
        {{"find", "*", key, "--hak", key}, 1, "", "Cannot open HAK \"" + key + "\": --hak takes an archive of the ERF"},
        {{"list", key, "--hak", a},
         2,
         "",
         "--hak, --module, --override, --development and --folder belong to find, cat, conflicts and extract"},
    };
    for (const ErfRun& run : runs) {
        SCOPED_TRACE(run.Args[0] + " " + run.Args[1]);
        const CliResult r = RunCli(dir, run.Args);
        EXPECT_EQ(r.status, run.Status) << r.err;
        EXPECT_EQ(r.out, run.Out);
        EXPECT_NE(r.err.find(run.Err), std::string::npos) << r.err;
    }
    // A HAK's resource names its HAK instead of a KEY and a BIF; a KEY's keeps its fields.
    const auto doc = nlohmann::json::parse(RunCli(dir, {"find", "--json", "same.2da", key, "--hak", a}).out);
    using Json = nlohmann::json;
    EXPECT_EQ(doc["haks"], Json::array({{{"index", 0}, {"path", a}, {"type", "HAK"}}}));
    EXPECT_EQ(doc["resources"][0],
              Json({{"line", "SAME.2da"},
                    {"name", "SAME"},
                    {"name_hex", "53414d45"},
                    {"type", 2017},
                    {"extension", "2da"},
                    {"hak", 0},
                    {"hak_path", a},
                    {"line_index", 1},
                    {"index", 1},
                    {"res_id", 1},
                    {"size", 6},
                    {"loaded", true}}));
    EXPECT_EQ(doc["resources"][1]["bif"], "data\\k.bif");
    EXPECT_EQ(doc["resources"][1]["loaded"], false);
}

} // namespace
} // namespace vellocar::test
