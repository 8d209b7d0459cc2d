// What a successful build writes: the BIF's bytes, the KEY's fields, how an existing KEY is
// extended or updated, and where the replaced files go.

#include "BuildTestHelpers.h"

#include "base/Errors.h"
#include "formats/BifFiles.h"
#include "operations/Build.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

namespace vellocar::test {
namespace {

TEST(Build, NewKeyOfThreeFilesHasTheExactLayout) {
    BuildFixture f;
    f.AddFile("a.2da", 100, 3);
    f.AddFile("b.nss", 0);
    f.AddFile("c.txt", 50, 9);
    ASSERT_TRUE(f.Build("my.bif", "my.key", false));

    const Bytes bif = ReadFile(f.OutPath("my.bif"));
    ASSERT_EQ(bif.size(), 218u);
    const RawBif b = ParseBif(bif);
    EXPECT_EQ(b.FileType, "BIFF");
    EXPECT_EQ(b.FileVersion, "V1  ");
    EXPECT_EQ(b.VarResCount, 3u);
    EXPECT_EQ(b.FixedResCount, 0u);
    EXPECT_EQ(b.VarTableOffset, 20u);
    EXPECT_EQ(b.Vars, (std::vector<RawBif::Var>{{0, 68, 100, 2017}, {1, 168, 0, 2009}, {2, 168, 50, 10}}));
    // The contents follow the table in list order, with no gap.
    const Bytes a = ReadFile(f.Source + "a.2da"), c = ReadFile(f.Source + "c.txt");
    EXPECT_EQ(Bytes(bif.begin() + 68, bif.begin() + 168), a);
    EXPECT_EQ(Bytes(bif.begin() + 168, bif.end()), c);

    const Bytes keyBytes = ReadFile(f.OutPath("my.key"));
    const RawKey k = ParseKey(keyBytes);
    EXPECT_EQ(k.FileType, "KEY ");
    EXPECT_EQ(k.FileVersion, "V1  ");
    EXPECT_EQ(k.BifCount, 1u);
    EXPECT_EQ(k.KeyCount, 3u);
    EXPECT_EQ(k.OffsetToFileTable, 64u);
    EXPECT_EQ(k.OffsetToKeyTable, 88u);
    EXPECT_EQ(k.Reserved, Bytes(32, 0));
    const LocalDate today = platform::Today();
    EXPECT_EQ(k.BuildYear, today.YearsSince1900);
    EXPECT_EQ(k.BuildDay, today.DayOfYear);
    ASSERT_EQ(k.Bifs.size(), 1u);
    EXPECT_EQ(k.Bifs[0].FileSize, 218u);
    EXPECT_EQ(k.Bifs[0].FilenameOffset, 76u);
    EXPECT_EQ(k.Bifs[0].FilenameSize, 11u);
    EXPECT_EQ(k.Bifs[0].Drives, 0u);
    EXPECT_EQ(TextAt(keyBytes, 76, 12), std::string("data\\my.bif\0", 12));
    ASSERT_EQ(k.Keys.size(), 3u);
    EXPECT_EQ(k.Keys[0].ResRef, ResRef16("a"));
    EXPECT_EQ(k.Keys[1].ResRef, ResRef16("b"));
    EXPECT_EQ(k.Keys[2].ResRef, ResRef16("c"));
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(k.Keys[i].ResId, i);
    EXPECT_EQ(k.Keys[1].ResType, 2009u);
    EXPECT_EQ(keyBytes.size(), 88u + 3 * 22);

    // Nothing else is left in the folder: no backups of files that did not exist, no temporaries.
    EXPECT_EQ(Names(TakeSnapshot(f.Out)), "my.bif my.key ");
}

TEST(Build, GaugeRunsOverEveryFileAndStaysVisible) {
    BuildFixture f;
    for (int i = 0; i < 4; ++i) f.AddFile("f" + std::to_string(i) + ".txt", 10);
    ASSERT_TRUE(f.Build("g.bif", "g.key", false));
    EXPECT_TRUE(RanOver(f.Gauge, 3));

    BuildFixture one;
    one.AddFile("only.txt", 1);
    ASSERT_TRUE(one.Build("o.bif", "o.key", false));
    EXPECT_EQ(one.Gauge.Max, 0);
}

TEST(Build, SourceDateEpochGivesTheDateAndTheSameBytesEveryTime) {
    const struct {
        const char* epoch;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> date; // years since 1900, day of year
    } cases[] = {
        {"0", std::pair{70u, 0u}},
        {"1700000000", std::pair{123u, 317u}},
        {"951782400", std::pair{100u, 59u}}, // 29 February 2000
        {"1735689599", std::pair{124u, 365u}}, // the last second of 2024
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"12a", std::nullopt},
        {"1e9", std::nullopt},
        {"253402300800", std::nullopt}, // the year 10000
    };
    for (const auto& c : cases) {
        const auto date = DateFromEpoch(c.epoch);
        ASSERT_EQ(date.has_value(), c.date.has_value()) << c.epoch;
        if (date) {
            EXPECT_EQ(std::pair(date->YearsSince1900, date->DayOfYear), *c.date) << c.epoch;
        }
    }

    // Two packs of one folder with the same value: the same BIF and KEY, byte for byte.
    BuildFixture f;
    f.AddFile("a.2da", 100);
    f.AddFile("b.nss", 7);
    f.SourceDateEpoch = "1700000000";
    ASSERT_TRUE(f.Build("x.bif", "first.key", false));
    const Bytes bif = ReadFile(f.OutPath("x.bif")), key = ReadFile(f.OutPath("first.key"));
    ASSERT_TRUE(f.Build("x.bif", "second.key", false));
    EXPECT_EQ(ReadFile(f.OutPath("x.bif")), bif);
    EXPECT_EQ(ReadFile(f.OutPath("second.key")), key);
    EXPECT_EQ(ParseKey(key).BuildYear, 123u);
    EXPECT_EQ(ParseKey(key).BuildDay, 317u);

    f.SourceDateEpoch = "yesterday";
    EXPECT_THROW(f.Build("x.bif", "third.key", false), EBuildRefused);
}

TEST(Build, NamesSplitAtTheLastPointAndFillTheResRef) {
    BuildFixture f;
    f.AddFile("readme", 1);
    f.AddFile("a.b.nss", 1);
    f.AddFile("Foo.NSS", 1);
    f.AddFile("abcdefghijklmnop.2da", 1); // a base name of exactly 16 characters
    f.AddFile("odd.zzz", 1);
    ASSERT_TRUE(f.Build("n.bif", "n.key", false));
    const RawKey k = ParseKey(ReadFile(f.OutPath("n.key")));
    const RawBif b = ParseBif(ReadFile(f.OutPath("n.bif")));
    ASSERT_EQ(k.Keys.size(), 5u);
    EXPECT_EQ(k.Keys[0].ResRef, ResRef16("readme"));
    EXPECT_EQ(k.Keys[0].ResType, 65535u);
    EXPECT_EQ(k.Keys[1].ResRef, ResRef16("a.b"));
    EXPECT_EQ(k.Keys[1].ResType, 2009u);
    EXPECT_EQ(k.Keys[2].ResRef, ResRef16("Foo")); // case kept in the name, not in the type
    EXPECT_EQ(k.Keys[2].ResType, 2009u);
    EXPECT_EQ(k.Keys[3].ResRef, "abcdefghijklmnop");
    EXPECT_EQ(k.Keys[4].ResType, 65535u);
    EXPECT_EQ(b.Vars[4].ResType, 65535u);
    EXPECT_EQ(b.Vars[3].ResType, 2017u);
}

#ifndef _WIN32
TEST(Build, NamesBeyondAsciiAreStoredInWindows1252AsTheGameReadsThem) {
    BuildFixture f;
    f.AddFile("\xc3\xa9t\xc3\xa9.txt", 3); // "été"
    f.AddFile("\xc5\x92uvre_\xe2\x82\xac.2da", 2); // "Œuvre_€", three bytes in Windows-1252
    ASSERT_TRUE(f.Build("\xc3\xa9.bif", "k.key", false));
    RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
    EXPECT_EQ(k.Bifs[0].Name, "data\\\xe9.bif");
    ASSERT_EQ(k.Keys.size(), 2u);
    EXPECT_EQ(k.Keys[0].ResRef, ResRef16("\xe9t\xe9"));
    EXPECT_EQ(k.Keys[1].ResRef, ResRef16("\x8cuvre_\x80"));

    // The KEY finds its BIF under this system's spelling, and a KEY of an earlier build that
    // stored the name as UTF-8 keeps its one entry for it, spelled as it was.
    EXPECT_EQ(LocateBif(f.Out, k.Bifs[0].Name).Path, f.OutPath("\xc3\xa9.bif"));
    Key old;
    old.AddBif("data\\\xc3\xa9.bif", 1);
    WriteFile(f.OutPath("k.key"), old.Write());
    ASSERT_TRUE(f.Build("\xc3\xa9.bif", "k.key", true));
    k = ParseKey(ReadFile(f.OutPath("k.key")));
    ASSERT_EQ(k.Bifs.size(), 1u);
    EXPECT_EQ(k.Bifs[0].Name, "data\\\xc3\xa9.bif");
}
#endif

TEST(Build, NameThatIsOnlyAnExtensionGivesAnEmptyResRef) {
    BuildFixture f;
    f.AddFile(".nss", 4);
    ASSERT_TRUE(f.Build("e.bif", "e.key", false));
    const RawKey k = ParseKey(ReadFile(f.OutPath("e.key")));
    ASSERT_EQ(k.Keys.size(), 1u);
    EXPECT_EQ(k.Keys[0].ResRef, std::string(16, '\0'));
    EXPECT_EQ(k.Keys[0].ResType, 2009u);
}

TEST(Build, AppendAddsANewBifAfterTheOthers) {
    BuildFixture f;
    Key desc;
    desc.AddBif("data\\x.bif", 5, "x", 1, 4000);
    desc.AddBif("data\\y.bif", 7, "y", 3, 5000);
    desc.Reserved[0] = 0xAB;
    desc.Reserved[31] = 0x01;
    WriteFile(f.OutPath("k.key"), desc.Write());
    const Bytes before = ReadFile(f.OutPath("k.key"));
    f.AddFile("p.2da", 5);
    f.AddFile("q.2da", 6);
    f.AddFile("r.2da", 7);
    ASSERT_TRUE(f.Build("z.bif", "k.key", true));

    const RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
    EXPECT_EQ(k.FileType, "KEY ");
    EXPECT_EQ(k.Reserved, desc.Reserved);
    ASSERT_EQ(k.BifCount, 3u);
    EXPECT_EQ(k.Bifs[0].FilenameOffset, 100u);
    EXPECT_EQ(k.Bifs[1].FilenameOffset, 111u);
    EXPECT_EQ(k.Bifs[2].FilenameOffset, 122u);
    EXPECT_EQ(k.OffsetToKeyTable, 133u);
    EXPECT_EQ(k.Bifs[0].FileSize, 4000u);
    EXPECT_EQ(k.Bifs[0].Drives, 1u);
    EXPECT_EQ(k.Bifs[1].FileSize, 5000u);
    EXPECT_EQ(k.Bifs[1].Drives, 3u);
    EXPECT_EQ(k.Bifs[2].Name, "data\\z.bif");
    EXPECT_EQ(k.Bifs[2].FilenameSize, 10u);
    EXPECT_EQ(k.Bifs[2].Drives, 0u);
    EXPECT_EQ(k.Bifs[2].FileSize, 20u + 3 * 16 + 18);
    ASSERT_EQ(k.KeyCount, 15u);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(k.Keys[i].ResRef, ResRef16(desc.Entries[i].ResRef));
        EXPECT_EQ(k.Keys[i].ResId, desc.Entries[i].ResId);
    }
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(k.Keys[12 + i].ResId, (2u << 20) + i);
    EXPECT_EQ(ReadFile(f.OutPath("k.key.bak")), before);
}

TEST(Build, RebuildReusesTheMatchingEntryAndKeepsItsFields) {
    BuildFixture f;
    Key desc;
    desc.AddBif("data\\x.bif", 5, "old", 0, 4000);
    desc.AddBif("data\\y.bif", 7, "y");
    desc.Bifs[0].FilenameSize = 11; // counts the zero byte, as the game's own KEYs do
    desc.Bifs[0].Drives = 1;
    WriteFile(f.OutPath("k.key"), desc.Write());
    WriteFile(f.OutPath("x.bif"), std::string("BIFFV1  the old BIF"));
    f.AddFile("n0.nss", 3);
    f.AddFile("n1.nss", 4);
    ASSERT_TRUE(f.Build("x.bif", "k.key", true));

    const RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
    ASSERT_EQ(k.BifCount, 2u);
    EXPECT_EQ(k.Bifs[0].Name, "data\\x.bif");
    EXPECT_EQ(k.Bifs[0].FilenameSize, 11u);
    EXPECT_EQ(k.Bifs[0].Drives, 1u);
    EXPECT_EQ(k.Bifs[0].FileSize, ReadFile(f.OutPath("x.bif")).size());
    ASSERT_EQ(k.KeyCount, 2u + 7);
    EXPECT_EQ(k.Keys[0].ResRef, ResRef16("n0"));
    EXPECT_EQ(k.Keys[0].ResId, 0u);
    EXPECT_EQ(k.Keys[1].ResId, 1u);
    EXPECT_EQ(k.Keys[2].ResRef, ResRef16("y0"));
    EXPECT_EQ(k.Keys[8].ResId, (1u << 20) + 6);
    const std::string oldBif = "BIFFV1  the old BIF";
    EXPECT_EQ(ReadFile(f.OutPath("x.bif.bak")), Bytes(oldBif.begin(), oldBif.end()));
}

TEST(Build, EntryMatchPrefersTheExactSpellingAndTheLastMatchWins) {
    // The same file however the KEY spells it: the entry is rebuilt and keeps its spelling,
    // unless another entry is spelled exactly so.
    const struct {
        std::vector<std::string> stored;
        std::size_t reused;
    } cases[] = {
        {{"DATA\\X.BIF"}, 0},
        {{"data/x.bif", "data\\y.bif"}, 0},
        {{"data\\x.bif", "Data/X.bif"}, 0},
        {{"data\\X.bif", "DATA\\x.BIF"}, 1},
    };
    for (const auto& c : cases) {
        BuildFixture f;
        Key desc;
        for (const std::string& name : c.stored) desc.AddBif(name, 2, "u");
        WriteFile(f.OutPath("k.key"), desc.Write());
        f.AddFile("v.nss", 1);
        ASSERT_TRUE(f.Build("x.bif", "k.key", true));
        const RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
        ASSERT_EQ(k.BifCount, c.stored.size()) << c.stored[0];
        EXPECT_EQ(k.Bifs[c.reused].Name, c.stored[c.reused]);
        EXPECT_EQ(k.KeyCount, 2 * c.stored.size() - 1) << c.stored[0];
    }
    {
        // Named twice: the later entry is rebuilt, the earlier keeps its key entries.
        BuildFixture f;
        Key desc;
        desc.AddBif("data\\d.bif", 2, "first");
        desc.AddBif("data\\d.bif", 3, "second");
        WriteFile(f.OutPath("k.key"), desc.Write());
        f.AddFile("new.nss", 1);
        ASSERT_TRUE(f.Build("d.bif", "k.key", true));
        const RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
        ASSERT_EQ(k.BifCount, 2u);
        ASSERT_EQ(k.KeyCount, 3u);
        EXPECT_EQ(k.Keys[0].ResRef, ResRef16("first0"));
        EXPECT_EQ(k.Keys[1].ResRef, ResRef16("first1"));
        EXPECT_EQ(k.Keys[2].ResRef, ResRef16("new"));
        EXPECT_EQ(k.Keys[2].ResId, 1u << 20);
    }
}

TEST(Build, WithoutAppendAnExistingKeyIsReplacedAndBackedUp) {
    BuildFixture f;
    Key desc;
    desc.AddBif("data\\x.bif", 5, "x");
    const Bytes old = desc.Write();
    WriteFile(f.OutPath("k.key"), old);
    f.AddFile("a.2da", 2);
    ASSERT_TRUE(f.Build("n.bif", "k.key", false));
    const RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
    ASSERT_EQ(k.BifCount, 1u);
    EXPECT_EQ(k.Bifs[0].Name, "data\\n.bif");
    EXPECT_EQ(k.KeyCount, 1u);
    EXPECT_EQ(ReadFile(f.OutPath("k.key.bak")), old);
}

TEST(Build, AppendWithoutAKeyMakesANewOne) {
    BuildFixture f;
    f.AddFile("a.2da", 2);
    ASSERT_TRUE(f.Build("n.bif", "k.key", true));
    const RawKey k = ParseKey(ReadFile(f.OutPath("k.key")));
    EXPECT_EQ(k.BifCount, 1u);
    EXPECT_EQ(k.Bifs[0].Name, "data\\n.bif");
}

TEST(Build, BackupNamesHoldWhatThisBuildReplacedOrNothing) {
    BuildFixture f;
    f.AddFile("a.2da", 2);
    // Backups of an earlier build, with no current files beside them: the user's last copies,
    // kept as they are, since nothing newer takes their place.
    WriteFile(f.OutPath("k.key.bak"), std::string("stale key"));
    WriteFile(f.OutPath("n.bif.bak"), std::string("stale bif"));
    const TBuildReport first = BuildArchive(f.Request(f.OutPath("n.bif"), f.OutPath("k.key"), false));
    EXPECT_EQ(Names(TakeSnapshot(f.Out)), "k.key k.key.bak n.bif n.bif.bak ");
    EXPECT_EQ(first.KeptBackups, (std::vector<std::string>{f.OutPath("n.bif.bak"), f.OutPath("k.key.bak")}));
    const std::string stale = "stale bif";
    EXPECT_EQ(ReadFile(f.OutPath("n.bif.bak")), Bytes(stale.begin(), stale.end()));

    // A second build backs up the first one's files, byte for byte.
    const Bytes key1 = ReadFile(f.OutPath("k.key")), bif1 = ReadFile(f.OutPath("n.bif"));
    f.AddFile("b.2da", 3);
    ASSERT_TRUE(f.Build("n.bif", "k.key", true));
    EXPECT_EQ(Names(TakeSnapshot(f.Out)), "k.key k.key.bak n.bif n.bif.bak ");
    EXPECT_EQ(ReadFile(f.OutPath("k.key.bak")), key1);
    EXPECT_EQ(ReadFile(f.OutPath("n.bif.bak")), bif1);
    EXPECT_EQ(ParseKey(ReadFile(f.OutPath("k.key"))).KeyCount, 2u);
}

TEST(Build, AFolderPackedIntoItselfLeavesItsOwnFilesOut) {
    // Built again and again into the folder it packs, the BIF holds the folder's files only,
    // never its previous self, its KEY or their backups.
    BuildFixture f;
    f.AddFile("a.2da", 40);
    for (std::size_t round = 0; round < 3; ++round) {
        f.List = platform::ListPlainFiles(f.Source);
        const TBuildReport report = BuildArchive(f.Request(f.Source + "self.bif", f.Source + "self.key", false));
        EXPECT_EQ(ParseBif(ReadFile(f.Source + "self.bif")).VarResCount, 1u) << "round " << round;
        EXPECT_EQ(report.LeftOut.size(), 2 * round) << "round " << round;
    }
}

} // namespace
} // namespace vellocar::test
